// The caches kept on disk between runs, and the bound on the messages kept in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "scripted_fixture.h"
#include "test_support.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/server_key.h"
#include "veltrina/veltrina.h"

namespace {

using namespace veltrina::backend;

veltrina::Channel MakeChannel(const std::string& id) {
  veltrina::Channel c;
  c.set_channel_id(id), c.set_type(veltrina::Channel::kPublic), c.set_is_member(true);
  return c;
}

veltrina::User MakeUser(const std::string& uid, int status) {
  veltrina::User u;
  u.set_uid(uid), u.set_status(status);
  return u;
}

veltrina::Message MakeMessage(const std::string& channel, int t) {
  veltrina::Message m;
  m.set_key(channel + "-k" + std::to_string(t)), m.set_channel_id(channel), m.set_timestamp(1000 + t);
  return m;
}

class DiskCacheTest : public core_test::ScriptedTest {
 protected:
  // A new process's view: another service (empty caches), then Init for a team and user.
  bool Restart(const std::string& uid, const std::string& server = std::string()) {
    service_ = std::make_shared<ScriptedService>();
    InstallService(service_);
    director_ = std::make_unique<veltrina::Director>();
    veltrina::Team team("t/1", "one", "One");
    team.set_server(server);
    director_->Init(MakeUser(uid, 0), team, 0, veltrina::Token(), folder_.path(), "", "", "", "");
    return director_->restored_from_disk();
  }
  std::string Channels() {
    std::string out;
    for (const auto& c : channels_->FetchChannelsFromCache(1, true, false)) out += c->channel_id() + " ";
    return out;
  }
  size_t Messages(const std::string& id) {
    return chat_->FetchMessagesFromCache(id, 0, 2147483647, 1000, nullptr, nullptr, false).size();
  }

