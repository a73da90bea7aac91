// The user-list windows (direct message, members, add members) from the main window: rows, counts,
// search, chat and invite buttons, and answers that arrive late, fail or repeat.
#include "dialogs/user_rows.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main/main_wnd.h"
#include "main_fixture.h"
#include "veltrina/user_manager.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;
using Names = std::vector<std::wstring>;

class UserDialogsTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    veltrina::UserManager::DefaultManager()->GetTeamMembers([](bool, const std::string&, auto) {});
    auto list = service_->WaitForRequest("users.list");
    ASSERT_TRUE(list);
    service_->Succeed(list->id, bodies::UsersBody({Person("u-me", "me", "me", 1), Person("u-li", "lilei", "Li Lei", 1),
                                                   Person("u-x", "xq", "X (a.*[", 4), Person("u-off", "olga", "Olga", 0),
                                                   Person("u-gone", "lina", "Lina", 1, veltrina::User::kStateInactive),
                                                   Person("u-han", "hanmeimei", "韩梅梅", 3), Person("u-liam", "liam", "LIAM", 2),
                                                   Person("u-lisa", "lisa", "Lisa", 1), Person("u-zed", "zed", "Zed", 1)}));
    veltrina::Channel general = Channel("c-1", "general", 1, true);
    general.set_member_uids({"u-me", "u-li", "u-x", "u-off", "u-ghost"});
    Prime({general}, {});
  }
  static veltrina::User Person(const std::string& uid, const std::string& name, const std::string& display, int status,
                               veltrina::User::State state = veltrina::User::kStateNormal) {
    veltrina::User u = User(uid, name, status);
    u.set_display_name(display), u.set_state(state);
    return u;
  }
  // The rows on show, in order: a filter hides the others.
  static std::vector<DuiLib::CControlUI*> Shown(HWND w) {
    std::vector<DuiLib::CControlUI*> rows;
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(w, L"result_list");
    for (int i = 0; list && i < list->GetCount(); ++i)
      if (list->GetItemAt(i)->IsVisible()) rows.push_back(list->GetItemAt(i));
    return rows;
  }
  // Part of a row on show: 0 presence, 1 avatar, 2 name, 3 action.
  static DuiLib::CControlUI* Part(HWND w, int row, int part) { return At(Shown(w).at(static_cast<size_t>(row)), {0, part}); }
  static Names Rows(HWND w) {
    Names names;
    for (DuiLib::CControlUI* row : Shown(w)) names.push_back(At(row, {0, 2})->GetText());
    return names;
  }
  static void Search(HWND w, const std::wstring& text) {
    testkit::SetControlText(w, L"search", text), testkit::NotifyControl(w, L"search", L"textchanged");
  }
  void AnswerOk(testkit::UiDriver& d, const std::string& method, const std::string& uid, const std::string& body = "{}") {
    auto svc = service_;
    Answer(d, method, [svc, uid, body](const bodies::RecordedRequest& r) {
      EXPECT_EQ(r.Param("uid"), uid);
      svc->Succeed(r.id, body);
    });
  }
  static void WaitGone(testkit::UiDriver& d, const wchar_t* cls) { d.WaitFor("closed", [cls] { return !Wnd(cls); }); }
  static void CloseWnd(testkit::UiDriver& d, const wchar_t* cls) { Click(d, cls, L"closeBtn"), WaitGone(d, cls); }
  bool AvatarAsked(const std::string& uid) const {
    for (const auto& r : service_->Requests("http.get"))
      if (r.Param("url").find(uid + "_40x40") != std::string::npos) return true;
    return false;
  }
  static std::string OpenConversation() { return WindowManager::Instance()->main_wnd()->open_conversation_id(); }
};

