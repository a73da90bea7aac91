// The demo service's flows and content through the public calls: sign-in, messages, the bot,
// channels, files and pictures, the life.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>

#include "demo_support.h"

namespace {

using namespace core_test;
using veltrina::WebApi;

struct Demo : ::testing::Test {
  void SetUp() override { InstallDemo(folder_.path()); }
  TempFolder folder_;
};

TEST_F(Demo, SignInCodesPasswordsAndSwitches) {
  const std::pair<const char*, const char*> lookups[] = {{"demo", "t-demo"}, {"acme", "t-acme"}, {"nope", "404"}, {"unreachable", "-1"}};
  for (auto [subdomain, answer] : lookups)
    EXPECT_EQ(Ask<std::string>([&](auto done) {
                WebApi::Api()->GetTeamLiteBySubdomain(subdomain, [done](bool ok, int64_t code, auto& id, auto&, auto&) {
                  done(ok ? id : std::to_string(code));
                });
              }), answer);
  EXPECT_EQ(Login("carol", "veltrina", "t-acme"), 200);
  const std::tuple<const char*, const char*, int> logins[] = {
      {"alice", "wrong", 8000}, {"nobody", "veltrina", 8000}, {"unreachable", "x", -1}, {"alice", "veltrina", 200}, {"newbie", "init1234", 201}};
  for (auto [user, password, code] : logins) EXPECT_EQ(Login(user, password), code) << user;
  EXPECT_FALSE(Succeeds([](auto d) { WebApi::Api()->PutInitPassword("12345", d); }));  // five bytes are too few
  EXPECT_TRUE(Succeeds([](auto d) { WebApi::Api()->PutInitPassword("密码", d); }));    // six bytes of UTF-8
  EXPECT_EQ(Login("newbie", "init1234"), 8000);
  EXPECT_EQ(Login("newbie", "密码"), 200);
  auto permission = [] { return Ask<int64_t>([](auto done) { WebApi::Api()->GetPermisson([done](bool, auto&, int64_t p) { done(p); }); }); };
  Login("alice", "veltrina");
  EXPECT_EQ(permission() & 0x4006, 0x4006);
  Login("bob", "veltrina");
  EXPECT_EQ(permission(), 0);
  EXPECT_FALSE(Succeeds([](auto d) { veltrina::ChannelManager::DefaultManager()->CreateChannel("bob's", "", 1, {}, d); }));
  // The client version: the config file, the environment over it, a broken file changes nothing.
  auto version = [] {
    return Ask<int64_t>([](auto done) {
      WebApi::Api()->GetClientVersion([done](bool, int64_t, int64_t code, auto&, auto&, bool, int64_t, auto&, auto&) { done(code); });
    });
  };
  EXPECT_LT(version(), 4);
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder_.File("demo-config.json"), R"({"client_version_code": 5})"));
  EXPECT_EQ(version(), 5);
  _putenv_s("VELTRINA_DEMO_VERSION_CODE", "4");
  EXPECT_EQ(version(), 4);
  _putenv_s("VELTRINA_DEMO_VERSION_CODE", "");
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder_.File("demo-config.json"), "{oops"));
  EXPECT_LT(version(), 4);
}

// Every kind of message the client renders is there, each card with what its renderer reads, and
// every avatar and thumbnail is a picture.
TEST_F(Demo, ContentCoversWhatTheClientShows) {
  SignInAndLoad("alice", "veltrina");
  std::set<int> kinds;
  for (const auto& m : Cached("c-general")) {
    kinds.insert(m->message_type() * 10 + m->sender_type());
    veltrina::Entity e;
    const bool card = e.InitWithJsonOrDie(m->entity_json()), image = m->message_type() == veltrina::Message::kImage;
    const int type = m->message_type();
    const std::string thumb = image ? Get(std::string(veltrina::kFileBoxUrl) + "/thumb/" + e.path() + "_80x60.png") : "?PNG";
    EXPECT_EQ(thumb.substr(1, 3), "PNG") << m->key();
    EXPECT_EQ(type != 32 ? 7u : m->GetAttachment() ? m->GetAttachment()->color().size() : 0u, 7u) << m->key();
    const bool needs_card = m->sender_type() == 3 || (type >= 5 && type <= 8) || type == 12 || type == 22;
    EXPECT_TRUE(!needs_card || (card && !(e.path() + e.public_url() + e.subject() + e.title()).empty())) << m->key();
  }
  for (int kind : {11, 31, 51, 61, 71, 81, 121, 221, 322, 13, 42, 991}) EXPECT_TRUE(kinds.count(kind)) << kind;
  for (const auto& u : veltrina::UserManager::DefaultManager()->FetchUsersFromCache()) {
    const std::string name = u->header_url();
    EXPECT_EQ(Get(std::string(veltrina::kStorageBaseUrl) + "/vtavatar/" + name.substr(0, name.find('.')) + "_40x40" +
                  name.substr(name.find('.'))).substr(1, 3), "PNG") << u->uid();
  }
  for (const auto& s : veltrina::ServiceManager::DefaultManager()->FetchServicesFromCache())
    EXPECT_EQ(Get(std::string(veltrina::kStorageBaseUrl) + "/vtstatic/" + s->avatar_url()).substr(1, 3), "PNG");
  EXPECT_TRUE(Get("https://files.veltrina.demo/thumb/f/e-1001_0x0.png").empty());
  EXPECT_TRUE(Get("https://files.veltrina.demo/no/such.file").empty());
  auto page = [&](int number, int type) {
    return Ask<int>([&](auto done) {
      veltrina::Director::DefaultDirector()->entity_manager()->GetEntitiesByChannelId(
          "c-design", 1, type, "", number, 20, [done](bool, auto&, auto list, int) { done(static_cast<int>(list.size())); });
    });
  };
  EXPECT_EQ(page(1, 0), 20);
  EXPECT_GT(page(2, 0), 0);
  EXPECT_EQ(page(-5, 0), 20);  // taken as the first page
  EXPECT_EQ(page(2147483647, 0), 0);
  for (int type : {5, 7, 8}) EXPECT_GT(page(1, type), 0) << type;
}

