// The three user-list windows (direct message, member list, add members) as a user reaches them
// from the main window: rows, counts, the search rule, chat and invite buttons, and answers that
// arrive late, fail or repeat.
#include <algorithm>
#include <mutex>

#include "app/storage.h"
#include "dialogs/user_rows.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main/main_wnd.h"
#include "main_fixture.h"
#include "message_box.h"
#include "veltrina/log.h"
#include "veltrina/user_manager.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {

veltrina::User Person(const std::string& uid, const std::string& name, const std::string& display, int status,
                      veltrina::User::State state = veltrina::User::kStateNormal) {
  veltrina::User u;
  u.set_uid(uid);
  u.set_user_name(name);
  u.set_display_name(display);
  u.set_header_url(uid + ".png");
  u.set_status(status);
  u.set_state(state);
  return u;
}

HWND Dialog(const wchar_t* cls) { return testkit::FindVisibleWindow(cls); }

// Part of row `row` of the dialog's list: 0 presence, 1 avatar, 2 name, 3 action.
DuiLib::CControlUI* Part(HWND wnd, int row, int part) {
  auto* list = testkit::FindControlAs<DuiLib::CListUI>(wnd, L"result_list");
  auto* element = list ? static_cast<DuiLib::CContainerUI*>(list->GetItemAt(row)->GetInterface(L"Container")) : nullptr;
  auto* content = element ? static_cast<DuiLib::CContainerUI*>(element->GetItemAt(0)->GetInterface(L"Container")) : nullptr;
  return content ? content->GetItemAt(part) : nullptr;
}

std::vector<std::wstring> Rows(HWND wnd) {
  std::vector<std::wstring> names;
  auto* list = testkit::FindControlAs<DuiLib::CListUI>(wnd, L"result_list");
  for (int i = 0; list && i < list->GetCount(); ++i) names.push_back(Part(wnd, i, 2)->GetText());
  return names;
}

// Types into the search box as a user does: the text changes, then the box says so.
void Type(HWND wnd, const std::wstring& text) {
  testkit::SetControlText(wnd, L"search", text);
  testkit::NotifyControl(wnd, L"search", L"textchanged");
}

std::wstring SearchText(HWND wnd) { return testkit::FindControl(wnd, L"search")->GetText(); }

using Names = std::vector<std::wstring>;

}  // namespace

TEST(UserRows, SearchRuleIsABytewiseSubstringOfDisplayElseUserName) {
  using veltrinawnd::FilterUsers;
  veltrinawnd::Users users;
  for (const auto& u : {Person("1", "lilei", "Li Lei", 1), Person("2", "zoe", "Zo\xC3\xAB", 0),
                        Person("3", "x", "a.*[(b", 0), Person("4", "olga", "Olga", 0)})
    users.push_back(u.Clone());
  auto uids = [&](const std::string& filter) {
    std::string out;
    for (const auto& u : FilterUsers(users, filter)) out += u->uid();
    return out;
  };
  EXPECT_EQ(uids(""), "1234");
  EXPECT_EQ(uids("l"), "14");   // user name lilei, display name Olga
  EXPECT_EQ(uids("L"), "1");    // case counts
  EXPECT_EQ(uids(".*["), "3");  // no pattern language
  EXPECT_EQ(uids(".*"), "3");
  EXPECT_EQ(uids("\xC3"), "2");  // bytes, not characters
  EXPECT_EQ(uids("\xFF\xFE"), "");
  // A long search over long names stays linear: a naive search would take minutes here.
  veltrinawnd::Users long_names;
  for (int i = 0; i < 200; ++i) long_names.push_back(Person("u", std::string(20000, 'a'), std::string(20000, 'a'), 0).Clone());
  EXPECT_TRUE(FilterUsers(long_names, std::string(10000, 'a') + "b").empty());
  EXPECT_EQ(FilterUsers(long_names, std::string(10000, 'a')).size(), 200u);

  std::string uid;
  EXPECT_TRUE(veltrinawnd::ActionUid(L"ueid_u-1", &uid));
  EXPECT_EQ(uid, "u-1");
  EXPECT_TRUE(veltrinawnd::ActionUid(L"ueid_u_2", &uid));  // a uid with "_" stays whole
  EXPECT_EQ(uid, "u_2");
  EXPECT_FALSE(veltrinawnd::ActionUid(L"ueid_", &uid));
  EXPECT_FALSE(veltrinawnd::ActionUid(L"closeBtn", &uid));
}

class UserDialogsTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    veltrina::UserManager::DefaultManager()->GetTeamMembers([](bool, const std::string&, auto) {});
    auto list = service_->WaitForRequest("users.list");
    ASSERT_TRUE(list);
    service_->Succeed(list->id, bodies::UsersBody({
        Person("u-me", "me", "me", 1), Person("u-li", "lilei", "Li Lei", 1), Person("u-x", "xq", "X (a.*[", 4),
        Person("u-off", "olga", "Olga", 0), Person("u-gone", "lina", "Lina", 1, veltrina::User::kStateInactive),
        Person("u-han", "hanmeimei", "韩梅梅", 3), Person("u-liam", "liam", "LIAM", 2), Person("u-lisa", "lisa", "Lisa", 1),
        Person("u-zed", "zed", "Zed", 1)}));
    veltrina::Channel general = Channel("c-1", "general", 1, true);
    general.set_member_uids({"u-me", "u-li", "u-x", "u-off", "u-ghost"});
    Prime({general}, {});
  }

  // Clicks a control of the window of this class once it is up.
  void Click(testkit::UiDriver& d, const wchar_t* cls, const wchar_t* name) {
    std::wstring control = name;
    d.OnWindow(cls, [control](HWND w) { EXPECT_TRUE(testkit::ClickControl(w, control.c_str())) << veltrinawnd::Utf16ToUtf8(control); });
  }
  void AnswerOk(testkit::UiDriver& d, const std::string& method, const std::string& uid, const std::string& body = "{}") {
    auto svc = service_;
    Answer(d, method, [svc, uid, body](const bodies::RecordedRequest& r) {
      EXPECT_EQ(r.Param("uid"), uid);
      svc->Succeed(r.id, body);
    });
  }
  void WaitGone(testkit::UiDriver& d, const wchar_t* cls) {
    std::wstring c = cls;
    d.WaitFor("closed", [c] { return !Dialog(c.c_str()); });
  }
};

