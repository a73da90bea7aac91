// The three user-list windows for 200 and 2,000 members: building the list, and one keystroke in
// the search box (filter and refill) with the filter alone beside it.
#include <algorithm>
#include <chrono>
#include <string>

#include "dialogs/add_members_wnd.h"
#include "dialogs/open_im_wnd.h"
#include "dialogs/view_members_wnd.h"
#include "app/storage.h"
#include "main_fixture.h"
#include "report.h"
#include "veltrina/user_manager.h"

namespace bodies = veltrina::backend;

namespace {

struct Timing {
  double build = 1e9;      // window created, list filled, laid out and painted (ms)
  double keystroke = 1e9;  // one "textchanged": filter, refill, lay out and paint (ms)
  double filter = 1e9;     // the filter alone (ms)
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The layout and paint that the change has made due, done now: they are UI-thread work of the
// keystroke too.
void Paint(HWND h) {
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace

class UserListsBench : public MainTest {
 protected:
  // The signed-in user and `members` others; every one of them in "c-all", only the signed-in
  // user in "c-me".
  void Team(int members) {
    std::vector<veltrina::User> users{User("u-me", "me", 1)};
    std::vector<std::string> uids{"u-me"};
    for (int i = 0; i < members; ++i) {
      char uid[16];
      std::snprintf(uid, sizeof uid, "u-%04d", i);
      veltrina::User u = User(uid, "user" + std::to_string(i), i % 5);
      u.set_display_name("成员 " + std::to_string(i));
      users.push_back(u);
      uids.push_back(uid);
    }
    veltrina::UserManager::DefaultManager()->GetTeamMembers([](bool, const std::string&, auto) {});
    auto list = service_->WaitForRequest("users.list");
    ASSERT_TRUE(list);
    service_->Succeed(list->id, bodies::UsersBody(users));
    veltrina::Channel all = Channel("c-all", "all", 1);
    all.set_member_uids(uids);
    veltrina::Channel me = Channel("c-me", "me", 1);
    me.set_member_uids({"u-me"});
    Prime({all, me}, {});
  }

  // The best of five runs; a first run before them fills the image cache, as the avatar
  // prefetch does after signing in.
  template <typename Wnd, typename... Args>
  Timing Measure(size_t rows, size_t matching, Args... args) {
    Timing t;
    for (int run = 0; run < 6; ++run) {
      Wnd wnd(args...);
      auto start = std::chrono::steady_clock::now();
      HWND h = wnd.Create(nullptr, L"benchmark", veltrinawnd::kFrameStyle, veltrinawnd::kWindowExStyle);
      Paint(h);
      double build = Since(start);
      EXPECT_EQ(wnd.users().shown().size(), rows);
      testkit::NotifyControl(h, L"search", L"setfocus");
      // Two keystrokes: "user1" hides the rows of the members whose number does not start with 1,
      // then "user" (every member) shows them all again; the slower one counts.
      double keystroke = 0;
      for (const wchar_t* text : {L"user1", L"user"}) {
        testkit::SetControlText(h, L"search", text);
        start = std::chrono::steady_clock::now();
        testkit::NotifyControl(h, L"search", L"textchanged");
        Paint(h);
        keystroke = std::max(keystroke, Since(start));
        EXPECT_EQ(wnd.users().shown().size(),
                  veltrinawnd::FilterUsers(wnd.users().users(), veltrinawnd::Utf16ToUtf8(text)).size());
      }
      EXPECT_EQ(wnd.users().shown().size(), matching);
      start = std::chrono::steady_clock::now();
      size_t kept = veltrinawnd::FilterUsers(wnd.users().users(), "user").size();
      double filter = Since(start);
      EXPECT_EQ(kept, matching);
      if (run > 0) {
        t.build = std::min(t.build, build);
        t.keystroke = std::min(t.keystroke, keystroke);
        t.filter = std::min(t.filter, filter);
      }
      wnd.Close();
      EXPECT_TRUE(testkit::PumpUntil([h] { return !IsWindow(h); }, 20000));
      testkit::PumpFor(50);  // downloads answered, replaced rows freed
    }
    return t;
  }

  void MeasureAll(int members) {
    Team(members);
    const size_t n = static_cast<size_t>(members);
    const std::string size = std::to_string(members);
    auto report = [&size](const std::string& window, const Timing& t) {
      bench::Report((window + "_build_ms_" + size).c_str(), t.build);
      bench::Report((window + "_keystroke_ms_" + size).c_str(), t.keystroke);
      bench::Report((window + "_filter_ms_" + size).c_str(), t.filter);
    };
    report("open_im", Measure<veltrinawnd::OpenImWnd>(n, n));
    report("view_members", Measure<veltrinawnd::ViewMembersWnd>(n + 1, n, std::string("c-all")));
    report("add_members", Measure<veltrinawnd::AddMembersWnd>(n, n, std::string("c-me")));
  }
};

TEST_F(UserListsBench, BuildAndKeystroke) {
  MeasureAll(200);
  MeasureAll(2000);
}
