// Readers on other threads while answers and events fill the caches; handlers coming and going;
// callbacks that call the core again or throw.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "test_support.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace {

using namespace veltrina::backend;

struct CountingHandler : veltrina::MessageHandler {
  void HandleChannelMessage(const veltrina::Message&) override { ++count; }
  std::atomic<int> count{0};
};

TEST(Concurrency, CachesStayConsistentUnderReadersAndWritersAndHandlerChurn) {
  auto service = std::make_shared<ScriptedService>();
  InstallService(service);
  std::vector<veltrina::User> fifty(50);
  for (size_t i = 0; i < fifty.size(); ++i) fifty[i].set_uid("u-" + std::to_string(i));
  service->AutoAnswer("users.list", [fifty](const auto&) { return Reply{true, 0, "", UsersBody(fifty), ""}; });
  auto* chat = veltrina::ChatManager::DefaultManager();
  std::atomic<bool> stop{false};
  std::atomic<long> reads{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      for (; !stop; ++reads) {
        size_t users = veltrina::UserManager::DefaultManager()->FetchUsersFromCache().size();
        EXPECT_TRUE(users == 0 || users == 50u);
        auto page = chat->FetchMessagesFromCache("c-1", 0, 2147483647, 20, nullptr, nullptr, false);
        EXPECT_LE(page.size(), 20u);
        for (size_t i = 1; i < page.size(); ++i) EXPECT_LE(page[i - 1]->timestamp(), page[i]->timestamp());
        chat->NumUnreadInCurrentTeam();
      }
    });
  }
  CountingHandler handler, churn;  // one registered throughout, one coming and going
  chat->AddMessageHandler(&handler);
  for (int i = 0; i < 400; ++i) {
    if (i % 50 == 0) veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
    if (i % 7 == 0) chat->AddMessageHandler(&churn);
    if (i % 11 == 0) chat->RemoveMessageHandler(&churn);
    veltrina::Message m;
    m.set_key("k" + std::to_string(i)), m.set_channel_id("c-1"), m.set_timestamp(1000 + (i * 7919) % 400);
    service->Push("message", MessageEvent(m));
  }
  chat->RemoveMessageHandler(&churn);
  ASSERT_TRUE(WaitForCoreIdle());
  chat->RemoveMessageHandler(&handler);
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_TRUE(reads > 0 && handler.count == 400);
  int64_t oldest = 0;  // all 400 arrived; the newest 300 are kept
  EXPECT_EQ(chat->FetchMessagesFromCache("c-1", 0, 2147483647, 1000, nullptr, &oldest, false).size(), 300u);
  EXPECT_EQ(oldest, 1100);
}

TEST(Concurrency, CallbacksMayCallTheCoreAgainAndAThrowingOneDoesNotStopTheThread) {
  auto service = std::make_shared<ScriptedService>();
  InstallService(service);
  service->AutoAnswer("users.list", [](const auto&) { return Reply{true, 0, "", UsersBody({}), ""}; });
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [](bool, const std::string&, auto) { throw std::runtime_error("a careless callback"); });
  core_test::Slot<int> depth;
  std::function<void(int)> step = [&](int n) {
    veltrina::UserManager::DefaultManager()->GetTeamMembers([&, n](bool ok, const std::string&, auto) {
      EXPECT_TRUE(IsCoreThread());
      EXPECT_FALSE(WaitForCoreIdle(std::chrono::milliseconds(1)));  // refused on the core thread
      ok && n < 50 ? step(n + 1) : depth.Set(n);
    });
  };
  step(1);
  EXPECT_TRUE(depth.Wait() && depth.Get() == 50);
}

}  // namespace