TEST_F(UserDialogsTest, SearchIsALiteralBytewiseSubstringInLinearTimeAndActionNamesKeepTheWholeUid) {
  veltrinawnd::Users users;
  for (const auto& u : {Person("1", "lilei", "Li Lei", 1), Person("2", "zoe", "Zo\xC3\xAB", 0), Person("3", "x", "a.*[(b", 0),
                        Person("4", "olga", "Olga", 0)})
    users.push_back(u.Clone());
  auto uids = [&](const std::string& filter) {
    std::string out;
    for (const auto& u : veltrinawnd::FilterUsers(users, filter)) out += u->uid();
    return out + "|";
  };
  // User name lilei, display name Olga; case counts; no pattern language; bytes, not characters.
  EXPECT_EQ(uids("") + uids("l") + uids("L") + uids(".*[") + uids("\xC3") + uids("\xFF\xFE"), "1234|14|1|3|2||");
  veltrinawnd::Users long_names;
  for (int i = 0; i < 200; ++i) long_names.push_back(Person("u", std::string(20000, 'a'), std::string(20000, 'a'), 0).Clone());
  EXPECT_TRUE(veltrinawnd::FilterUsers(long_names, std::string(10000, 'a') + "b").empty());  // a naive search takes minutes
  EXPECT_EQ(veltrinawnd::FilterUsers(long_names, std::string(10000, 'a')).size(), 200u);
  std::string uid;
  EXPECT_TRUE(veltrinawnd::ActionUid(L"ueid_u_2", &uid));
  EXPECT_EQ(uid, "u_2");
  EXPECT_FALSE(veltrinawnd::ActionUid(L"ueid_", &uid) || veltrinawnd::ActionUid(L"closeBtn", &uid));
}

TEST_F(UserDialogsTest, MemberListCountsFiltersAndOpensAChatWithAnyMemberEvenOneself) {
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"members_btn");
  d.OnWindow(L"ViewMembersWnd", [](HWND w) {
    EXPECT_EQ(TextIn(w, L"title_label"), L"群成员(3/4)");  // state 4 is present
    EXPECT_EQ(Rows(w), (Names{L"me (@me)", L"Li Lei (@lilei)", L"X (a.*[ (@xq)", L"Olga (@olga)"}));
    EXPECT_EQ(static_cast<DuiLib::CButtonUI*>(Part(w, 1, 1))->GetNormalImage(), veltrinawnd::image_cache::LocalPath("u-li_40x40.png"));
    EXPECT_EQ(Part(w, 1, 3)->GetName() + L"|" + Part(w, 1, 3)->GetText(), L"ueid_u-li|聊天");
    EXPECT_EQ(TextIn(w, L"search"), L"搜索用户名");
    testkit::NotifyControl(w, L"search", L"setfocus");
    EXPECT_EQ(TextIn(w, L"search"), L"");
    Search(w, L"li");
    Search(w, L"l");  // from the full list again, not from what li left
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"Olga (@olga)"}));
    Search(w, L"\xD800");  // an unpaired surrogate
    EXPECT_TRUE(Rows(w).empty());
    Search(w, L"");
    testkit::NotifyControl(w, L"search", L"killfocus");
    EXPECT_EQ(TextIn(w, L"search"), L"搜索用户名");
    Search(w, L"搜索用户名");  // the hint is no filter
    EXPECT_EQ(Rows(w).size(), 4u);
  });
  Click(d, L"ViewMembersWnd", L"ueid_u-me");
  AnswerOk(d, "ims.new", "u-me", bodies::ImBody(Im("im-self", "u-me")));
  WaitGone(d, L"ViewMembersWnd");
  d.WaitFor("the conversation shown", [] { return OpenConversation() == "im-self"; });
  d.Do("selected", [] {
    EXPECT_EQ(SessionList()->GetCurSel(), WindowManager::Instance()->main_wnd()->RowIndex("im-self"));
    EXPECT_EQ(WindowManager::Instance()->view_members_wnd(), nullptr);
  });
  Finish(d);
}

TEST_F(UserDialogsTest, DirectMessageOffersActiveOthersAndClosesOnAnyAnswerWhileLateAnswersTouchNothing) {
  service_->AutoAnswer("http.get", nullptr);  // avatars wait, so that rows are replaced while theirs are on the way
  DeleteFileW(veltrinawnd::image_cache::LocalPath("u-li_40x40.png").c_str());
  auto svc = service_;
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"open_im_btn");
  d.OnWindow(L"OpenImWnd", [](HWND w) {
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"X (a.*[ (@xq)", L"Olga (@olga)", L"韩梅梅 (@hanmeimei)", L"LIAM (@liam)",
                              L"Lisa (@lisa)", L"Zed (@zed)"}));
    Search(w, L"li");
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"LIAM (@liam)", L"Lisa (@lisa)"}));  // not the inactive Lina
  });
  d.WaitFor("the first row's avatar requested", [this] { return AvatarAsked("u-li"); });
  d.Do("refilter, then the old downloads finish", [svc] {
    Search(Wnd(L"OpenImWnd"), L"lei");
    for (const auto& r : svc->Requests("http.get")) svc->Answer(r.id, true, 200, "", "{}", "png");
  });
  d.Pause(100);
  d.OnWindow(L"OpenImWnd", [](HWND w) {
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)"}));
    testkit::ClickControl(w, L"ueid_u-li");
  });
  Answer(d, "ims.new", [svc](const auto& r) { svc->Fail(r.id, 500, "no"); });
  WaitGone(d, L"OpenImWnd");
  d.Do("main unchanged", [] { EXPECT_EQ(OpenConversation(), "c-1"); });
  Click(d, L"MainWindow", L"open_im_btn");
  Click(d, L"OpenImWnd", L"ueid_u-han");
  d.WaitFor("asked", [svc] { return svc->CountRequests("ims.new") == 2; });
  CloseWnd(d, L"OpenImWnd");
  AnswerOk(d, "ims.new", "u-han", bodies::ImBody(Im("im-han", "u-han")));
  d.Pause(150).Do("the late answer opened nothing", [] {
    EXPECT_EQ(WindowManager::Instance()->open_im_wnd(), nullptr);
    EXPECT_EQ(OpenConversation(), "c-1");
  });
  Finish(d);
}

