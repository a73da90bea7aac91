// The demo service's flows and content through the public calls: sign-in, messages, the bot,
// channels, files and pictures, the life.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <regex>
#include <set>

#include "demo_support.h"

#include <psapi.h>  // after windows.h

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

// The large team, asked directly of a service on `folder` (config written there), as alice.
struct Large {
  explicit Large(const TempFolder& folder) {
    veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("demo-config.json"),
                                                                R"({"team_size": "large", "large_team_seed": 7})");
    service = std::make_unique<veltrina::backend::DemoService>(DemoIn(folder.path()));
    login = (*this)("auth.login", R"({"username": "alice", "password": "veltrina", "team_subdomain": "demo"})");
  }
  std::string operator()(const std::string& method, const std::string& params = "{}") { return Request(*service, method, params); }
  std::unique_ptr<veltrina::backend::DemoService> service;
  std::string login;
};

int Occurrences(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// Committed private memory (Wine reports it as the page file usage only).
int64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return static_cast<int64_t>(std::max(counters.PrivateUsage, counters.PagefileUsage));
}

TEST(DemoLarge, IsReproducibleFromItsSeedAndHasItsSizes) {
  TempFolder folder, again, other;
  auto take = [&](const TempFolder& f) {
    const int64_t before = PrivateBytes();
    Large large(f);
    const int64_t grown = PrivateBytes() - before;
    EXPECT_EQ(large.login.find("error"), std::string::npos) << large.login;
    EXPECT_LT(grown, 12 << 20);  // what the history would take, were it stored
    std::string saved;
    veltrina::FileUtils::SharedFileUtils()->ReadFile(f.File("demo-service-large.json"), &saved);
    EXPECT_EQ(saved.find("u-x"), std::string::npos);  // generated records are never written out
    std::array<std::string, 4> lists{large("users.list"), large("channels.list"), large("ims.list"), large("messages.sync")};
    return lists;
  };
  const auto first = take(folder);
  EXPECT_EQ(first, take(folder));  // regenerated byte for byte after a restart
  EXPECT_EQ(first[0], take(again)[0]);
  _putenv_s("VELTRINA_DEMO_SEED", "8");  // the environment wins over the file
  EXPECT_NE(first[0], take(other)[0]);
  _putenv_s("VELTRINA_DEMO_SEED", "");
  _putenv_s("VELTRINA_DEMO_TEAM_SIZE", "huge");  // not a size: the small team
  EXPECT_LT(Occurrences(Large(other)("users.list"), "\"uid\":"), 100);
  _putenv_s("VELTRINA_DEMO_TEAM_SIZE", "");
  const auto& [users, channels, ims, sync] = first;
  EXPECT_GE(Occurrences(users, "\"uid\":"), 3000);
  EXPECT_GE(Occurrences(users, "\"display_name\":\"王"), 10);
  EXPECT_GE(Occurrences(channels, "\"channel_id\":"), 400);
  EXPECT_EQ(channels.substr(channels.find("\"channel_id\":") + 13, 11), "\"c-general\"");
  EXPECT_GE(Occurrences(ims, "\"im_id\":\"im-x"), 250);
  for (const char* kind : {"\"message_type\":5,", "\"message_type\":6,", "\"message_type\":7,", "\"message_type\":8,",
                           "\"message_type\":12,", "\"message_type\":22,", "\"message_type\":32,", "\"message_type\":3,",
                           "\"sender_type\":3,", "[https://"})
    EXPECT_GE(Occurrences(sync, kind), 10) << kind;
  for (const auto& [user, password] : {std::pair{"bob", "veltrina"}, {"newbie", "init1234"}, {"lilei", "veltrina"}}) {
    Large large(folder);
    EXPECT_EQ(large("auth.login", R"({"username": ")" + std::string(user) + R"(", "password": ")" + password + R"(", "team_subdomain": "demo"})").find("error"), std::string::npos) << user;
  }
}

