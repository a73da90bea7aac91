// The session list: rows, badges, presence, opening, closing and leaving conversations.
#include "frame/window_manager.h"
#include "main/session_rows.h"
#include "main_fixture.h"
#include "veltrina/chat_manager.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {
std::vector<std::wstring> RowNames() {
  std::vector<std::wstring> names;
  DuiLib::CListUI* list = dynamic_cast<DuiLib::CListUI*>(
      testkit::FindControl(FindWindowW(L"MainWindow", L"Veltrina"), L"sessionList"));
  for (int i = 0; list && i < list->GetCount(); ++i) names.push_back(list->GetItemAt(i)->GetName());
  return names;
}
void Leave() { WindowManager::Instance()->CloseAll(); }
}  // namespace

TEST(SessionRows, BadgeRuleNamesAndPresenceImages) {
  using namespace veltrinawnd::session_rows;
  EXPECT_EQ(BadgeText(0), L"");
  EXPECT_EQ(BadgeText(1), L"1");
  EXPECT_EQ(BadgeText(99), L"99");
  EXPECT_EQ(BadgeText(100), L"99+");
  std::string id;
  EXPECT_EQ(ParseItemName(L"channelItem_c-1", &id), 1);
  EXPECT_EQ(id, "c-1");
  EXPECT_EQ(ParseItemName(L"imItem_i-9", &id), 2);
  EXPECT_EQ(id, "i-9");
  EXPECT_EQ(ParseItemName(L"channelItem_c_1", nullptr), 0);  // more than one "_"
  EXPECT_EQ(ParseItemName(L"otherItem_x", nullptr), 0);
  EXPECT_EQ(ParseItemName(L"channelItem", nullptr), 0);
  // Empty pieces make a name malformed: it opens nothing rather than another row's id.
  for (const wchar_t* bad : {L"channelItem__x", L"_channelItem_x", L"channelItem_x_", L"channelItem_", L"imItem__x"}) {
    id = "unchanged";
    EXPECT_EQ(ParseItemName(bad, &id), 0) << bad;
    EXPECT_EQ(id, "unchanged") << bad;
  }
  EXPECT_STREQ(PresenceImage(0), L"status/status_offline.png.png");
  EXPECT_STREQ(PresenceImage(1), L"status/status_online.png");
  EXPECT_STREQ(PresenceImage(2), L"status/status_busy_normal.png");
  EXPECT_STREQ(PresenceImage(3), L"status/status_away_normal.png");
  EXPECT_EQ(PresenceImage(7), nullptr);
}

class SessionListTest : public MainTest {};