TEST_F(UserDialogsTest, InvitedMembersLeaveTheListFailuresStayAndRepeatsOnlyRefilter) {
  auto svc = service_;
  auto invites = [svc] { return svc->CountRequests("channels.invite"); };
  auto rows = [] { return Rows(Wnd(L"AddMembersWnd")); };
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"add_members_btn");
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    // Neither the signed-in user nor any member, nor the inactive Lina.
    EXPECT_EQ(Rows(w), (Names{L"韩梅梅 (@hanmeimei)", L"LIAM (@liam)", L"Lisa (@lisa)", L"Zed (@zed)"}));
    EXPECT_EQ(Part(w, 0, 3)->GetText(), L"邀请");
    testkit::NotifyControl(w, L"search", L"setfocus");
    Search(w, L"li");
    testkit::ClickControl(w, L"ueid_u-lisa");
  });
  Answer(d, "channels.invite", [svc](const auto& r) {
    EXPECT_EQ(r.Param("channel_id") + "|" + r.Param("uid"), "c-1|u-lisa");
    svc->Succeed(r.id);
  });
  d.WaitFor("Lisa gone, still filtered", [rows] { return rows() == Names{L"LIAM (@liam)"}; });
  Click(d, L"AddMembersWnd", L"ueid_u-liam");
  Answer(d, "channels.invite", [svc](const auto& r) { svc->Fail(r.id, 500, "no"); });
  d.Pause(100).Do("still there and clickable", [rows] { EXPECT_EQ(rows(), Names{L"LIAM (@liam)"}); });
  Click(d, L"AddMembersWnd", L"ueid_u-liam");
  d.WaitFor("asked again", [invites] { return invites() == 3; });
  Click(d, L"AddMembersWnd", L"ueid_u-liam");  // again while the first is pending
  d.WaitFor("asked twice", [invites] { return invites() == 4; });
  d.Do("both succeed", [svc] {
    for (const auto& r : svc->Requests("channels.invite"))
      if (!r.answered) svc->Succeed(r.id);
  });
  d.WaitFor("Liam gone, the second answer only refilters", [rows] { return rows().empty(); });
  d.OnWindow(L"AddMembersWnd", [](HWND w) {
    Search(w, L"");
    testkit::NotifyControl(w, L"search", L"killfocus");
    testkit::ClickControl(w, L"ueid_u-han");
  });
  AnswerOk(d, "channels.invite", "u-han");
  d.WaitFor("all the rest under the hint", [rows] { return rows() == Names{L"Zed (@zed)"}; });
  Click(d, L"AddMembersWnd", L"ueid_u-zed");
  d.WaitFor("asked for Zed", [invites] { return invites() == 6; });
  CloseWnd(d, L"AddMembersWnd");
  AnswerOk(d, "channels.invite", "u-zed");  // after the window closed
  d.Pause(150).Do("the channel has them now", [] { WindowManager::Instance()->ShowAddMembersWnd("c-1"); });
  d.OnWindow(L"AddMembersWnd", [](HWND w) { EXPECT_TRUE(Rows(w).empty()); });
  Finish(d);
}