  core_test::TempFolder folder_;
  std::unique_ptr<veltrina::Director> director_;
  veltrina::ChatManager* chat_ = veltrina::ChatManager::DefaultManager();
  veltrina::ChannelManager* channels_ = veltrina::ChannelManager::DefaultManager();
  veltrina::UserManager* users_ = veltrina::UserManager::DefaultManager();
};

TEST_F(DiskCacheTest, SecondInitOfTheSameTeamAndUserAnswersFromDiskUntilTheServiceReplacesIt) {
  EXPECT_FALSE(Restart("u-1"));
  users_->GetTeamMembers(nullptr);
  Answer("users.list", UsersBody({MakeUser("u-1", 2)}));
  channels_->GetChannels(false, nullptr);
  Answer("channels.list", ChannelsBody({MakeChannel("c-1"), MakeChannel("c-2"), MakeChannel("c-3")}));
  veltrina::IM im;
  im.set_im_id("im-1");
  veltrina::IMManager::DefaultManager()->GetIMs(nullptr);
  Answer("ims.list", ImsBody({im}));
  std::vector<veltrina::Message> sync;
  for (int t = 0; t < 30; ++t) sync.push_back(MakeMessage(t < 25 ? "c-1" : "c-2", t));
  sync.push_back(MakeMessage("im-1", 40));
  chat_->SyncRecentMessagesWithServer(20, nullptr);
  Answer("messages.sync", MessagesBody(sync));
  chat_->GetNumUnreadFromServer(nullptr);
  Answer("messages.unread", UnreadBody({{"c-2", 3, 1}, {"c-3", 4, 4}}));
  director_->set_permission(6);
  EXPECT_EQ(Messages("im-1"), 1u);  // read: kept on disk; c-2 is neither read nor the first channel
  ASSERT_TRUE(core_test::WaitUntil([&] { return std::filesystem::exists(folder_.File("cache-t%2F1-u-1.json")); }));

  EXPECT_FALSE(Restart("u-2"));  // another user's caches stay apart
  EXPECT_EQ(Channels() + std::to_string(director_->permission()), "0");
  ASSERT_TRUE(Restart("u-1"));
  EXPECT_EQ(Channels(), "c-1 c-2 c-3 ");
  EXPECT_EQ(director_->permission(), 6);
  ASSERT_EQ(users_->FetchUsersFromCache().size(), 1u);
  EXPECT_EQ(users_->FetchUserFromCacheByUid("u-1")->status(), veltrina::User::kOffline);  // presence is not kept
  EXPECT_EQ(veltrina::IMManager::DefaultManager()->FetchImsFromCache().size(), 1u);
  EXPECT_EQ(Messages("c-1") * 100 + Messages("c-2") * 10 + Messages("im-1"), 2001u);  // the latest page
  EXPECT_EQ(chat_->FetchMessagesFromCache("c-1", 0, 2147483647, 1, nullptr, nullptr, false)[0]->key(), "c-1-k24");
  EXPECT_EQ(chat_->NumUnreadInCurrentTeam().num_unread, 7u);

  channels_->GetChannels(false, nullptr);
  Answer("channels.list", ChannelsBody({MakeChannel("c-1"), MakeChannel("c-3")}));
  chat_->GetNumUnreadFromServer(nullptr);
  Answer("messages.unread", UnreadBody({{"c-1", 1, 1}}));
  EXPECT_EQ(Channels(), "c-1 c-3 ");
  EXPECT_EQ(chat_->NumUnreadInCurrentTeam().num_unread, 1u);  // counts only the disk knew are gone
}

TEST_F(DiskCacheTest, DiskKeepsTheFiftyConversationsReadMostRecently) {
  EXPECT_FALSE(Restart("u-1"));
  auto id = [](int c) { return "c-" + std::to_string(c); };
  std::vector<veltrina::Message> sync;
  for (int c = 0; c < 52; ++c) sync.push_back(MakeMessage(id(c), c));
  chat_->SyncRecentMessagesWithServer(20, nullptr);
  Answer("messages.sync", MessagesBody(sync));
  for (int c = 0; c < 52; ++c) ASSERT_EQ(Messages(id(c)), 1u);  // read in this order: c-0 the longest ago
  const std::string file = folder_.File("cache-t%2F1-u-1.json");
  ASSERT_TRUE(core_test::WaitUntil([&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()).find("c-51-k51") != std::string::npos;
  })) << "the conversation read last is on disk";
  ASSERT_TRUE(Restart("u-1"));
  std::string kept;
  for (int c = 0; c < 52; ++c) kept += std::to_string(Messages(id(c)));
  EXPECT_EQ(kept, "00" + std::string(50, '1'));
}

