// Joining and creating channels and groups, from the main window's "＋ 频道" and "＋ 群组"
// buttons, as a user clicks and types.
#include <chrono>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/create_channel_wnd.h"
#include "dialogs/join_channel_wnd.h"
#include "frame/window_manager.h"
#include "main/main_wnd.h"
#include "main_fixture.h"
#include "message_box.h"
#include "veltrina/director.h"

namespace bodies = veltrina::backend;
using veltrina::Director;
using veltrinawnd::WindowManager;
using Request = std::shared_ptr<std::optional<bodies::RecordedRequest>>;

namespace {

constexpr int64_t kNewYearNoon = 1704110400;  // 2024-01-01 12:00 UTC: that date in every time zone
const std::wstring kTopicHint = L"说明主要讨论的内容(可选)";

HWND JoinWnd() { return testkit::FindVisibleWindow(L"JoinChannelWnd"); }
HWND CreateWnd() { return testkit::FindVisibleWindow(L"CreateChannelWnd"); }
DuiLib::CControlUI* In(HWND wnd, const wchar_t* name) { return testkit::FindControl(wnd, name); }
std::wstring TextIn(HWND wnd, const wchar_t* name) { return In(wnd, name) ? In(wnd, name)->GetText() : L"<missing>"; }
DWORD ColourIn(HWND wnd, const wchar_t* name) {
  auto* label = dynamic_cast<DuiLib::CLabelUI*>(In(wnd, name));
  return label ? label->GetTextColor() : 0;
}
bool JoinTracked() { return WindowManager::Instance()->join_channel_wnd() != nullptr; }
bool CreateTracked() { return WindowManager::Instance()->create_channel_wnd() != nullptr; }
bool Focused(HWND wnd, const wchar_t* name) { return wnd && testkit::ManagerOf(wnd)->GetFocus() == In(wnd, name); }

// A control inside a row by its path of child indexes.
DuiLib::CControlUI* At(DuiLib::CControlUI* c, std::initializer_list<int> path) {
  for (int i : path) {
    auto* container = dynamic_cast<DuiLib::CContainerUI*>(c);
    c = container && i < container->GetCount() ? container->GetItemAt(i) : nullptr;
  }
  return c;
}
DuiLib::CListUI* Rows() { return testkit::FindControlAs<DuiLib::CListUI>(JoinWnd(), L"result_list"); }
DWORD RowColour(int row) { return Rows()->GetItemAt(row)->GetBkColor(); }
// The "#name" line of every row shown.
std::vector<std::wstring> Shown() {
  std::vector<std::wstring> names;
  for (int i = 0; Rows() && i < Rows()->GetCount(); ++i)
    names.push_back(At(Rows()->GetItemAt(i), {0, 0, 0})->GetText());
  return names;
}

// As a user types: the box's own text changes, and the box reports it.
void Type(HWND wnd, const wchar_t* box, const std::wstring& text) {
  ASSERT_TRUE(In(wnd, box) && In(wnd, box)->GetNativeWindow());
  SetWindowTextW(In(wnd, box)->GetNativeWindow(), text.c_str());
}
void Click(testkit::UiDriver& d, HWND (*wnd)(), const wchar_t* name) {
  d.Do("click", [wnd, name] { EXPECT_TRUE(testkit::ClickControl(wnd(), name)); });
}

}  // namespace

class ChannelDialogsTest : public MainTest {
 protected:
  static veltrina::Channel Joinable(const std::string& id, const std::string& name, int type,
                                    const std::string& creator = "u-a") {
    veltrina::Channel c = Channel(id, name, type);
    c.set_is_member(false);
    c.set_creator_uid(creator);
    c.set_created_at(kNewYearNoon);
    return c;
  }
  static void Grant(int64_t permission) { Director::DefaultDirector()->set_permission(permission); }
  static veltrinawnd::MainWnd* MainWindow() { return WindowManager::Instance()->main_wnd(); }

  // Opens the main window on these channels and answers its refresh.
  void OpenMain(testkit::UiDriver& d, const std::vector<veltrina::Channel>& channels) {
    Prime(channels, {});
    d.WaitFor("main", [] { return Main() != nullptr; });
    AnswerRefresh(d, channels, {});
  }
  static void OpenJoin(testkit::UiDriver& d, const wchar_t* button) {
    Click(d, Main, button);
    d.WaitFor("the join window", [] { return JoinWnd() != nullptr; });
  }
  // From the join window on to the create window.
  static void OpenCreate(testkit::UiDriver& d) {
    Click(d, JoinWnd, L"create_channel_btn");
    d.WaitFor("the create window instead", [] { return CreateWnd() && !JoinWnd() && !JoinTracked(); });
  }
  // The next request of this method, left unanswered.
  Request Take(testkit::UiDriver& d, const std::string& method) {
    auto out = std::make_shared<std::optional<bodies::RecordedRequest>>();
    auto svc = service_;
    d.WaitFor("request " + method, [svc, method, out] {
      *out = svc->WaitForRequest(method, std::chrono::milliseconds(0));
      return out->has_value();
    });
    return out;
  }
};

