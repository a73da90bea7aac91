// Joining and creating channels and groups from the main window's "＋ 频道" and "＋ 群组" buttons.
#include "dialogs/create_channel_wnd.h"
#include "dialogs/join_channel_wnd.h"
#include "frame/window_manager.h"
#include "main/main_wnd.h"
#include "main_fixture.h"
#include "veltrina/director.h"

namespace bodies = veltrina::backend;
using veltrina::Director;
using veltrinawnd::WindowManager;

namespace {
HWND JoinWnd() { return testkit::FindVisibleWindow(L"JoinChannelWnd"); }
HWND CreateWnd() { return testkit::FindVisibleWindow(L"CreateChannelWnd"); }
DuiLib::CListUI* Rows() { return testkit::FindControlAs<DuiLib::CListUI>(JoinWnd(), L"result_list"); }
// The "#name" line of every row shown.
std::vector<std::wstring> Shown() {
  std::vector<std::wstring> names;
  for (int i = 0; Rows() && i < Rows()->GetCount(); ++i) names.push_back(At(Rows()->GetItemAt(i), {0, 0, 0})->GetText());
  return names;
}
bool Focused(HWND w, const wchar_t* name) { return w && testkit::ManagerOf(w)->GetFocus() == testkit::FindControl(w, name); }
std::string Open() { return WindowManager::Instance()->main_wnd()->open_conversation_id(); }
}  // namespace

class ChannelDialogsTest : public MainTest {
 protected:
  static veltrina::Channel Joinable(const std::string& id, const std::string& name, int type, const std::string& creator = "u-a") {
    veltrina::Channel c = Channel(id, name, type);
    c.set_is_member(false), c.set_creator_uid(creator), c.set_created_at(1704110400);  // 2024-01-01 12:00 UTC: that date everywhere
    return c;
  }
  // Opens the main window on these channels, answers its refresh and opens the join window.
  void OpenJoin(testkit::UiDriver& d, const std::vector<veltrina::Channel>& channels, const wchar_t* button) {
    Prime(channels, {});
    WaitMain(d);
    AnswerRefresh(d, channels, {});
    Join(d, button);
  }
  static void Join(testkit::UiDriver& d, const wchar_t* button) {
    Click(d, L"MainWindow", button);
    d.WaitFor("the join window", [] { return JoinWnd() != nullptr; });
  }
  // From the join window on to the create window, with this name typed.
  static void OpenCreate(testkit::UiDriver& d, const wchar_t* name = nullptr) {
    Click(d, L"JoinChannelWnd", L"create_channel_btn");
    d.WaitFor("the create window instead", [] { return CreateWnd() && !JoinWnd() && !WindowManager::Instance()->join_channel_wnd(); });
    if (name) d.Do("type", [name] { Type(CreateWnd(), L"name_edit", name); });
  }
};