// Deep history: the files of a whole conversation page, an old share is there to get, download and
// comment on; read marks and new messages move the counts, which a restart counts again the same.
TEST(DemoLarge, DeepHistoryPagesAndReadMarksMoveTheCounts) {
  TempFolder folder;
  auto large = std::make_unique<Large>(folder);
  const std::string deep = (*large)("entities.list", R"({"channel_id": "c-x002", "page": 3, "page_size": 10})");
  std::smatch oldest;
  ASSERT_TRUE(std::regex_search(deep, oldest, std::regex(R"re("entity_id":"(e-c-x002\.\d+)")re"))) << deep;
  const std::string id = oldest[1];
  EXPECT_NE((*large)("entities.get", R"({"entity_id": ")" + id + "\"}").find(id), std::string::npos);
  const std::regex key(R"re("key":"([^"]+)")re");
  auto keys_of = [&](const std::string& page) {  // oldest first
    std::vector<std::string> out;
    for (auto k = std::sregex_iterator(page.begin(), page.end(), key); k != std::sregex_iterator(); ++k) out.push_back((*k)[1]);
    return out;
  };
  // Paging back through the whole conversation, 200 at a time: every message once, down to the first.
  std::set<std::string> keys;
  size_t messages = 0;
  for (std::vector<std::string> page{""};;) {
    page = keys_of((*large)("messages.history", R"({"channel_id": "c-x002", "count": 200, "before": ")" + page[0] + "\"}"));
    if (page.empty()) break;
    keys.insert(page.begin(), page.end()), messages += page.size();
  }
  EXPECT_GE(messages, 150u);
  EXPECT_EQ(keys.size(), messages);
  EXPECT_TRUE(keys.count("c-x002.0"));
  // Before a stored message: the page ends with the one before it. Only members read a conversation.
  const std::vector<std::string> leads = keys_of((*large)("messages.history", R"({"channel_id": "g-leads", "count": 50})"));
  ASSERT_GE(leads.size(), 2u);
  const std::vector<std::string> older =
      keys_of((*large)("messages.history", R"({"channel_id": "g-leads", "count": 50, "before": ")" + leads.back() + "\"}"));
  ASSERT_FALSE(older.empty());
  EXPECT_EQ(older.back(), leads[leads.size() - 2]);
  EXPECT_EQ((*large)("messages.history", R"({"channel_id": "g-ops", "count": 50})"), "error 404");  // bob's and chenjie's
  EXPECT_NE((*large)("http.get", R"({"url": "https://files.veltrina.demo/f/)" + id + ".png\"}").find("error"), 0u);
  EXPECT_EQ((*large)("entities.get", R"({"entity_id": "e-c-x002.99999"})"), "error 404");
  EXPECT_EQ((*large)("entities.comment", R"({"entity_id": ")" + id + R"(", "content": "old but gold"})").find("error"), std::string::npos);
  const std::string pages = (*large)("entities.list", R"({"channel_id": "c-x002", "page": 1, "page_size": 100})");
  EXPECT_EQ(Occurrences(pages, "\"path\":\"f/" + id + "\"") + Occurrences(pages, "old but gold"), 2);  // once, with its comment
  // A conversation that starts unread; reading it, then a post of bob's in #general.
  std::string unread = (*large)("messages.unread");
  std::smatch some;
  ASSERT_TRUE(std::regex_search(unread, some, std::regex(R"re(\{"channel_id":"(c-x\d+)","num_new":\d+,"num_unread":[1-9])re")));
  const std::string read = some[1];
  EXPECT_EQ((*large)("messages.mark_read", R"({"channel_id": ")" + read + R"(", "time": )" + std::to_string(std::time(nullptr)) + "}"), "{}");
  auto counts = [&](const std::string& conversation) {
    const std::string all = (*large)("messages.unread");
    const size_t at = all.find("\"channel_id\":\"" + conversation + "\"");
    return at == std::string::npos ? std::string("none") : all.substr(at, all.find('}', at) - at);
  };
  EXPECT_EQ(counts(read), "\"channel_id\":\"" + read + "\",\"num_new\":0,\"num_unread\":0");
  // A read mark from a clock far ahead (2100) would hide everything written until then: it is kept near now.
  EXPECT_EQ((*large)("messages.mark_read", R"({"channel_id": ")" + read + R"(", "time": 4102444800})"), "{}");
  const std::string general = counts("c-general");
  (*large)("auth.login", R"({"username": "bob", "password": "veltrina", "team_subdomain": "demo"})");
  (*large)("messages.send", R"({"message": {"channel_id": "c-general", "content": "hello all"}})");
  (*large)("auth.login", R"({"username": "alice", "password": "veltrina", "team_subdomain": "demo"})");
  EXPECT_NE(counts("c-general"), general);
  unread = (*large)("messages.unread");
  large.reset();
  std::string state;
  veltrina::FileUtils::SharedFileUtils()->ReadFile(folder.File("demo-service-large.json"), &state);
  EXPECT_NE(state.find("\"cursors\""), std::string::npos);
  EXPECT_EQ(state.find("4102444800"), std::string::npos);
  large = std::make_unique<Large>(folder);  // counted again from the stored cursors and messages
  EXPECT_EQ((*large)("messages.unread"), unread);
}

}  // namespace
