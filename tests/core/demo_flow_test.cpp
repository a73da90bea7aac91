// The demo service's flows through the public calls: sign-in codes, messages, the bot, files.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "demo_support.h"
#include "veltrina/backend/scripted_service.h"

namespace {

using namespace core_test;

class DemoFlows : public ::testing::Test {
 protected:
  void SetUp() override { demo_ = InstallDemo(folder_.path()); }
  TempFolder folder_;
  std::shared_ptr<veltrina::backend::DemoService> demo_;
};

TEST_F(DemoFlows, TeamLookup) {
  Slot<std::string> found;
  auto lookup = [&](const std::string& subdomain) {
    Slot<std::string> slot;
    veltrina::WebApi::Api()->GetTeamLiteBySubdomain(
        subdomain, [&](bool ok, int64_t code, const std::string& id, const std::string& name, const std::string& sub) {
          slot.Set(ok ? id + "|" + name + "|" + sub : "code " + std::to_string(code));
        });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  EXPECT_EQ(lookup("demo"), "t-demo|Veltrina 演示团队|demo");
  EXPECT_EQ(lookup("acme"), "t-acme|Acme 工作室|acme");
  EXPECT_EQ(lookup("nope"), "code 404");
  EXPECT_EQ(lookup(""), "code 404");
  EXPECT_EQ(lookup("unreachable"), "code -1");
}

TEST_F(DemoFlows, SignInCodes) {
  EXPECT_EQ(Login("alice", "wrong").code, 8000);
  EXPECT_EQ(Login("nobody", "veltrina").code, 8000);
  EXPECT_EQ(Login("unreachable", "x").code, -1);
  LoginResult alice = Login("alice", "veltrina");
  EXPECT_TRUE(alice.ok);
  EXPECT_EQ(alice.code, 200);
  ASSERT_TRUE(alice.user);
  EXPECT_EQ(alice.user->role(), 4);
  EXPECT_EQ(Login("carol", "veltrina", "t-acme").code, 200);
}

TEST_F(DemoFlows, InitialPasswordThenANewOne) {
  LoginResult first = Login("newbie", "init1234");
  EXPECT_TRUE(first.ok);
  EXPECT_EQ(first.code, 201);
  auto put = [](const std::string& password) {
    Slot<std::pair<bool, int64_t>> slot;
    veltrina::WebApi::Api()->PutInitPassword(password, [&](bool ok, int64_t code) { slot.Set({ok, code}); });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  EXPECT_FALSE(put("12345").first);  // five bytes are too few
  EXPECT_TRUE(put("密码").first);    // six bytes of UTF-8
  EXPECT_EQ(Login("newbie", "init1234").code, 8000);
  LoginResult again = Login("newbie", "密码");
  EXPECT_TRUE(again.ok);
  EXPECT_EQ(again.code, 200);
}

TEST_F(DemoFlows, PermissionsDifferPerAccount) {
  auto permission = [] {
    Slot<int64_t> slot;
    veltrina::WebApi::Api()->GetPermisson([&](bool ok, const std::string&, int64_t p) { slot.Set(ok ? p : -1); });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  Login("alice", "veltrina");
  EXPECT_EQ(permission() & 0x4006, 0x4006);
  Login("bob", "veltrina");
  EXPECT_EQ(permission(), 0);
  Slot<bool> created;
  veltrina::ChannelManager::DefaultManager()->CreateChannel("bob's", "", 1, {},
                                                            [&](bool ok, const std::string&, auto) { created.Set(ok); });
  ASSERT_TRUE(created.Wait());
  EXPECT_FALSE(created.Get());
}

TEST_F(DemoFlows, ClientVersionFromTheConfigFileAndTheEnvironment) {
  auto version = [] {
    Slot<int64_t> slot;
    veltrina::WebApi::Api()->GetClientVersion([&](bool ok, int64_t, int64_t code, const std::string&, const std::string&,
                                                  bool, int64_t, const std::string& url, const std::string&) {
      EXPECT_FALSE(url.empty());
      slot.Set(ok ? code : -100);
    });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  EXPECT_LT(version(), 4);
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder_.File("demo-config.json"),
                                                                         R"({"client_version_code": 5})"));
  EXPECT_EQ(version(), 5);
  _putenv_s("VELTRINA_DEMO_VERSION_CODE", "4");
  EXPECT_EQ(version(), 4);
  _putenv_s("VELTRINA_DEMO_VERSION_CODE", "");
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder_.File("demo-config.json"), "{oops"));
  EXPECT_LT(version(), 4);  // a broken config file changes nothing
}

TEST_F(DemoFlows, DemoDataCoversWhatTheClientShows) {
  SignInAndLoad("alice", "veltrina");
  auto* channels = veltrina::ChannelManager::DefaultManager();
  auto joined = channels->FetchChannelsFromCache(1, true, false);
  ASSERT_FALSE(joined.empty());
  EXPECT_TRUE(joined[0]->IsGeneral());
  EXPECT_FALSE(channels->FetchChannelsFromCache(1, false, false).empty());  // something to join
  EXPECT_FALSE(channels->FetchChannelsFromCache(2, true, false).empty());   // groups
  auto ims = veltrina::IMManager::DefaultManager()->FetchImsFromCache();
  bool peer_missing = false;
  for (const auto& im : ims)
    peer_missing = peer_missing || !veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(im->to_uid());
  EXPECT_TRUE(peer_missing);
  std::set<int> types;
  for (const auto& m : veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-general", 0, 2147483647, 100,
                                                                                     nullptr, nullptr, false))
    types.insert(m->message_type() * 10 + m->sender_type());
  for (int expected : {11, 31, 51, 61, 71, 81, 121, 221, 322, 13, 42, 991}) EXPECT_TRUE(types.count(expected)) << expected;
  EXPECT_GT(veltrina::ChatManager::DefaultManager()->NumUnreadInCurrentTeam().num_unread, 0u);
  auto bot = veltrina::ServiceManager::DefaultManager()->FetchServiceFromCacheByServiceId("s-quibo");
  ASSERT_TRUE(bot);
  EXPECT_EQ(bot->name(), "quibo");
  EXPECT_EQ(bot->display_name(), "小柚");
  std::set<int> presence;
  for (const auto& u : veltrina::UserManager::DefaultManager()->FetchUsersFromCache()) presence.insert(u->status());
  EXPECT_EQ(presence.size(), 4u);
}