TEST_F(ChannelDialogsTest, JoinListsWhatCanBeJoinedFiltersAndJoinsThroughTheCoresEvents) {
  Director::DefaultDirector()->set_permission(Director::kPermissionCreateChannel);
  std::vector<veltrina::Channel> channels = {Channel("c-gen", "general", 1, true), Joinable("c-dev", "dev", 1),
                                             Joinable("c_de_sign", "design", 1), Joinable("c-rnd", "random", 1, "u-gone"),
                                             Joinable("g-ops", "ops", 2)};
  testkit::UiDriver d;
  OpenJoin(d, channels, L"add_channel_btn");
  d.Do("channels not joined; typing narrows, deleting widens again", [] {
    HWND w = JoinWnd();
    EXPECT_TRUE(In(w, L"create_channel_btn")->IsVisible());
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{L"#dev", L"#design", L"#random"}));
    EXPECT_EQ(At(Rows()->GetItemAt(0), {0, 0, 1})->GetText(), L"由安娜创建于2024-01-01");
    EXPECT_EQ(At(Rows()->GetItemAt(2), {0, 0, 1})->GetText(), L"创建于2024-01-01");  // creator unknown
    EXPECT_EQ(At(Rows()->GetItemAt(0), {0, 1})->GetText(), L"加入");
    testkit::NotifyControl(w, L"search", L"setfocus");
    EXPECT_EQ(TextIn(w, L"search"), L"");
    Type(w, L"search", L"dev");
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#dev"});
    for (const wchar_t* literal : {L".*", L"\xD800", L"de["}) {  // no pattern language, no broken text
      Type(w, L"search", literal);
      EXPECT_TRUE(Shown().empty());
    }
    Type(w, L"search", L"d");
    EXPECT_EQ(Shown().size(), 3u);
    Type(w, L"search", L"");
    testkit::NotifyControl(w, L"search", L"killfocus");
    EXPECT_EQ(TextIn(w, L"search"), L"搜索");
    EXPECT_EQ(Shown().size(), 3u);  // the hint is no filter
  });
  Click(d, L"JoinChannelWnd", L"ceid_c_de_sign");
  d.WaitFor("closed at once", [] { return !JoinWnd() && !WindowManager::Instance()->join_channel_wnd(); });
  Answer(d, "channels.join", [this](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("channel_id"), "c_de_sign");  // the whole id, "_" and all
    service_->Succeed(r.id, bodies::ChannelBody(Channel("c_de_sign", "design", 1)));
    service_->Push("message", bodies::MessageEvent(Message("c_de_sign", 1, "u-me", "joined", 2000)));
  });
  channels[2].set_is_member(true);
  Answer(d, "channels.list", [this, channels](const auto& r) { service_->Succeed(r.id, bodies::ChannelsBody(channels)); });
  d.WaitFor("in the session list", [] { return Control(L"channelItem_c_de_sign") != nullptr; });
  Join(d, L"add_group_btn");  // a user who may create channels but not groups
  d.Do("groups, no create button", [] {
    EXPECT_EQ(TextIn(JoinWnd(), L"title_label"), L"更多群组");
    EXPECT_FALSE(In(JoinWnd(), L"create_channel_btn")->IsVisible());
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#ops"});
  });
  Click(d, L"JoinChannelWnd", L"closeBtn");
  d.WaitFor("closed", [] { return !JoinWnd() && !WindowManager::Instance()->join_channel_wnd(); });
  d.Do("one join", [this] { EXPECT_EQ(service_->CountRequests("channels.join"), 1u); });
  Finish(d);
}

TEST_F(ChannelDialogsTest, CreateAGroupFromTheJoinWindowOnceAndSeeItSelected) {
  Director::DefaultDirector()->set_permission(Director::kPermissionCreateGroup);
  const std::wstring topic_hint = L"说明主要讨论的内容(可选)";
  testkit::UiDriver d;
  OpenJoin(d, {Channel("c-gen", "general", 1, true)}, L"add_group_btn");
  OpenCreate(d);
  d.Do("the name focused and empty, the topic hinted", [topic_hint] {
    EXPECT_TRUE(Focused(CreateWnd(), L"name_edit"));
    EXPECT_EQ(TextIn(CreateWnd(), L"name_edit") + L"|" + TextIn(CreateWnd(), L"topic_edit"), L"|" + topic_hint);
  });
  Click(d, L"CreateChannelWnd", L"topic_edit");
  d.WaitFor("the topic focused", [] { return Focused(CreateWnd(), L"topic_edit"); });
  d.Do("left empty, the name shows its hint", [] {
    EXPECT_EQ(TextIn(CreateWnd(), L"topic_edit") + L"|" + TextIn(CreateWnd(), L"name_edit"), L"|给频道一个简单的名字");
  });
  Click(d, L"CreateChannelWnd", L"save_btn");
  d.WaitFor("the name focused", [] { return Focused(CreateWnd(), L"name_edit"); });
  d.Do("nothing sent; a name, the topic left hinted, a double click", [this, topic_hint] {
    HWND w = CreateWnd();
    EXPECT_EQ(service_->CountRequests("channels.create"), 0u);
    EXPECT_EQ(TextIn(w, L"name_edit") + L"|" + TextIn(w, L"topic_edit"), L"|" + topic_hint);
    Type(w, L"name_edit", L"年会");
    EXPECT_TRUE(testkit::ClickControl(w, L"save_btn") && testkit::ClickControl(w, L"save_btn"));
  });
  Request request = Take(d, "channels.create");
  d.Pause(100).Do("one request; answer it", [this, request] {
    const bodies::RecordedRequest& r = **request;
    EXPECT_EQ(service_->CountRequests("channels.create"), 1u);
    EXPECT_EQ(r.Param("name") + "|" + r.Param("topic") + "|" + r.Param("type") + "|" + r.Param("member_uids"), "年会||2|[]");
    service_->Succeed(r.id, bodies::ChannelBody(Channel("g-new", "年会", 2)));
  });
  d.WaitFor("closed, the group open", [] { return !CreateWnd() && Open() == "g-new"; });
  d.Do("selected in the list", [] {
    EXPECT_EQ(SessionList()->GetCurSel(), WindowManager::Instance()->main_wnd()->RowIndex("g-new"));
    EXPECT_FALSE(WindowManager::Instance()->create_channel_wnd());
  });
  Finish(d);
}