TEST_F(ChannelDialogsTest, JoinListsWhatCanBeJoinedFiltersAndJoinsThroughTheCoresEvents) {
  Grant(Director::kPermissionCreateChannel);
  std::vector<veltrina::Channel> channels = {Channel("c-gen", "general", 1, true), Joinable("c-dev", "dev", 1),
                                             Joinable("c_de_sign", "design", 1),
                                             Joinable("c-rnd", "random", 1, "u-gone"), Joinable("g-ops", "ops", 2)};
  testkit::UiDriver d;
  OpenMain(d, channels);
  OpenJoin(d, L"add_channel_btn");
  d.Do("channels not joined, rows alternating", [] {
    HWND w = JoinWnd();
    EXPECT_EQ(testkit::WindowTitle(w), L"更多频道");
    EXPECT_EQ(TextIn(w, L"title_label"), L"加入频道");
    EXPECT_TRUE(In(w, L"create_channel_btn")->IsVisible());
    EXPECT_EQ(TextIn(w, L"create_channel_btn"), L"创建频道");
    EXPECT_EQ(TextIn(w, L"search"), L"搜索");
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{L"#dev", L"#design", L"#random"}));
    EXPECT_EQ(At(Rows()->GetItemAt(0), {0, 0, 1})->GetText(), L"由安娜创建于2024-01-01");
    EXPECT_EQ(At(Rows()->GetItemAt(2), {0, 0, 1})->GetText(), L"创建于2024-01-01");  // creator unknown
    EXPECT_EQ(At(Rows()->GetItemAt(0), {0, 1})->GetName(), L"ceid_c-dev");
    EXPECT_EQ(At(Rows()->GetItemAt(0), {0, 1})->GetText(), L"加入");
    EXPECT_EQ(RowColour(0), 0xFFF4F4F4u);
    EXPECT_EQ(RowColour(1), 0xFFFFFFFFu);
    EXPECT_EQ(RowColour(2), 0xFFF4F4F4u);
  });
  d.Do("typing narrows, deleting widens again", [] {
    HWND w = JoinWnd();
    testkit::NotifyControl(w, L"search", L"setfocus");
    EXPECT_EQ(TextIn(w, L"search"), L"");
    EXPECT_EQ(Shown().size(), 3u);
    Type(w, L"search", L"dev");
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#dev"});
    Type(w, L"search", L"d");
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{L"#dev", L"#design", L"#random"}));
    Type(w, L"search", L"es");
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#design"});
    EXPECT_EQ(RowColour(0), 0xFFF4F4F4u);  // the colours start again
    Type(w, L"search", L"");
    testkit::NotifyControl(w, L"search", L"killfocus");
    EXPECT_EQ(TextIn(w, L"search"), L"搜索");
    EXPECT_EQ(Shown().size(), 3u);  // the hint is no filter
  });
  Click(d, JoinWnd, L"ceid_c_de_sign");
  d.WaitFor("closed at once", [] { return !JoinWnd() && !JoinTracked(); });
  Answer(d, "channels.join", [this](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("channel_id"), "c_de_sign");  // the whole id, "_" and all
    service_->Succeed(r.id, bodies::ChannelBody(Channel("c_de_sign", "design", 1)));
    service_->Push("message", bodies::MessageEvent(Message("c_de_sign", 1, "u-me", "joined", 2000)));
  });
  channels[2].set_is_member(true);
  Answer(d, "channels.list", [this, channels](const auto& r) {
    service_->Succeed(r.id, bodies::ChannelsBody(channels));
  });
  d.WaitFor("in the session list", [] { return Control(L"channelItem_c_de_sign") != nullptr; });

  // Groups, for a user who may create channels but not groups.
  OpenJoin(d, L"add_group_btn");
  d.Do("groups, no create button", [] {
    HWND w = JoinWnd();
    EXPECT_EQ(WindowManager::Instance()->join_channel_wnd()->channel_kind(), 2);
    EXPECT_EQ(testkit::WindowTitle(w), L"更多频道");
    EXPECT_EQ(TextIn(w, L"title_label"), L"更多群组");
    EXPECT_EQ(TextIn(w, L"create_channel_btn"), L"创建群组");
    EXPECT_FALSE(In(w, L"create_channel_btn")->IsVisible());
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#ops"});
  });
  Click(d, JoinWnd, L"closeBtn");
  d.WaitFor("closed", [] { return !JoinWnd() && !JoinTracked(); });
  d.Do("leave", [this] {
    EXPECT_EQ(service_->CountRequests("channels.join"), 1u);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(ChannelDialogsTest, SearchTakesAnyTextLiterallyInLinearTime) {
  std::vector<veltrina::Channel> channels = {Joinable("c-1", "a.b", 1), Joinable("c-2", "axb", 1),
                                             Joinable("c-3", "(c++)", 1), Joinable("c-4", "[x]", 1)};
  for (int i = 0; i < 80; ++i) channels.push_back(Joinable("c-long-" + std::to_string(i), std::string(50000, 'a'), 1));
  testkit::UiDriver d;
  OpenMain(d, channels);
  OpenJoin(d, L"add_channel_btn");
  d.Do("literal matches", [] {
    HWND w = JoinWnd();
    EXPECT_EQ(Shown().size(), 84u);
    testkit::NotifyControl(w, L"search", L"setfocus");
    Type(w, L"search", L"a.b");
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#a.b"});
    for (const wchar_t* nothing : {L".*", L"\\", L"a[", L"(?<x>", L"\xD800"}) {  // the last: an unpaired surrogate
      Type(w, L"search", nothing);
      EXPECT_TRUE(Shown().empty()) << testing::PrintToString(std::wstring(nothing));
    }
    Type(w, L"search", L"(c++");
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#(c++)"});
    Type(w, L"search", L"[x]");
    EXPECT_EQ(Shown(), std::vector<std::wstring>{L"#[x]"});
  });
  d.Do("10,000 characters against long names", [] {
    HWND w = JoinWnd();
    auto started = std::chrono::steady_clock::now();
    Type(w, L"search", std::wstring(9999, L'a') + L"b");
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    EXPECT_TRUE(Shown().empty());
    EXPECT_LT(took.count(), 300);  // linear: a few milliseconds; a quadratic search needs seconds here
    Type(w, L"search", std::wstring(10000, L'a'));
    EXPECT_EQ(Shown().size(), 80u);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(ChannelDialogsTest, CreateAGroupFromTheJoinWindowAndSeeItSelected) {
  Grant(Director::kPermissionCreateGroup);
  testkit::UiDriver d;
  OpenMain(d, {Channel("c-gen", "general", 1, true)});
  OpenJoin(d, L"add_group_btn");
  OpenCreate(d);
  d.Do("opened: name focused and empty, topic hinted", [] {
    HWND w = CreateWnd();
    EXPECT_EQ(testkit::WindowTitle(w), L"新建群组");
    EXPECT_EQ(TextIn(w, L"window_title"), L"新建群组");
    EXPECT_EQ(TextIn(w, L"description_text"),
              L"创建一个私有群组，只有受邀请的团队成员才可以加入该群组并参与讨论，"
              L"群组中的文件只有群组成员才可以访问。");
    EXPECT_TRUE(Focused(w, L"name_edit"));
    EXPECT_EQ(TextIn(w, L"name_edit"), L"");
    EXPECT_EQ(ColourIn(w, L"name_edit"), 0xFF000000u);
    EXPECT_EQ(TextIn(w, L"topic_edit"), kTopicHint);
    EXPECT_EQ(ColourIn(w, L"topic_edit"), 0xFFEBEAECu);
  });
  Click(d, CreateWnd, L"topic_edit");
  d.WaitFor("the topic focused", [] { return Focused(CreateWnd(), L"topic_edit"); });
  d.Do("left empty, the name shows its hint", [] {
    HWND w = CreateWnd();
    EXPECT_EQ(TextIn(w, L"topic_edit"), L"");
    EXPECT_EQ(TextIn(w, L"name_edit"), L"给频道一个简单的名字");
    EXPECT_EQ(ColourIn(w, L"name_edit"), 0xFFEBEAECu);
  });
  Click(d, CreateWnd, L"save_btn");
  d.WaitFor("the name focused", [] { return Focused(CreateWnd(), L"name_edit"); });
  d.Do("nothing sent; a name, the topic left hinted, a double click", [this] {
    HWND w = CreateWnd();
    EXPECT_EQ(service_->CountRequests("channels.create"), 0u);
    EXPECT_EQ(TextIn(w, L"name_edit"), L"");
    EXPECT_EQ(TextIn(w, L"topic_edit"), kTopicHint);
    Type(w, L"name_edit", L"年会");
    EXPECT_TRUE(testkit::ClickControl(w, L"save_btn"));
    EXPECT_TRUE(testkit::ClickControl(w, L"save_btn"));
  });
  Request request = Take(d, "channels.create");
  d.Pause(100);
  d.Do("one request; answer it", [this, request] {
    const bodies::RecordedRequest& r = **request;
    EXPECT_EQ(service_->CountRequests("channels.create"), 1u);
    EXPECT_EQ(r.Param("name"), "年会");
    EXPECT_EQ(r.Param("topic"), "");
    EXPECT_EQ(r.Param("type"), "2");
    EXPECT_EQ(r.Param("member_uids"), "[]");
    service_->Succeed(r.id, bodies::ChannelBody(Channel("g-new", "年会", 2)));
  });
  d.WaitFor("closed, the group open", [] { return !CreateWnd() && MainWindow()->open_conversation_id() == "g-new"; });
  d.Do("selected in the list", [] {
    EXPECT_EQ(SessionList()->GetCurSel(), MainWindow()->RowIndex("g-new"));
    EXPECT_FALSE(CreateTracked());
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(ChannelDialogsTest, RefusalsCloseQuietlyAndLateAnswersTouchNothing) {
  Grant(Director::kPermissionCreateChannel);
  testkit::UiDriver d;
  OpenMain(d, {Channel("c-gen", "general", 1, true), Channel("c-dev", "dev", 1)});
  OpenJoin(d, L"add_channel_btn");
  OpenCreate(d);
  d.Do("a taken name, a typed topic", [] {
    HWND w = CreateWnd();
    EXPECT_EQ(testkit::WindowTitle(w), L"新建频道");
    EXPECT_EQ(TextIn(w, L"window_title"), L"新建频道");
    Type(w, L"name_edit", L"dev");
    testkit::NotifyControl(w, L"topic_edit", L"setfocus");
    testkit::SetControlText(w, L"topic_edit", L"发布 {a x=|link|}");
    EXPECT_TRUE(testkit::ClickControl(w, L"save_btn"));
  });
  Answer(d, "channels.create", [this](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("topic"), "发布 {a x=|link|}");
    EXPECT_EQ(r.Param("type"), "1");
    service_->Fail(r.id, 409, "the name is taken");
  });
  d.WaitFor("closed", [] { return !CreateWnd() && !CreateTracked(); });
  d.Do("no message, nothing selected", [this] {
    EXPECT_TRUE(shell_.boxes.empty());
    EXPECT_EQ(MainWindow()->open_conversation_id(), "c-gen");
  });

  // An answer queued before the close: handled while the window is on its way out.
  OpenJoin(d, L"add_channel_btn");
  OpenCreate(d);
  d.Do("save", [] { Type(CreateWnd(), L"name_edit", L"qa"); });
  Click(d, CreateWnd, L"save_btn");
  Request queued_first = Take(d, "channels.create");
  d.Do("answer, then close before the answer is handled", [this, queued_first] {
    HWND w = CreateWnd();
    service_->Succeed((*queued_first)->id, bodies::ChannelBody(Channel("c-qa", "qa", 1)));
    MSG m;
    bool queued = false;
    for (int i = 0; i < 500 && !queued; ++i) {
      queued = PeekMessageW(&m, w, veltrinawnd::kMsgChannelCreated, veltrinawnd::kMsgChannelCreated, PM_NOREMOVE);
      if (!queued) Sleep(10);
    }
    EXPECT_TRUE(queued);
    WindowManager::Instance()->CloseCreateChannelWnd();  // what the cancel button does
  });
  d.WaitFor("closed again", [] { return !CreateWnd(); });

  // An answer after the window is gone.
  OpenJoin(d, L"add_channel_btn");
  OpenCreate(d);
  d.Do("save", [] { Type(CreateWnd(), L"name_edit", L"ops"); });
  Click(d, CreateWnd, L"save_btn");
  Request late = Take(d, "channels.create");
  Click(d, CreateWnd, L"cancel_btn");
  d.WaitFor("gone", [] { return !CreateWnd() && !CreateTracked(); });
  d.Do("answer late", [this, late] {
    service_->Succeed((*late)->id, bodies::ChannelBody(Channel("c-ops", "ops", 1)));
  });
  d.Pause(200);
  d.Do("the main window untouched", [] {
    EXPECT_EQ(MainWindow()->open_conversation_id(), "c-gen");
    EXPECT_EQ(testkit::CountVisibleWindows(L"CreateChannelWnd"), 0);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}
