// Not a timed test: prints how long the three user-list windows take to build their lists for
// 200 and for 2,000 members, and how long one keystroke in their search box takes (filter and
// refill), with the ratios (linear growth gives about 10).
#include <chrono>
#include <cstdio>

#include "dialogs/add_members_wnd.h"
#include "dialogs/open_im_wnd.h"
#include "dialogs/view_members_wnd.h"
#include "main/main_fixture.h"
#include "veltrina/user_manager.h"

namespace bodies = veltrina::backend;

namespace {

struct Timing {
  double build = 1e9;      // window created, list filled (ms)
  double keystroke = 1e9;  // one "textchanged": filter and refill (ms)
  double filter = 1e9;     // the filter alone (ms)
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

class UserListsBenchmark : public MainTest {
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

  // The fastest of five runs: the others mostly measure what else the machine does. The first
  // run also fills the image cache, as the avatar prefetch does after signing in.
  template <typename Wnd, typename... Args>
  Timing Measure(size_t rows, size_t matching, Args... args) {
    Timing t;
    for (int run = 0; run < 6; ++run) {
      Wnd wnd(args...);
      auto start = std::chrono::steady_clock::now();
      HWND h = wnd.Create(nullptr, L"benchmark", veltrinawnd::kFrameStyle, veltrinawnd::kWindowExStyle);
      double build = Since(start);
      EXPECT_EQ(wnd.users().shown().size(), rows);
      testkit::NotifyControl(h, L"search", L"setfocus");
      testkit::SetControlText(h, L"search", L"user");  // every other member matches: a whole list again
      start = std::chrono::steady_clock::now();
      testkit::NotifyControl(h, L"search", L"textchanged");
      double keystroke = Since(start);
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

  struct Sizes {
    Timing open_im, view_members, add_members;
  };
  Sizes MeasureAll(int members) {
    Team(members);
    size_t n = static_cast<size_t>(members);
    return {Measure<veltrinawnd::OpenImWnd>(n, n), Measure<veltrinawnd::ViewMembersWnd>(n + 1, n, std::string("c-all")),
            Measure<veltrinawnd::AddMembersWnd>(n, n, std::string("c-me"))};
  }
};

TEST_F(UserListsBenchmark, ListsAndKeystrokesGrowLinearly) {
  Sizes small = MeasureAll(200);
  Sizes large = MeasureAll(2000);
  auto print = [](const char* window, const Timing& s, const Timing& l) {
    auto ratio = [](double a, double b) { return a > 0 ? b / a : 0.0; };
    std::printf("%-15s build %7.2f / %8.2f ms (ratio %5.1f)  keystroke %7.2f / %8.2f ms (ratio %5.1f)"
                "  filter alone %6.3f / %7.3f ms (ratio %5.1f)\n",
                window, s.build, l.build, ratio(s.build, l.build), s.keystroke, l.keystroke,
                ratio(s.keystroke, l.keystroke), s.filter, l.filter, ratio(s.filter, l.filter));
  };
  std::printf("user lists, 200 / 2000 members:\n");
  print("OpenImWnd", small.open_im, large.open_im);
  print("ViewMembersWnd", small.view_members, large.view_members);
  print("AddMembersWnd", small.add_members, large.add_members);
  EXPECT_GT(large.view_members.build, 0);
}