TEST_F(ChannelDialogsTest, RefusalsCloseQuietlyAndLateAnswersTouchNothing) {
  Director::DefaultDirector()->set_permission(Director::kPermissionCreateChannel);
  testkit::UiDriver d;
  OpenJoin(d, {Channel("c-gen", "general", 1, true), Channel("c-dev", "dev", 1)}, L"add_channel_btn");
  OpenCreate(d, L"dev");
  d.Do("a taken name, a typed topic", [] {
    testkit::NotifyControl(CreateWnd(), L"topic_edit", L"setfocus");
    testkit::SetControlText(CreateWnd(), L"topic_edit", L"发布 {a x=|link|}");
    EXPECT_TRUE(testkit::ClickControl(CreateWnd(), L"save_btn"));
  });
  Answer(d, "channels.create", [this](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("topic") + "|" + r.Param("type"), "发布 {a x=|link|}|1");
    service_->Fail(r.id, 409, "the name is taken");
  });
  d.WaitFor("closed", [] { return !CreateWnd() && !WindowManager::Instance()->create_channel_wnd(); });
  d.Do("no message, nothing selected", [this] { EXPECT_TRUE(shell_.boxes.empty() && Open() == "c-gen"); });
  // An answer queued before the close: handled while the window is on its way out.
  Join(d, L"add_channel_btn");
  OpenCreate(d, L"qa");
  Click(d, L"CreateChannelWnd", L"save_btn");
  Request queued = Take(d, "channels.create");
  d.Do("answer, then close before the answer is handled", [this, queued] {
    service_->Succeed((*queued)->id, bodies::ChannelBody(Channel("c-qa", "qa", 1)));
    MSG m;
    bool waiting = false;
    for (int i = 0; i < 500 && !waiting; ++i) {
      waiting = PeekMessageW(&m, CreateWnd(), veltrinawnd::kMsgChannelCreated, veltrinawnd::kMsgChannelCreated, PM_NOREMOVE);
      if (!waiting) Sleep(10);
    }
    EXPECT_TRUE(waiting);
    WindowManager::Instance()->CloseCreateChannelWnd();  // what the cancel button does
  });
  d.WaitFor("closed again", [] { return !CreateWnd(); });
  // An answer after the window is gone.
  Join(d, L"add_channel_btn");
  OpenCreate(d, L"ops");
  Click(d, L"CreateChannelWnd", L"save_btn");
  Request late = Take(d, "channels.create");
  Click(d, L"CreateChannelWnd", L"cancel_btn");
  d.WaitFor("gone", [] { return !CreateWnd() && !WindowManager::Instance()->create_channel_wnd(); });
  d.Do("answer late", [this, late] { service_->Succeed((*late)->id, bodies::ChannelBody(Channel("c-ops", "ops", 1))); });
  d.Pause(200).Do("the main window untouched", [] { EXPECT_EQ(Open(), "c-gen"); });
  Finish(d);
}