TEST_F(UserDialogsTest, FilteringShowsExactlyTheMatchingRowsInOrderStripedFromTheTopAndKeepsAShownSelection) {
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"open_im_btn");
  d.OnWindow(L"OpenImWnd", [](HWND w) {
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(w, L"result_list");
    auto stripes = [w] {
      std::vector<DWORD> colours;
      for (DuiLib::CControlUI* row : Shown(w)) colours.push_back(row->GetBkColor());
      return colours;
    };
    auto selected = [list]() -> std::wstring {
      DuiLib::CControlUI* row = list->GetItemAt(list->GetCurSel());
      return row ? At(row, {0, 2})->GetText() : L"";
    };
    testkit::NotifyControl(w, L"search", L"setfocus");
    ASSERT_TRUE(list->SelectItem(5, false, false));  // Lisa
    Search(w, L"li");
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)", L"LIAM (@liam)", L"Lisa (@lisa)"}));
    EXPECT_EQ(stripes(), (std::vector<DWORD>{veltrinawnd::kUserRowBk, veltrinawnd::kUserRowAltBk, veltrinawnd::kUserRowBk}));
    EXPECT_EQ(selected(), L"Lisa (@lisa)");  // still on show: still selected
    Search(w, L"lisa");
    EXPECT_EQ(selected(), L"Lisa (@lisa)");
    Search(w, L"lei");
    EXPECT_EQ(Rows(w), (Names{L"Li Lei (@lilei)"}));
    EXPECT_EQ(selected(), L"");  // hidden: no longer selected
    Search(w, L"");
    EXPECT_EQ(Rows(w).size(), 7u);
    EXPECT_EQ(selected(), L"");
    EXPECT_EQ(stripes()[3], veltrinawnd::kUserRowAltBk);
    ASSERT_TRUE(list->SelectItem(6, false, false));  // Zed, at the bottom
    list->EndDown();
    Search(w, L"Z");
    EXPECT_EQ(Rows(w), (Names{L"Zed (@zed)"}));
    EXPECT_EQ(selected(), L"Zed (@zed)");
    list->GetManager()->UpdateLayout();
    EXPECT_EQ(list->GetScrollPos().cy, 0);  // a filter shows its result from the top
  });
  CloseWnd(d, L"OpenImWnd");
  Finish(d);
}

TEST_F(UserDialogsTest, ARowIsFilledInAndAsksForItsAvatarWhenItFirstShowsNotWhileTheWindowOpens) {
  std::vector<veltrina::User> many{Person("u-me", "me", "me", 1)};
  for (int i = 10; i < 70; ++i) many.push_back(Person("u-m" + std::to_string(i), "m" + std::to_string(i), "M" + std::to_string(i), 1));
  veltrina::UserManager::DefaultManager()->GetTeamMembers([](bool, const std::string&, auto) {});
  auto list = service_->WaitForRequest("users.list");
  ASSERT_TRUE(list);
  service_->Succeed(list->id, bodies::UsersBody(many));
  testkit::UiDriver d;
  Click(d, L"MainWindow", L"open_im_btn");
  d.OnWindow(L"OpenImWnd", [this](HWND w) {
    ASSERT_EQ(Shown(w).size(), 60u);
    EXPECT_TRUE(AvatarAsked("u-m10"));
    EXPECT_EQ(Part(w, 0, 2)->GetText(), L"M10 (@m10)");
    // Far below the first screen: an empty row of the full height, no avatar asked for.
    auto* last = static_cast<DuiLib::CContainerUI*>(Shown(w).back());
    EXPECT_EQ(last->GetCount(), 0);
    EXPECT_EQ(last->GetHeight(), 50);
    EXPECT_FALSE(AvatarAsked("u-m69"));
    EXPECT_EQ(testkit::FindControl(w, L"ueid_u-m69"), nullptr);
    // A filter that brings it to the top fills it in on the next paint.
    Search(w, L"M69");
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(Rows(w), (Names{L"M69 (@m69)"}));
    EXPECT_EQ(static_cast<DuiLib::CButtonUI*>(Part(w, 0, 1))->GetNormalImage(),
              veltrinawnd::image_cache::LocalPath("u-m69_40x40.png"));
    EXPECT_GT(Part(w, 0, 3)->GetWidth(), 0);  // placed in the paint that filled it in
    // Scrolled to: the same.
    Search(w, L"");
    testkit::FindControlAs<DuiLib::CListUI>(w, L"result_list")->EndDown();
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(At(Shown(w).at(58), {0, 2})->GetText(), L"M68 (@m68)");
  });
  d.WaitFor("its avatar asked for once shown", [this] { return AvatarAsked("u-m69"); });
  Click(d, L"OpenImWnd", L"ueid_u-m68");
  AnswerOk(d, "ims.new", "u-m68", bodies::ImBody(Im("im-68", "u-m68")));
  WaitGone(d, L"OpenImWnd");
  Finish(d);
}
