// Readers on other threads while answers and events fill the caches; handlers coming and going.
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

class CountingHandler : public veltrina::MessageHandler {
 public:
  void HandleChannelMessage(const veltrina::Message&) override { ++count; }
  std::atomic<int> count{0};
};

TEST(Concurrency, CachesStayConsistentUnderReadersAndWriters) {
  auto service = std::make_shared<ScriptedService>();
  InstallService(service);
  service->AutoAnswer("users.list", [](const RecordedRequest&) {
    std::vector<veltrina::User> users(50);
    for (size_t i = 0; i < users.size(); ++i) users[i].set_uid("u-" + std::to_string(i));
    Reply r;
    r.ok = true;
    r.body = UsersBody(users);
    return r;
  });
  std::atomic<bool> stop{false};
  std::atomic<long> reads{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        auto users = veltrina::UserManager::DefaultManager()->FetchUsersFromCache();
        EXPECT_TRUE(users.empty() || users.size() == 50u);
        auto page = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-1", 0, 2147483647, 20, nullptr,
                                                                                   nullptr, false);
        EXPECT_LE(page.size(), 20u);
        for (size_t i = 1; i < page.size(); ++i) EXPECT_LE(page[i - 1]->timestamp(), page[i]->timestamp());
        veltrina::ChatManager::DefaultManager()->NumUnreadInCurrentTeam();
        ++reads;
      }
    });
  }
  CountingHandler handler;  // registered throughout: hears every message
  CountingHandler churn;    // comes and goes while messages arrive
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(&handler);
  for (int i = 0; i < 400; ++i) {
    if (i % 50 == 0) veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
    if (i % 7 == 0) veltrina::ChatManager::DefaultManager()->AddMessageHandler(&churn);
    if (i % 11 == 0) veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&churn);
    veltrina::Message m;
    m.set_key("k" + std::to_string(i));
    m.set_channel_id("c-1");
    m.set_timestamp(1000 + (i * 7919) % 400);
    service->Push("message", MessageEvent(m));
  }
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&churn);
  ASSERT_TRUE(WaitForCoreIdle());
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&handler);
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(handler.count.load(), 400);
  EXPECT_LE(churn.count.load(), 400);
  bool more = false;
  auto all = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-1", 0, 2147483647, 1000, &more, nullptr,
                                                                            false);
  EXPECT_EQ(all.size(), 400u);
  EXPECT_FALSE(more);
}

TEST(Concurrency, CallbacksMayCallTheCoreAgainAndChain) {
  auto service = std::make_shared<ScriptedService>();
  InstallService(service);
  service->AutoAnswer("users.list", [](const RecordedRequest&) {
    Reply r;
    r.ok = true;
    r.body = R"({"users":[]})";
    return r;
  });
  core_test::Slot<int> depth;
  std::function<void(int)> step = [&](int n) {
    veltrina::UserManager::DefaultManager()->GetTeamMembers([&, n](bool ok, const std::string&, auto) {
      EXPECT_TRUE(veltrina::backend::IsCoreThread());
      EXPECT_FALSE(WaitForCoreIdle(std::chrono::milliseconds(1)));  // refused on the core thread
      if (ok && n < 50)
        step(n + 1);
      else
        depth.Set(n);
    });
  };
  step(1);
  ASSERT_TRUE(depth.Wait());
  EXPECT_EQ(depth.Get(), 50);
}

}  // namespace

namespace {

TEST(Concurrency, ACallbackThatThrowsDoesNotStopTheCoreThread) {
  auto service = std::make_shared<ScriptedService>();
  InstallService(service);
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [](bool, const std::string&, auto) { throw std::runtime_error("a careless callback"); });
  service->Succeed(service->WaitForRequest("users.list")->id, R"({"users":[]})");
  core_test::Slot<bool> later;
  veltrina::UserManager::DefaultManager()->GetUsersStatus([&](bool ok, const std::string&) { later.Set(ok); });
  service->Succeed(service->WaitForRequest("users.status")->id, R"({"statuses":[]})");
  ASSERT_TRUE(later.Wait());
  EXPECT_TRUE(later.Get());
}

}  // namespace