TEST_F(DemoFlows, MessageRoundTripAndTheBotsAnswer) {
  SignInAndLoad("alice", "veltrina");
  auto sent = Send(*veltrina::Message::TextMessageForChannel("c-general", "大家好 <@u-bob> [https://veltrina.demo|site]"));
  ASSERT_TRUE(sent);
  EXPECT_FALSE(sent->key().empty());
  EXPECT_EQ(sent->uid(), "u-alice");
  auto page = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-general", 0, 2147483647, 20, nullptr,
                                                                             nullptr, false);
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(page.back()->key(), sent->key());

  class BotListener : public veltrina::MessageHandler {
   public:
    void HandleDirectMessage(const veltrina::Message& m) override {
      if (m.uid() == "u-quibo") answer.Set(m.content());
    }
    Slot<std::string> answer;
  } listener;
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(&listener);
  auto question = Send(*veltrina::Message::TextMessageForIM("im-alice-quibo", "u-quibo", "/help"));
  ASSERT_TRUE(question);
  ASSERT_TRUE(listener.answer.Wait());
  EXPECT_NE(listener.answer.Get().find("/help"), std::string::npos);
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&listener);

  // Too long a text and a conversation the user does not see are refused.
  EXPECT_FALSE(Send(*veltrina::Message::TextMessageForChannel("c-general", std::string(40000, 'x'))));
  EXPECT_FALSE(Send(*veltrina::Message::TextMessageForChannel("g-ops", "secret")));
  EXPECT_TRUE(Send(*veltrina::Message::TextMessageForChannel("c-general", "\xff\xfe invalid")));
}