TEST_F(SessionListTest, RowsFollowTheListsAndAPeerOutsideTheCacheHasNoRow) {
  std::vector<veltrina::Channel> channels = {Channel("c-gen", "general", 1, true), Channel("c-dev", "dev", 1)};
  std::vector<veltrina::IM> ims = {Im("i-ghost", "u-ghost"), Im("i-a", "u-a"), Im("i-b", "u-b")};
  std::vector<veltrina::Channel> groups = {Channel("g-1", "年会", 2)};
  std::vector<veltrina::Channel> all = channels;
  all.insert(all.end(), groups.begin(), groups.end());
  Prime(all, ims, {{"c-dev", 0, 0}, {"i-a", 99, 99}, {"i-b", 100, 100}, {"g-1", 3, 3}});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("check rows", [] {
    EXPECT_EQ(RowNames(), (std::vector<std::wstring>{L"", L"channelItem_c-gen", L"channelItem_c-dev", L"", L"",
                                                      L"imItem_i-a", L"imItem_i-b", L"", L"", L"channelItem_g-1"}));
    EXPECT_EQ(Text(L"channelItem_c-gen_name_label_id"), L"#general");
    EXPECT_EQ(Text(L"channelItem_g-1_name_label_id"), L"年会");  // groups carry no "#"
    EXPECT_EQ(Text(L"imItem_i-a_name_label_id"), L"安娜");
    EXPECT_FALSE(Control(L"channelItem_c-dev_num_unread_id")->IsVisible());
    EXPECT_EQ(Text(L"imItem_i-a_num_unread_id"), L"99");
    EXPECT_EQ(Text(L"imItem_i-b_num_unread_id"), L"99+");
    EXPECT_TRUE(Control(L"imItem_i-b_num_unread_id")->IsVisible());
    EXPECT_EQ(Text(L"channelItem_g-1_num_unread_id"), L"3");
    auto* dot = dynamic_cast<DuiLib::CButtonUI*>(Control(L"status_btnu-b"));
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(dot->GetNormalImage(), L"status/status_busy_normal.png");
    // The first channel is open: the general channel hides the leave button.
    EXPECT_EQ(Text(L"title_label"), L"#general");
    EXPECT_TRUE(Control(L"members_btn")->IsVisible());
    EXPECT_FALSE(Control(L"leave_btn")->IsVisible());
    EXPECT_EQ(SessionList()->GetScrollPos().cy, 0);
  });
  d.Do("open a group", [] { testkit::ClickControl(Main(), L"channelItem_g-1"); });
  d.WaitFor("group open", [] { return Text(L"title_label") == L"#年会"; });
  d.Do("leave shown, badge gone, cursor moved", [this] {
    EXPECT_TRUE(Control(L"leave_btn")->IsVisible());
    EXPECT_FALSE(Control(L"channelItem_g-1_num_unread_id")->IsVisible());
    EXPECT_EQ(dynamic_cast<DuiLib::CLabelUI*>(Control(L"channelItem_g-1_name_label_id"))->GetTextColor(), 0xFF232A32u);
    EXPECT_GE(service_->CountRequests("messages.mark_read"), 2u);
  });
  d.Do("open a direct message", [] { testkit::ClickControl(Main(), L"imItem_i-a"); });
  d.WaitFor("dm open", [] { return Text(L"title_label") == L"安娜"; });
  d.Do("header buttons hide for direct messages", [] {
    EXPECT_FALSE(Control(L"members_btn")->IsVisible());
    EXPECT_FALSE(Control(L"leave_btn")->IsVisible());
    // The group opened before turns grey.
    EXPECT_EQ(dynamic_cast<DuiLib::CLabelUI*>(Control(L"channelItem_g-1_name_label_id"))->GetTextColor(), 0xFF848484u);
    Leave();
  });
  RunMain(d);
}

TEST_F(SessionListTest, ClosingDirectMessagesAndLeavingChannels) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1), Channel("g-1", "grp", 2)},
        {Im("i-a", "u-a"), Im("i-b", "u-b"), Im("i-c", "u-c")});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("close a middle direct message from its menu", [this] {
    shell_.menu_answer = 1056;
    testkit::NotifyControl(Main(), L"imItem_i-b", L"itemrclick");
  });
  d.WaitFor("closed", [] { return Control(L"imItem_i-b") == nullptr; });
  d.Do("only that row went", [this] {
    EXPECT_EQ(shell_.menus, 1);
    EXPECT_EQ(service_->CountRequests("ims.close"), 1u);
    EXPECT_NE(Control(L"imItem_i-a"), nullptr);
    EXPECT_NE(Control(L"imItem_i-c"), nullptr);
    testkit::NotifyControl(Main(), L"imItem_i-c", L"itemrclick");  // the last direct-message row
  });
  d.WaitFor("last closed", [] { return Control(L"imItem_i-c") == nullptr; });
  d.Do("rebuilt with the first channel open at the top", [] {
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
    auto leave = service_->WaitForRequest("channels.leave", std::chrono::milliseconds(0));
    ASSERT_TRUE(leave);
    EXPECT_EQ(leave->Param("channel_id"), "c-2");
    Leave();
  });
  RunMain(d);
}

TEST_F(SessionListTest, EmptyChannelListOpensNothingAndScrollPositionFollowsTheRow) {
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("nothing open", [] {
    EXPECT_EQ(Text(L"title_label"), L"");
    EXPECT_EQ(RowNames().size(), 5u);  // three headers and two spacers
  });
  std::vector<veltrina::Channel> many;
  for (int i = 0; i < 30; ++i) many.push_back(Channel("c-" + std::to_string(i), "ch" + std::to_string(i), 1));
  AnswerRefresh(d, many, {});
  d.Do("rows arrived, still nothing open", [] {
    EXPECT_EQ(RowNames().size(), 35u);
    EXPECT_EQ(Text(L"title_label"), L"");
    Leave();
  });
  RunMain(d);
}