TEST_F(DiskCacheTest, AnOkAnswerWithoutItsListFailsAndKeepsTheCachesInMemoryAndOnDisk) {
  EXPECT_FALSE(Restart("u-1"));
  users_->GetTeamMembers(nullptr);
  Answer("users.list", UsersBody({MakeUser("u-1", 2), MakeUser("u-2", 1)}));
  channels_->GetChannels(false, nullptr);
  Answer("channels.list", ChannelsBody({MakeChannel("c-1"), MakeChannel("c-2")}));
  veltrina::IM im;
  im.set_im_id("im-1");
  veltrina::IMManager::DefaultManager()->GetIMs(nullptr);
  Answer("ims.list", ImsBody({im}));
  std::vector<veltrina::Service> services(1);
  services[0].set_service_id("s-1");
  veltrina::ServiceManager::DefaultManager()->GetServices(nullptr);
  Answer("services.list", ServicesBody(services));
  chat_->SyncRecentMessagesWithServer(20, nullptr);
  Answer("messages.sync", MessagesBody({MakeMessage("c-1", 1), MakeMessage("c-1", 2)}));
  chat_->GetNumUnreadFromServer(nullptr);
  Answer("messages.unread", UnreadBody({{"c-2", 3, 1}}));
  auto picture = [&] {
    return std::to_string(users_->FetchUsersFromCache().size()) + "|" + Channels() + "|" +
           std::to_string(veltrina::IMManager::DefaultManager()->FetchImsFromCache().size()) + "|" +
           std::to_string(veltrina::ServiceManager::DefaultManager()->FetchServicesFromCache().size()) + "|" +
           std::to_string(Messages("c-1")) + "|" + std::to_string(chat_->NumUnreadInCurrentTeam().num_unread) + "|" +
           std::to_string(users_->FetchUserFromCacheByUid("u-1") ? users_->FetchUserFromCacheByUid("u-1")->status() : -1);
  };
  const std::string before = picture();
  ASSERT_EQ(before, "2|c-1 c-2 |1|1|2|3|2");

  std::string outcome;  // written on the core thread, read once it is idle
  auto report = [&](bool ok, const std::string& error) { outcome = ok ? "ok" : error; };
  const std::pair<const char*, std::function<void()>> calls[] = {
      {"users", [&] { users_->GetTeamMembers([&](bool ok, auto& e, auto) { report(ok, e); }); }},
      {"statuses", [&] { users_->GetUsersStatus(report); }},
      {"services",
       [&] { veltrina::ServiceManager::DefaultManager()->GetServices([&](bool ok, auto& e, auto) { report(ok, e); }); }},
      {"channels", [&] { channels_->GetChannels(false, [&](bool ok, auto& e, auto) { report(ok, e); }); }},
      {"ims", [&] { veltrina::IMManager::DefaultManager()->GetIMs([&](bool ok, auto& e, auto) { report(ok, e); }); }},
      {"unread", [&] { chat_->GetNumUnreadFromServer(report); }},
      {"messages", [&] { chat_->SyncRecentMessagesWithServer(20, report); }},
      {"entities", [&] {
         veltrina::EntityManager().GetEntitiesByChannelId("c-1", 1, 0, "", 1, 20,
                                                          [&](bool ok, auto& e, auto, int) { report(ok, e); });
       }},
  };
  for (const auto& [list, call] : calls) {
    for (const std::string& body : {std::string("{}"), std::string(), "{\"" + std::string(list) + "\":{\"0\":{}}}",
                                     "{\"" + std::string(list) + "\":null}", std::string("{\"other\":[]}")}) {
      outcome = "none";
      call();
      auto request = service_->WaitForRequest("");
      ASSERT_TRUE(request) << list;
      service_->Succeed(request->id, body);
      ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
      EXPECT_EQ(outcome, "the answer holds no list of " + std::string(list)) << body;
      EXPECT_EQ(picture(), before) << list << " " << body;
    }
  }
  director_->SaveCaches();
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  ASSERT_TRUE(Restart("u-1"));  // and nothing was lost on disk
  EXPECT_EQ(Channels() + std::to_string(veltrina::IMManager::DefaultManager()->FetchImsFromCache().size()) +
                std::to_string(users_->FetchUsersFromCache().size()) + std::to_string(Messages("c-1")),
            "c-1 c-2 122");

  // A list that is there but empty is an empty list.
  channels_->GetChannels(false, [&](bool ok, auto& e, auto) { report(ok, e); });
  Answer("channels.list", R"({"channels":[]})");
  EXPECT_EQ(outcome + Channels(), "ok");
}

TEST_F(DiskCacheTest, FilesOfAnotherFormatOwnerOrShapeAreIgnored) {
  const std::string file = folder_.File("cache-t%2F1-u-1.json");
  auto document = [](int format, const std::string& uid, const std::string& channels) {
    return "{\"format\":" + std::to_string(format) + R"(,"team_id":"t/1","uid":")" + uid +
           R"(","permission":2,"users":[],"ims":[],"unread":[],"messages":[],"channels":)" + channels + "}";
  };
  const std::string channel = R"([{"channel_id":"c-1","type":1,"is_member":true}])";
  const std::string broken = document(1, "u-1", "[]");
  const std::string cases[] = {
      document(2, "u-1", channel), document(1, "u-1", "{}"), document(1, "u-1", "[1]"), document(1, "u-2", channel),
      broken.substr(0, broken.size() - 1), document(1, "u-1", std::string(300, '[') + std::string(300, ']')),
  };
  for (const std::string& text : cases) {
    std::ofstream(file, std::ios::binary) << text;
    EXPECT_FALSE(Restart("u-1")) << text;
    EXPECT_EQ(Channels() + std::to_string(director_->permission()), "0") << text;
  }
  std::ofstream(file, std::ios::binary) << document(1, "u-1", channel);
  EXPECT_TRUE(Restart("u-1"));  // the same file in the right shape is read
  EXPECT_EQ(Channels() + std::to_string(director_->permission()), "c-1 2");
}