TEST_F(UserDialogsTest, MemberListCountsFiltersAndOpensAChatWithAnyMemberEvenOneself) {
  const std::wstring avatar = veltrinawnd::image_cache::LocalPath("u-li_40x40.png");
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"members_btn");
  d.OnWindow(L"ViewMembersWnd", [avatar](HWND w) {
    EXPECT_EQ(testkit::FindControl(w, L"title_label")->GetText(), L"群成员(3/4)");  // state 4 is present
    EXPECT_EQ(Rows(w), (Names{L"me (@me)", L"Li Lei (@lilei)", L"X (a.*[ (@xq)", L"Olga (@olga)"}));
    auto image = [w](int row) { return static_cast<DuiLib::CButtonUI*>(Part(w, row, 0))->GetNormalImage(); };
    EXPECT_EQ(image(1), L"status/status_online_normal.png");
    EXPECT_EQ(image(2), L"");
    EXPECT_EQ(image(3), L"status/status_offline_small.png");
    EXPECT_EQ(static_cast<DuiLib::CButtonUI*>(Part(w, 1, 1))->GetNormalImage(), avatar);
    EXPECT_EQ(Part(w, 1, 3)->GetName(), L"ueid_u-li");
    EXPECT_EQ(Part(w, 1, 3)->GetText(), L"聊天");
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(w, L"result_list");
    EXPECT_EQ(list->GetItemAt(0)->GetBkColor(), veltrinawnd::kUserRowBk);
    EXPECT_EQ(list->GetItemAt(1)->GetBkColor(), veltrinawnd::kUserRowAltBk);
    EXPECT_EQ(list->GetItemAt(2)->GetBkColor(), veltrinawnd::kUserRowBk);

    EXPECT_EQ(SearchText(w), L"搜索用户名");
    testkit::NotifyControl(w, L"search", L"setfocus");
    EXPECT_EQ(SearchText(w), L"");
    Type(w, L"li");
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)"}));
    Type(w, L"l");  // from the full list again, not from what li left
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"Olga (@olga)"}));
    Type(w, L"(a.*[");
    EXPECT_EQ(Rows(w), (Names{L"X (a.*[ (@xq)"}));
    for (const std::wstring& odd : {std::wstring(L"\xD800"), std::wstring(10000, L'a'), std::wstring(L"[")}) {
      Type(w, odd);
      EXPECT_EQ(Rows(w).size(), odd == L"[" ? 1u : 0u);
    }
    Type(w, L"");
    EXPECT_EQ(Rows(w).size(), 4u);
    testkit::NotifyControl(w, L"search", L"killfocus");
    EXPECT_EQ(SearchText(w), L"搜索用户名");
    Type(w, L"Li");
    Type(w, L"搜索用户名");  // the hint is no filter
    EXPECT_EQ(Rows(w).size(), 1u);
    Type(w, L"me");
  });
  Click(d, L"ViewMembersWnd", L"ueid_u-me");
  AnswerOk(d, "ims.new", "u-me", bodies::ImBody(Im("im-self", "u-me")));
  WaitGone(d, L"ViewMembersWnd");
  d.WaitFor("the conversation shown", [] {
    auto* main = WindowManager::Instance()->main_wnd();
    return main && main->open_conversation_id() == "im-self";
  });
  d.Do("selected", [] {
    EXPECT_EQ(SessionList()->GetCurSel(), WindowManager::Instance()->main_wnd()->RowIndex("im-self"));
    EXPECT_EQ(WindowManager::Instance()->view_members_wnd(), nullptr);
    WindowManager::Instance()->ShowViewMembersWnd("c-missing");  // a channel the cache does not know
  });
  d.OnWindow(L"ViewMembersWnd", [](HWND w) {
    EXPECT_EQ(testkit::FindControl(w, L"title_label")->GetText(), L"群成员(0/0)");
    EXPECT_TRUE(Rows(w).empty());
    testkit::ClickControl(w, L"closeBtn");
  });
  WaitGone(d, L"ViewMembersWnd");
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(UserDialogsTest, DirectMessageOffersActiveOthersAndClosesOnAnyAnswerWhileLateAnswersTouchNothing) {
  // The avatar downloads wait, so that rows are replaced while theirs are still on the way.
  service_->AutoAnswer("http.get", nullptr);
  DeleteFileW(veltrinawnd::image_cache::LocalPath("u-li_40x40.png").c_str());
  auto svc = service_;
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"open_im_btn");
  d.OnWindow(L"OpenImWnd", [](HWND w) {
    EXPECT_EQ(testkit::WindowTitle(w), L"发起私聊");
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"X (a.*[ (@xq)", L"Olga (@olga)", L"韩梅梅 (@hanmeimei)",
                              L"LIAM (@liam)", L"Lisa (@lisa)", L"Zed (@zed)"}));
    DuiLib::CControlUI* mark = Part(w, 3, 0);
    EXPECT_EQ(mark->GetInterface(L"Button"), nullptr);  // a plain mark with a background image
    EXPECT_EQ(mark->GetBkImage(), L"status/status_away_normal.png");
    Type(w, L"li");
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"LIAM (@liam)", L"Lisa (@lisa)"}));  // not the inactive Lina
  });
  d.WaitFor("the first row's avatar requested", [svc] {
    for (const auto& r : svc->Requests("http.get"))
      if (r.Param("url").find("u-li_40x40") != std::string::npos) return true;
    return false;
  });
  d.Do("refilter, then the old download finishes", [svc] {
    Type(Dialog(L"OpenImWnd"), L"lei");
    for (const auto& r : svc->Requests("http.get")) svc->Answer(r.id, true, 200, "", "{}", "png");
  });
  d.Pause(100);
  d.OnWindow(L"OpenImWnd", [](HWND w) {
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)"}));
    testkit::ClickControl(w, L"ueid_u-li");
  });
  Answer(d, "ims.new", [svc](const auto& r) { svc->Fail(r.id, 500, "no"); });
  WaitGone(d, L"OpenImWnd");
  d.Do("main unchanged", [] { EXPECT_EQ(WindowManager::Instance()->main_wnd()->open_conversation_id(), "c-1"); });
  Click(d, L"MainWindow", L"open_im_btn");  // a new window after the last one closed
  Click(d, L"OpenImWnd", L"ueid_u-han");
  d.WaitFor("asked", [svc] { return svc->CountRequests("ims.new") == 2; });
  Click(d, L"OpenImWnd", L"closeBtn");
  WaitGone(d, L"OpenImWnd");
  AnswerOk(d, "ims.new", "u-han", bodies::ImBody(Im("im-han", "u-han")));
  d.Pause(150);
  d.Do("the late answer opened nothing", [] {
    EXPECT_EQ(WindowManager::Instance()->open_im_wnd(), nullptr);
    EXPECT_EQ(WindowManager::Instance()->main_wnd()->open_conversation_id(), "c-1");
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(UserDialogsTest, InvitedMembersLeaveTheListFailuresStayAndRepeatsOnlyRefilter) {
  auto lines = std::make_shared<std::vector<std::string>>();
  auto lines_mutex = std::make_shared<std::mutex>();
  veltrina::set_log_observer([lines, lines_mutex](const std::string& line) {
    std::lock_guard<std::mutex> lock(*lines_mutex);
    lines->push_back(line);
  });
  auto svc = service_;
  auto invites = [svc] { return svc->CountRequests("channels.invite"); };
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"add_members_btn");
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    EXPECT_EQ(testkit::WindowTitle(w), L"添加成员");
    // Neither the signed-in user nor any member, nor the inactive Lina.
    EXPECT_EQ(Rows(w), (Names{L"韩梅梅 (@hanmeimei)", L"LIAM (@liam)", L"Lisa (@lisa)", L"Zed (@zed)"}));
    EXPECT_EQ(Part(w, 0, 3)->GetText(), L"邀请");
    EXPECT_NE(Part(w, 0, 0)->GetInterface(L"Button"), nullptr);
    testkit::NotifyControl(w, L"search", L"setfocus");
    Type(w, L"li");
    testkit::ClickControl(w, L"ueid_u-lisa");
  });
  Answer(d, "channels.invite", [svc](const auto& r) {
    EXPECT_EQ(r.Param("channel_id"), "c-1");
    EXPECT_EQ(r.Param("uid"), "u-lisa");
    svc->Succeed(r.id);
  });
  d.WaitFor("Lisa gone, still filtered", [] { return Rows(Dialog(L"AddMembersWnd")) == Names{L"LIAM (@liam)"}; });
  d.Do("logged", [lines, lines_mutex] {
    std::lock_guard<std::mutex> lock(*lines_mutex);
    EXPECT_NE(std::find(lines->begin(), lines->end(), "Find this guy u-lisa"), lines->end());
  });
  Click(d, L"AddMembersWnd", L"ueid_u-liam");
  Answer(d, "channels.invite", [svc](const auto& r) { svc->Fail(r.id, 500, "no"); });
  d.Pause(100);
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    EXPECT_EQ(Rows(w), (Names{L"LIAM (@liam)"}));  // still there and clickable
    testkit::ClickControl(w, L"ueid_u-liam");
  });
  d.WaitFor("asked again", [invites] { return invites() == 3; });
  Click(d, L"AddMembersWnd", L"ueid_u-liam");  // again while the first is pending
  d.WaitFor("asked twice", [invites] { return invites() == 4; });
  d.Do("both succeed", [svc] {
    for (const auto& r : svc->Requests("channels.invite"))
      if (!r.answered) svc->Succeed(r.id);
  });
  d.WaitFor("Liam gone, the second answer only refilters", [] { return Rows(Dialog(L"AddMembersWnd")).empty(); });
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    EXPECT_NE(WindowManager::Instance()->add_members_wnd(), nullptr);
    Type(w, L"");
    testkit::NotifyControl(w, L"search", L"killfocus");
    EXPECT_EQ(SearchText(w), L"搜索用户名");
    testkit::ClickControl(w, L"ueid_u-han");
  });
  AnswerOk(d, "channels.invite", "u-han");
  d.WaitFor("all the rest under the hint", [] { return Rows(Dialog(L"AddMembersWnd")) == Names{L"Zed (@zed)"}; });
  Click(d, L"AddMembersWnd", L"ueid_u-zed");
  d.WaitFor("asked for Zed", [invites] { return invites() == 6; });
  Click(d, L"AddMembersWnd", L"closeBtn");
  WaitGone(d, L"AddMembersWnd");
  AnswerOk(d, "channels.invite", "u-zed");  // after the window closed
  d.Pause(150);
  d.Do("the channel has them now", [] { WindowManager::Instance()->ShowAddMembersWnd("c-1"); });
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    EXPECT_TRUE(Rows(w).empty());
    WindowManager::Instance()->CloseAddMembersWnd();
  });
  WaitGone(d, L"AddMembersWnd");
  d.Do("a channel the cache does not know", [] { WindowManager::Instance()->ShowAddMembersWnd("c-missing"); });
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    EXPECT_EQ(Rows(w).size(), 7u);  // every active member but the signed-in user
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
  veltrina::set_log_observer(nullptr);
}
