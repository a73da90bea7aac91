// Rebuilding the session list for 200 and 2,000 conversations: channels, private groups and direct
// messages whose peers' avatars are already in the image cache. Linear growth gives a ratio near 10.
#include <algorithm>
#include <chrono>

#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main_fixture.h"
#include "report.h"
#include "veltrina/user_manager.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

class SessionListBench : public MainTest {
 protected:
  double Measure(int conversations) {
    std::vector<veltrina::Channel> channels;
    std::vector<veltrina::IM> ims;
    std::vector<veltrina::User> users{User("u-me", "me", 1)};
    for (int i = 0; i < conversations; ++i) {
      const std::string n = std::to_string(i);
      if (i % 3 == 1) {
        users.push_back(User("u-" + n, "member-" + n, 1 + i % 4));
        ims.push_back(Im("d-" + n, "u-" + n));
      } else {
        channels.push_back(Channel("c-" + n, "channel-" + n, i % 3 == 0 ? 1 : 2));
      }
    }
    veltrina::UserManager::DefaultManager()->GetTeamMembers([](bool, const std::string&, auto) {});
    auto list = service_->WaitForRequest("users.list");
    if (!list) {
      ADD_FAILURE() << "no users.list";
      return 0;
    }
    service_->Succeed(list->id, bodies::UsersBody(users));
    Prime(channels, ims);
    // The avatars cached first, as the prefetch after signing in leaves them.
    veltrinawnd::image_cache::PrefetchAvatars();
    const bool cached = testkit::PumpUntil([&users] {
      return std::all_of(users.begin(), users.end(), [](const veltrina::User& u) {
        const std::string name = veltrinawnd::image_cache::AvatarFileName(u.header_url(), 40, 40, 1);
        return GetFileAttributesW(veltrinawnd::image_cache::LocalPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
      });
    }, 60000);
    EXPECT_TRUE(cached) << "avatars not cached";
    double ms = 1e9;
    testkit::UiDriver d;
    d.WaitFor("main", [] { return Main() != nullptr; }, 20000);
    d.Do("rebuild", [&ms, conversations] {
      for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        SendMessageW(Main(), WM_USER + 18, 0, 0);
        ms = std::min(ms, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        testkit::PumpFor(20);  // let the replaced rows go
      }
      // Every conversation has its row, besides the three headers and two spacers.
      EXPECT_EQ(SessionList()->GetCount(), conversations + 5);
      WindowManager::Instance()->CloseAll();
    });
    d.Start();
    WindowManager::Instance()->ShowMainWnd();
    EXPECT_TRUE(d.Failure().empty()) << d.Failure();
    return ms;
  }
};

TEST_F(SessionListBench, Rebuild) {
  const double small = Measure(200), large = Measure(2000);
  bench::Report("session_list_rebuild_ms_200", small);
  bench::Report("session_list_rebuild_ms_2000", large);
  bench::Report("session_list_ratio", small > 0 ? large / small : 0.0);
}