TEST_F(Demo, MessagesChannelsChatsAndTheBot) {
  SignInAndLoad("alice", "veltrina");
  struct Listener : veltrina::MessageHandler {
    void HandleMessage(const veltrina::Message& m) override { (m.uid() == "u-quibo" ? bot : notice).Set(m.content()); }
    Slot<std::string> bot, notice;
  } listener;
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(&listener);
  ASSERT_TRUE(Send("im-alice-quibo", "/help", "u-quibo"));
  EXPECT_TRUE(listener.bot.Wait() && listener.bot.Get().find("/help") != std::string::npos);
  auto* channels = veltrina::ChannelManager::DefaultManager();
  const std::string id = channels->FetchChannelsFromCache(1, false, false).at(0)->channel_id();
  EXPECT_TRUE(Succeeds([&](auto d) { channels->JoinChannel(id, d); }));
  ASSERT_TRUE(listener.notice.Wait());  // the joined channel announces itself
  veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(&listener);
  EXPECT_TRUE(channels->FetchChannelFromCacheByChannelId(id)->is_member());
  EXPECT_TRUE(Succeeds([&](auto d) { channels->LeaveChannel(id, d); }));
  EXPECT_FALSE(channels->FetchChannelFromCacheByChannelId(id)->is_member());
  EXPECT_FALSE(Succeeds([&](auto d) { channels->LeaveChannel("c-general", d); }));
  EXPECT_TRUE(Succeeds([&](auto d) { channels->InviteToChannel("c-random", "u-zhaomin", d); }));
  const std::string im = Ask<std::string>([](auto done) {
    veltrina::IMManager::DefaultManager()->NewIM("u-zhaomin", [done](bool, auto&, auto i) { done(i ? i->im_id() : ""); });
  });
  ASSERT_TRUE(veltrina::IMManager::DefaultManager()->FetchImFromCacheByImId(im));
  EXPECT_TRUE(Succeeds([&](auto d) { veltrina::IMManager::DefaultManager()->CloseIM(im, d); }));
  for (const auto& i : veltrina::IMManager::DefaultManager()->FetchImsFromCache()) EXPECT_NE(i->im_id(), im);
  // Too long a text and a conversation the user does not see are refused; bad UTF-8 is mended.
  EXPECT_FALSE(Send("c-general", std::string(40000, 'x')));
  EXPECT_FALSE(Send("g-ops", "secret"));
  EXPECT_TRUE(Send("c-general", "\xff\xfe invalid"));
}

TEST_F(Demo, LifeMovesTheTeamOnItsOwnAtTheConfiguredPace) {
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(
      folder_.File("demo-config.json"), R"({"life_interval_ms": 100, "connection_drop_interval_ms": 150})"));
  InstallDemo(folder_.path());
  SignInAndLoad("alice", "veltrina");
  struct Counter : veltrina::MessageHandler, veltrina::UserStatusHandler, veltrina::ConnectionStateHandler {
    void HandleMessage(const veltrina::Message&) override { ++events; }
    void HandleUserStatusChanged(const std::string&, int) override { ++events; }
    void HandleConnectionStateChanged(int state) override { drops += state == 1; }
    std::atomic<int> events{0}, drops{0};
  } counter;
  auto* chat = veltrina::ChatManager::DefaultManager();
  auto* users = veltrina::UserManager::DefaultManager();
  auto* director = veltrina::Director::DefaultDirector();
  chat->AddMessageHandler(&counter), users->AddUserStatusHandler(&counter);
  director->AddConnectionStateHandler(&counter);
  EXPECT_TRUE(WaitUntil([&] { return counter.events > 5 && counter.drops > 0; }));
  chat->RemoveMessageHandler(&counter), users->RemoveUserStatusHandler(&counter);
  director->RemoveConnectionStateHandler(&counter);
}

}  // namespace