// The same team id and user on two servers and on the demo: three files, none read for another;
// the demo's name is the one it always had.
TEST_F(DiskCacheTest, TheSameTeamAndUserOnAnotherServerHaveCachesOfTheirOwn) {
  const std::string a = "http://127.0.0.1:8080", b = "https://chat.example.org", c = "http://127.0.0.1:8081";
  const std::pair<std::string, std::string> servers[] = {{a, "c-a"}, {b, "c-b"}, {"", "c-demo"}};
  for (const auto& [server, channel] : servers) {
    EXPECT_FALSE(Restart("u-1", server)) << server;
    channels_->GetChannels(false, nullptr);
    Answer("channels.list", ChannelsBody({MakeChannel(channel)}));
    director_->SaveCaches();
    const std::string key = veltrina::ServerKey(server);
    const std::string name = (key.empty() ? "cache-" : "cache@" + key + "-") + "t%2F1-u-1.json";
    ASSERT_TRUE(core_test::WaitUntil([&] { return std::filesystem::exists(folder_.File(name)); })) << name;
  }
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
    names.insert(entry.path().filename().string());
  const std::set<std::string> expected{"cache-t%2F1-u-1.json",
                                       "cache@127.0.0.1_8080-" + veltrina::ServerKey(a).substr(15) + "-t%2F1-u-1.json",
                                       "cache@chat.example.org-" + veltrina::ServerKey(b).substr(17) + "-t%2F1-u-1.json"};
  EXPECT_EQ(names, expected);
  EXPECT_NE(veltrina::ServerKey(a), veltrina::ServerKey(c));
  EXPECT_EQ(veltrina::ServerKey(a).size(), 15u + 8u);
  for (const auto& [server, channel] : servers) {
    ASSERT_TRUE(Restart("u-1", server)) << server;
    EXPECT_EQ(Channels(), channel + " ") << server;
  }
  EXPECT_FALSE(Restart("u-1", c));  // a third server starts empty
  EXPECT_EQ(Channels(), "");
  EXPECT_TRUE(Restart("u-1", "HTTP://127.0.0.1:8080/"));  // the same address, written otherwise
}

TEST_F(DiskCacheTest, MemoryKeepsTheNewestMessagesAndDropsConversationsUntouchedTheLongest) {
  auto sync = [&](int first, int last, int per) {
    std::vector<veltrina::Message> list;
    for (int c = first; c < last; ++c)
      for (int t = 0; t < per; ++t) list.push_back(MakeMessage("c-" + std::to_string(c), t));
    chat_->SyncRecentMessagesWithServer(20, nullptr);
    Answer("messages.sync", MessagesBody(list));
  };
  sync(0, 1, 350);
  EXPECT_EQ(Messages("c-0"), 300u);
  EXPECT_EQ(chat_->FetchMessagesFromCache("c-0", 0, 1049, 1000, nullptr, nullptr, true).size(), 0u);  // the oldest went
  sync(1, 66, 300);                                    // 19800 in all: within the budget
  EXPECT_EQ(Messages("c-0") + Messages("c-1"), 600u);  // c-0 and c-1 read again: now the freshest
  sync(66, 68, 300);
  EXPECT_EQ(Messages("c-0") + Messages("c-1") + Messages("c-2") + Messages("c-67"), 900u);
}

}  // namespace