TEST_F(DemoFlows, AJoinedChannelAnnouncesItselfWithAMessage) {
  SignInAndLoad("alice", "veltrina");
  auto* channels = veltrina::ChannelManager::DefaultManager();
  auto joinable = channels->FetchChannelsFromCache(1, false, false);
  ASSERT_FALSE(joinable.empty());
  std::string id = joinable[0]->channel_id();
  class Listener : public veltrina::MessageHandler {
   public:
    void HandleChannelMessage(const veltrina::Message& m) override { channel.Set(m.ChannelID()); }
    Slot<std::string> channel;
  } listener;
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(&listener);
  Slot<bool> joined;
  channels->JoinChannel(id, [&](bool ok, const std::string&) { joined.Set(ok); });
  ASSERT_TRUE(joined.Wait());
  EXPECT_TRUE(joined.Get());
  ASSERT_TRUE(listener.channel.Wait());
  EXPECT_EQ(listener.channel.Get(), id);
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&listener);
  EXPECT_TRUE(channels->FetchChannelFromCacheByChannelId(id)->is_member());
  // Leaving: every channel but the general one.
  Slot<bool> left;
  channels->LeaveChannel(id, [&](bool ok, const std::string&) { left.Set(ok); });
  ASSERT_TRUE(left.Wait());
  EXPECT_TRUE(left.Get());
  EXPECT_FALSE(channels->FetchChannelFromCacheByChannelId(id)->is_member());
  Slot<bool> general;
  channels->LeaveChannel("c-general", [&](bool ok, const std::string&) { general.Set(ok); });
  ASSERT_TRUE(general.Wait());
  EXPECT_FALSE(general.Get());
}

TEST_F(DemoFlows, FilesPageAndImagesAreServed) {
  SignInAndLoad("alice", "veltrina");
  auto* entities = veltrina::Director::DefaultDirector()->entity_manager();
  auto page = [&](int number, int type) {
    Slot<std::pair<size_t, int>> slot;
    entities->GetEntitiesByChannelId("c-design", 1, type, "", number, 20,
                                     [&](bool, const std::string&, std::vector<std::unique_ptr<veltrina::Entity>> list,
                                         int total) { slot.Set({list.size(), total}); });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  auto first = page(1, 0);
  EXPECT_EQ(first.first, 20u);
  EXPECT_GT(first.second, 20);
  EXPECT_EQ(page(2, 0).first, static_cast<size_t>(std::min(first.second - 20, 20)));
  EXPECT_GT(page(1, 5).first, 0u);
  EXPECT_GT(page(1, 8).first, 0u);
  EXPECT_GT(page(1, 7).first, 0u);
  EXPECT_EQ(page(2147483647, 0).first, 0u);  // far past the end
  EXPECT_EQ(page(-5, 0).first, 20u);         // taken as the first page

  auto get = [](const std::string& url) {
    Slot<std::pair<bool, std::string>> slot;
    veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest(url), [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
      slot.Set({ok, r->raw_data()});
    });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  auto avatar = get("https://storage.veltrina.demo/vtavatar/avalice_80x80.png");
  EXPECT_TRUE(avatar.first);
  ASSERT_GT(avatar.second.size(), 24u);
  EXPECT_EQ(avatar.second.substr(1, 3), "PNG");
  EXPECT_EQ(static_cast<unsigned char>(avatar.second[19]), 80u);  // width in the header
  EXPECT_TRUE(get("https://storage.veltrina.demo/vtstatic/quibo.png").first);
  EXPECT_TRUE(get("https://files.veltrina.demo/thumb/f/e-1001_80x60.png").first);
  EXPECT_FALSE(get("https://files.veltrina.demo/thumb/f/e-1001_0x0.png").first);
  EXPECT_FALSE(get("https://files.veltrina.demo/no/such.file").first);
}

TEST_F(DemoFlows, LifeMovesTheTeam) {
  SignInAndLoad("alice", "veltrina");
  class Counter : public veltrina::MessageHandler, public veltrina::UserStatusHandler, public veltrina::NumUnreadHandler {
   public:
    void HandleMessage(const veltrina::Message&) override { ++events; }
    void HandleUserStatusChanged(const std::string&, int) override { ++events; }
    void HandleNumUnreadChanged(const std::string&, veltrina::_NumUnread) override { ++events; }
    std::atomic<int> events{0};
  } counter;
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(&counter);
  veltrina::ChatManager::DefaultManager()->AddNumUnreadHandler(&counter);
  veltrina::UserManager::DefaultManager()->AddUserStatusHandler(&counter);
  for (int i = 0; i < 20; ++i) demo_->LifeStepForTests();
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  EXPECT_GT(counter.events.load(), 5);
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&counter);
  veltrina::ChatManager::DefaultManager()->RemoveNumUnreadHandler(&counter);
  veltrina::UserManager::DefaultManager()->RemoveUserStatusHandler(&counter);
}

}  // namespace

