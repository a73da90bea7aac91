// The session list: rows, badges, presence, opening, closing and leaving conversations.
#include "main/session_rows.h"
#include "main_fixture.h"

TEST(SessionRows, MalformedRowNamesOpenNothing) {
  std::string id;
  EXPECT_TRUE(veltrinawnd::session_rows::ParseItemName(L"imItem_i-9", &id) == 2 && id == "i-9");
  for (const wchar_t* bad : {L"channelItem_c_1", L"otherItem_x", L"channelItem", L"channelItem__x", L"_channelItem_x",
                             L"channelItem_x_", L"channelItem_", L"imItem__x"})
    EXPECT_TRUE(veltrinawnd::session_rows::ParseItemName(bad, &id) == 0 && id == "i-9") << bad;
}

class SessionListTest : public MainTest {
 protected:
  static std::vector<std::wstring> RowNames() {
    std::vector<std::wstring> names;
    for (int i = 0; SessionList() && i < SessionList()->GetCount(); ++i) names.push_back(SessionList()->GetItemAt(i)->GetName());
    return names;
  }
};

TEST_F(SessionListTest, RowsFollowTheListsAndOpeningMovesTheHeaderAndTheBadges) {
  Prime({Channel("c-gen", "general", 1, true), Channel("c-dev", "dev", 1), Channel("g-1", "年会", 2)},
        {Im("i-ghost", "u-ghost"), Im("i-a", "u-a"), Im("i-b", "u-b")},
        {{"c-dev", 0, 0}, {"i-a", 99, 99}, {"i-b", 100, 100}, {"g-1", 3, 3}});
  testkit::UiDriver d;
  WaitMain(d);
  d.Do("rows; a peer outside the cache has none; the general channel open", [] {
    EXPECT_EQ(RowNames(), (std::vector<std::wstring>{L"", L"channelItem_c-gen", L"channelItem_c-dev", L"", L"",
                                                      L"imItem_i-a", L"imItem_i-b", L"", L"", L"channelItem_g-1"}));
    EXPECT_EQ(Text(L"channelItem_c-gen_name_label_id") + Text(L"channelItem_g-1_name_label_id") +
                  Text(L"imItem_i-a_name_label_id"), L"#general年会安娜");  // groups carry no "#"
    EXPECT_FALSE(Control(L"channelItem_c-dev_num_unread_id")->IsVisible());
    // A channel or group with news is dark, a read one grey.
    auto color = [](const wchar_t* name) { return dynamic_cast<DuiLib::CLabelUI*>(Control(name))->GetTextColor(); };
    EXPECT_EQ(color(L"channelItem_c-dev_name_label_id"), veltrinawnd::session_rows::kLabelGrey);
    EXPECT_EQ(color(L"channelItem_g-1_name_label_id"), veltrinawnd::session_rows::kLabelDark);
    EXPECT_EQ(Text(L"imItem_i-a_num_unread_id") + L"|" + Text(L"imItem_i-b_num_unread_id"), L"99|99+");
    EXPECT_EQ(dynamic_cast<DuiLib::CButtonUI*>(Control(L"status_btnu-b"))->GetNormalImage(), L"status/status_busy_normal.png");
    EXPECT_EQ(Text(L"title_label"), L"#general");
    EXPECT_TRUE(Control(L"members_btn")->IsVisible());
    EXPECT_FALSE(Control(L"leave_btn")->IsVisible());
    testkit::ClickControl(Main(), L"channelItem_g-1");
  });
  d.WaitFor("group open", [] { return Text(L"title_label") == L"#年会"; });
  d.Do("leave shown, badge gone, cursor moved", [this] {
    EXPECT_TRUE(Control(L"leave_btn")->IsVisible());
    EXPECT_FALSE(Control(L"channelItem_g-1_num_unread_id")->IsVisible());
    EXPECT_GE(service_->CountRequests("messages.mark_read"), 2u);
    testkit::ClickControl(Main(), L"imItem_i-a");
  });
  d.WaitFor("dm open", [] { return Text(L"title_label") == L"安娜"; });
  d.Do("no channel buttons for a direct message", [] {
    EXPECT_FALSE(Control(L"members_btn")->IsVisible() || Control(L"leave_btn")->IsVisible());
  });
  Finish(d);
}

TEST_F(SessionListTest, ClosingDirectMessagesAndLeavingChannelsRemoveOnlyTheirRow) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {Im("i-a", "u-a"), Im("i-b", "u-b"), Im("i-c", "u-c")});
  testkit::UiDriver d;
  WaitMain(d);
  d.Do("close a middle direct message from its menu", [this] {
    shell_.menu_answer = 1056;
    testkit::NotifyControl(Main(), L"imItem_i-b", L"itemrclick");
  });
  d.WaitFor("closed", [] { return Control(L"imItem_i-b") == nullptr; });
  d.Do("only that row went; the last one too", [this] {
    EXPECT_EQ(service_->CountRequests("ims.close"), 1u);
    EXPECT_TRUE(Control(L"imItem_i-a") && Control(L"imItem_i-c"));
    testkit::NotifyControl(Main(), L"imItem_i-c", L"itemrclick");
  });
  d.WaitFor("last closed", [] { return Control(L"imItem_i-c") == nullptr; });
  d.Do("the first channel open at the top", [] {
    EXPECT_EQ(Text(L"title_label"), L"#one");
    EXPECT_EQ(SessionList()->GetScrollPos().cy, 0);
    EXPECT_NE(Control(L"imItem_i-a"), nullptr);
    testkit::ClickControl(Main(), L"channelItem_c-2");
  });
  d.WaitFor("two open", [] { return Text(L"title_label") == L"#two"; });
  d.Do("leave it", [] { testkit::ClickControl(Main(), L"leave_btn"); });
  d.WaitFor("left", [] { return Control(L"channelItem_c-2") == nullptr; });
  d.Do("first channel again", [this] {
    EXPECT_EQ(Text(L"title_label"), L"#one");
    EXPECT_EQ(service_->Requests("channels.leave").at(0).Param("channel_id"), "c-2");
  });
  Finish(d);
}

TEST_F(SessionListTest, AnEmptyListOpensNothingNotEvenWhenRowsArriveAndNothingIsSentToIt) {
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() && Control(L"chat_input"); });
  d.Do("three headers and two spacers; send", [this] {
    EXPECT_EQ(RowNames().size(), 5u);
    Control(L"chat_input")->SetText(L"nowhere");
    testkit::NotifyControl(Main(), L"send_message_btn", L"click");
    EXPECT_EQ(service_->CountRequests("messages.send"), 0u);
    EXPECT_EQ(Text(L"chat_input"), L"nowhere");  // kept
  });
  std::vector<veltrina::Channel> many;
  for (int i = 0; i < 30; ++i) many.push_back(Channel("c-" + std::to_string(i), "ch" + std::to_string(i), 1));
  AnswerRefresh(d, many, {});
  d.Do("rows arrived, still nothing open", [] { EXPECT_TRUE(RowNames().size() == 35u && Text(L"title_label").empty()); });
  Finish(d);
}