namespace {

TEST(DemoLife, RunsOnItsOwnAtTheConfiguredPace) {
  core_test::TempFolder folder;
  veltrina::backend::DemoOptions options;
  options.data_folder = folder.path();
  options.life_interval = std::chrono::milliseconds(20);
  options.connection_drop_interval = std::chrono::milliseconds(30);
  veltrina::backend::InstallService(std::make_shared<veltrina::backend::DemoService>(options));
  core_test::SignInAndLoad("alice", "veltrina");
  class Watcher : public veltrina::MessageHandler, public veltrina::ConnectionStateHandler {
   public:
    void HandleMessage(const veltrina::Message&) override { ++messages; }
    void HandleConnectionStateChanged(int state) override {
      if (state == 1) ++drops;
    }
    std::atomic<int> messages{0};
    std::atomic<int> drops{0};
  } watcher;
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(&watcher);
  veltrina::Director::DefaultDirector()->AddConnectionStateHandler(&watcher);
  EXPECT_TRUE(core_test::WaitUntil([&] { return watcher.messages > 2 && watcher.drops > 0; }));
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&watcher);
  veltrina::Director::DefaultDirector()->RemoveConnectionStateHandler(&watcher);
  veltrina::backend::InstallService(std::make_shared<veltrina::backend::ScriptedService>());  // stops the life
}

}  // namespace

namespace {

TEST(DemoConcurrency, ManySendersLoseNothing) {
  core_test::TempFolder folder;
  core_test::InstallDemo(folder.path());
  core_test::SignInAndLoad("alice", "veltrina");
  std::atomic<int> stored{0};
  std::mutex mutex;
  std::set<std::string> keys;
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 15; ++i) {
        auto m = veltrina::Message::TextMessageForChannel("c-dev", "thread " + std::to_string(t) + " #" + std::to_string(i));
        veltrina::ChatManager::DefaultManager()->SendMessageW(*m, [&](bool ok, std::unique_ptr<veltrina::Message> s) {
          if (!ok || !s) return;
          std::lock_guard<std::mutex> lock(mutex);
          keys.insert(s->key());
          ++stored;
        });
      }
    });
  }
  for (auto& s : senders) s.join();
  EXPECT_TRUE(core_test::WaitUntil([&] { return stored.load() == 60; }));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(keys.size(), 60u);
  auto cached = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-dev", 0, 2147483647, 1000, nullptr,
                                                                               nullptr, false);
  EXPECT_GE(cached.size(), 60u);
}

}  // namespace
