// What the windows rely on: callbacks on a core thread, argument order, owned payloads, requests
// answered out of order or never, events reaching the handlers.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "test_support.h"
#include "veltrina/backend/codec.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace {

using core_test::Slot;
using veltrina::backend::InstallService;
using veltrina::backend::Reply;
using veltrina::backend::ScriptedService;
using veltrina::backend::ToJson;
using veltrina::backend::WaitForCoreIdle;

class Interface : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_shared<ScriptedService>();
    InstallService(service_);
  }
  std::shared_ptr<ScriptedService> service_;
};

veltrina::User MakeUser(const std::string& uid, const std::string& name) {
  veltrina::User u;
  u.set_uid(uid);
  u.set_user_name(name);
  u.set_display_name(name + " display");
  return u;
}

TEST_F(Interface, CallbackRunsOnACoreThreadNotTheCallersThread) {
  Slot<std::thread::id> thread;
  Slot<bool> on_core;
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [&](bool, const std::string&, std::vector<std::unique_ptr<veltrina::User>>) {
        on_core.Set(veltrina::backend::IsCoreThread());
        thread.Set(std::this_thread::get_id());
      });
  auto request = service_->WaitForRequest("users.list");
  ASSERT_TRUE(request);
  ASSERT_TRUE(service_->Succeed(request->id, R"({"users":[]})"));
  ASSERT_TRUE(thread.Wait());
  EXPECT_NE(thread.Get(), std::this_thread::get_id());
  EXPECT_TRUE(on_core.Get());
  EXPECT_FALSE(veltrina::backend::IsCoreThread());
}

TEST_F(Interface, AServiceAnsweringInsideTheCallStillCallsBackLaterOnACoreThread) {
  service_->AutoAnswer("web.permission", [](const auto&) {
    Reply r;
    r.ok = true;
    r.body = R"({"permission":16390})";
    return r;
  });
  Slot<std::thread::id> thread;
  veltrina::WebApi::Api()->GetPermisson([&](bool ok, const std::string& error, int64_t permission) {
    EXPECT_TRUE(ok);
    EXPECT_EQ(error, "");
    EXPECT_EQ(permission, 16390);
    thread.Set(std::this_thread::get_id());
  });
  // The service answered inside the call, on this thread; the callback still runs on the core's.
  EXPECT_EQ(service_->Requests("web.permission").size(), 1u);
  EXPECT_TRUE(service_->Requests("web.permission")[0].answered);
  ASSERT_TRUE(thread.Wait());
  EXPECT_NE(thread.Get(), std::this_thread::get_id());
}

TEST_F(Interface, LoginSendsItsArgumentsInOrderAndHandsOverOwnedRecords) {
  veltrina::WebApiSetting::ResetInstance(
      new veltrina::WebApiSetting("key", "secret", "2", "1", "test_device_id", "Windows store"));
  struct Result {
    bool ok = false;
    int64_t code = 0;
    std::shared_ptr<veltrina::Token> token;
    std::shared_ptr<veltrina::User> user;
  };
  Slot<Result> result;
  veltrina::Auth::SharedAuth()->PostLoginRequest(
      "lilei", "p@ss 密码", "t-1", "demo",
      [&](bool ok, int64_t code, std::unique_ptr<veltrina::Token> token, std::unique_ptr<veltrina::User> user) {
        result.Set(Result{ok, code, std::move(token), std::move(user)});
      });
  auto request = service_->WaitForRequest("auth.login");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Param("username"), "lilei");
  EXPECT_EQ(request->Param("password"), "p@ss 密码");
  EXPECT_EQ(request->Param("team_id"), "t-1");
  EXPECT_EQ(request->Param("team_subdomain"), "demo");
  EXPECT_EQ(request->Param("device_id"), "test_device_id");
  veltrina::Token token;
  token.set_access_token("tok");
  std::string body = "{\"token\":" + ToJson(token) + ",\"user\":" + ToJson(MakeUser("u-1", "lilei")) + "}";
  ASSERT_TRUE(service_->Answer(request->id, true, 201, "", body));
  ASSERT_TRUE(result.Wait());
  Result r = result.Get();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.code, 201);
  ASSERT_TRUE(r.token);
  ASSERT_TRUE(r.user);
  EXPECT_EQ(r.token->access_token(), "tok");
  EXPECT_EQ(r.user->uid(), "u-1");
  EXPECT_FALSE(service_->Answer(request->id, true, 200, "", body));  // answered once only
  EXPECT_EQ(service_->CountRequests("auth.login"), 1u);
  service_->ClearRequests();
  EXPECT_EQ(service_->Requests().size(), 0u);
}

TEST_F(Interface, FailedLoginCarriesTheCodeAndNoRecords) {
  Slot<std::pair<bool, int64_t>> result;
  Slot<bool> payload_null;
  veltrina::Auth::SharedAuth()->PostLoginRequest(
      "x", "y", "t", "s", [&](bool ok, int64_t code, std::unique_ptr<veltrina::Token> t, std::unique_ptr<veltrina::User> u) {
        payload_null.Set(!t && !u);
        result.Set({ok, code});
      });
  auto request = service_->WaitForRequest("auth.login");
  ASSERT_TRUE(request);
  service_->Fail(request->id, 8000, "wrong");
  ASSERT_TRUE(result.Wait());
  EXPECT_FALSE(result.Get().first);
  EXPECT_EQ(result.Get().second, 8000);
  EXPECT_TRUE(payload_null.Get());
}

TEST_F(Interface, TeamLookupAndVersionParametersComeInTheirOrder) {
  Slot<std::string> team;
  veltrina::WebApi::Api()->GetTeamLiteBySubdomain(
      "demo", [&](bool ok, int64_t, const std::string& id, const std::string& name, const std::string& subdomain) {
        team.Set(std::string(ok ? "ok" : "fail") + "|" + id + "|" + name + "|" + subdomain);
      });
  auto lookup = service_->WaitForRequest("team.lookup");
  ASSERT_TRUE(lookup);
  EXPECT_EQ(lookup->Param("subdomain"), "demo");
  service_->Succeed(lookup->id, R"({"team_id":"t-1","team_name":"Demo","team_subdomain":"demo"})");
  ASSERT_TRUE(team.Wait());
  EXPECT_EQ(team.Get(), "ok|t-1|Demo|demo");

  Slot<std::string> version;
  veltrina::WebApi::Api()->GetClientVersion([&](bool ok, int64_t, int64_t code, const std::string&,
                                                const std::string& description, bool, int64_t,
                                                const std::string& url, const std::string&) {
    version.Set(std::to_string(ok) + "|" + std::to_string(code) + "|" + description + "|" + url);
  });
  auto check = service_->WaitForRequest("client.version");
  ASSERT_TRUE(check);
  service_->Succeed(check->id, R"({"version_code":4,"description":"new","download_url":"https://d.demo"})");
  ASSERT_TRUE(version.Wait());
  EXPECT_EQ(version.Get(), "1|4|new|https://d.demo");
}

TEST_F(Interface, RequestsAnsweredOutOfOrderCallBackInAnswerOrder) {
  std::mutex mutex;
  std::vector<std::string> order;
  veltrina::UserManager::DefaultManager()->GetTeamMembers([&](bool ok, const std::string&, auto users) {
    std::lock_guard<std::mutex> lock(mutex);
    order.push_back("users:" + std::to_string(ok) + ":" + std::to_string(users.size()));
  });
  veltrina::ServiceManager::DefaultManager()->GetServices([&](bool ok, const std::string&, auto services) {
    std::lock_guard<std::mutex> lock(mutex);
    order.push_back("services:" + std::to_string(ok) + ":" + std::to_string(services.size()));
  });
  auto users = service_->WaitForRequest("users.list");
  auto services = service_->WaitForRequest("services.list");
  ASSERT_TRUE(users && services);
  veltrina::Service bot;
  bot.set_service_id("s-1");
  service_->Succeed(services->id, "{\"services\":[" + ToJson(bot) + "]}");
  ASSERT_TRUE(WaitForCoreIdle());
  service_->Succeed(users->id, "{\"users\":[" + ToJson(MakeUser("u-1", "a")) + "," + ToJson(MakeUser("u-2", "b")) + "]}");
  ASSERT_TRUE(WaitForCoreIdle());
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], "services:1:1");
  EXPECT_EQ(order[1], "users:1:2");
  EXPECT_EQ(veltrina::UserManager::DefaultManager()->FetchUsersFromCache().size(), 2u);
  ASSERT_TRUE(veltrina::ServiceManager::DefaultManager()->FetchServiceFromCacheByServiceId("s-1"));
}

TEST_F(Interface, ARequestNeverAnsweredNeverCallsBack) {
  std::atomic<int> calls{0};
  veltrina::IMManager::DefaultManager()->GetIMs([&](bool, const std::string&, auto) { ++calls; });
  auto request = service_->WaitForRequest("ims.list");
  ASSERT_TRUE(request);
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(calls.load(), 0);
  // Once the service is replaced, a late answer of the old one is dropped.
  InstallService(std::make_shared<ScriptedService>());
  service_->Succeed(request->id, R"({"ims":[]})");
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(calls.load(), 0);
}

TEST_F(Interface, MalformedAnswersAreFailuresNotCrashes) {
  Slot<std::pair<bool, std::string>> result;
  veltrina::ChannelManager::DefaultManager()->GetChannels(false, [&](bool ok, const std::string& error, auto list) {
    EXPECT_TRUE(list.empty());
    result.Set({ok, error});
  });
  auto request = service_->WaitForRequest("channels.list");
  ASSERT_TRUE(request);
  service_->Succeed(request->id, "{\"channels\": [1, 2, {\"channel_id\": ");
  ASSERT_TRUE(result.Wait());
  EXPECT_FALSE(result.Get().first);
  EXPECT_FALSE(result.Get().second.empty());

  // Members of the wrong type take defaults.
  Slot<size_t> count;
  veltrina::ChannelManager::DefaultManager()->GetChannels(false, [&](bool ok, const std::string&, auto list) {
    EXPECT_TRUE(ok);
    count.Set(list.size());
  });
  request = service_->WaitForRequest("channels.list");
  ASSERT_TRUE(request);
  service_->Succeed(request->id, R"({"channels":[{"channel_id":5,"type":"x","member_uids":"no"}, "junk", null]})");
  ASSERT_TRUE(count.Wait());
  EXPECT_EQ(count.Get(), 1u);
}

TEST_F(Interface, SendMessageHandsBackTheStoredMessage) {
  auto outgoing = veltrina::Message::TextMessageForIM("im-1", "u-2", "你好 :smile:");
  Slot<std::shared_ptr<veltrina::Message>> stored;
  veltrina::ChatManager::DefaultManager()->SendMessageW(*outgoing, [&](bool ok, std::unique_ptr<veltrina::Message> m) {
    EXPECT_TRUE(ok);
    stored.Set(std::shared_ptr<veltrina::Message>(std::move(m)));
  });
  outgoing.reset();  // the caller releases its message at once
  auto request = service_->WaitForRequest("messages.send");
  ASSERT_TRUE(request);
  veltrina::Message sent;
  ASSERT_TRUE(veltrina::backend::FromJson(request->Param("message"), &sent));
  EXPECT_EQ(sent.ChannelID(), "im-1");
  EXPECT_EQ(sent.to_uid(), "u-2");
  EXPECT_EQ(sent.channel_type(), veltrina::Message::kDirectMessage);
  EXPECT_EQ(sent.content(), "你好 :smile:");
  sent.set_key("m-7");
  sent.set_timestamp(1700000000);
  service_->Succeed(request->id, "{\"message\":" + ToJson(sent) + "}");
  ASSERT_TRUE(stored.Wait());
  ASSERT_TRUE(stored.Get());
  EXPECT_EQ(stored.Get()->key(), "m-7");
  auto cached = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("im-1", 0, 2147483647, 20, nullptr,
                                                                               nullptr, false);
  ASSERT_EQ(cached.size(), 1u);
  EXPECT_EQ(cached[0]->content(), "你好 :smile:");

  Slot<bool> failed;
  auto second = veltrina::Message::TextMessageForChannel("c-1", "x");
  veltrina::ChatManager::DefaultManager()->SendMessageW(*second, [&](bool ok, std::unique_ptr<veltrina::Message> m) {
    failed.Set(!ok && !m);
  });
  request = service_->WaitForRequest("messages.send");
  ASSERT_TRUE(request);
  service_->Fail(request->id, 413, "too long");
  ASSERT_TRUE(failed.Wait());
  EXPECT_TRUE(failed.Get());
}

class RecordingHandlers : public veltrina::MessageHandler,
                          public veltrina::NumUnreadHandler,
                          public veltrina::UserStatusHandler,
                          public veltrina::ConnectionStateHandler {
 public:
  void HandleMessage(const veltrina::Message& m) override { Note("any:" + m.key()); }
  void HandleDirectMessage(const veltrina::Message& m) override { Note("direct:" + m.key()); }
  void HandleChannelMessage(const veltrina::Message& m) override { Note("channel:" + m.key()); }
  void HandleNumUnreadChanged(const std::string& id, veltrina::_NumUnread c) override {
    Note("unread:" + id + ":" + std::to_string(c.num_unread) + ":" + std::to_string(c.num_new));
  }
  void HandleUserStatusChanged(const std::string& uid, int status) override {
    auto cached = veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(uid);
    Note("status:" + uid + ":" + std::to_string(status) + ":" + std::to_string(cached ? cached->status() : -1));
  }
  void HandleConnectionStateChanged(int state) override { Note("connection:" + std::to_string(state)); }

  std::vector<std::string> notes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return notes_;
  }
  bool all_on_core() const { return all_on_core_; }

 private:
  void Note(const std::string& note) {
    if (!veltrina::backend::IsCoreThread()) all_on_core_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    notes_.push_back(note);
  }
  std::mutex mutex_;
  std::vector<std::string> notes_;
  std::atomic<bool> all_on_core_{true};
};

TEST_F(Interface, PushedEventsReachTheRegisteredHandlersOnACoreThread) {
  RecordingHandlers handlers;
  auto* chat = veltrina::ChatManager::DefaultManager();
  chat->AddMessageHandler(&handlers);
  chat->AddMessageHandler(&handlers);  // twice counts once
  chat->AddNumUnreadHandler(&handlers);
  veltrina::UserManager::DefaultManager()->AddUserStatusHandler(&handlers);
  veltrina::Director director;
  director.AddConnectionStateHandler(&handlers);

  service_->AutoAnswer("users.list", [](const auto&) {
    Reply r;
    r.ok = true;
    r.body = "{\"users\":[" + ToJson(MakeUser("u-1", "a")) + "]}";
    return r;
  });
  veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
  veltrina::Message m;
  m.set_key("k1");
  m.set_channel_id("c-1");
  ASSERT_TRUE(service_->Push("message", "{\"message\":" + ToJson(m) + "}"));
  m.set_key("k2");
  m.set_channel_id("im-1");
  m.set_channel_type(veltrina::Message::kDirectMessage);
  service_->Push("message", "{\"message\":" + ToJson(m) + "}");
  service_->Push("unread", R"({"channel_id":"c-1","num_unread":3,"num_new":5})");
  service_->Push("presence", R"({"uid":"u-1","status":2})");
  service_->Push("connection", R"({"state":1})");
  service_->Push("unread", "this is not json");
  service_->Push("no-such-event", "{}");
  ASSERT_TRUE(WaitForCoreIdle());
  std::vector<std::string> expected = {"any:k1",  "channel:k1", "any:k2", "direct:k2", "unread:c-1:3:5",
                                       "status:u-1:2:2", "connection:1"};
  EXPECT_EQ(handlers.notes(), expected);
  EXPECT_TRUE(handlers.all_on_core());
  EXPECT_EQ(chat->NumUnreadInChannelFromMemCache("c-1").num_unread, 3u);

  chat->RemoveMessageHandler(&handlers);
  chat->RemoveNumUnreadHandler(&handlers);
  veltrina::UserManager::DefaultManager()->RemoveUserStatusHandler(&handlers);
  director.RemoveConnectionStateHandler(&handlers);
  service_->Push("message", "{\"message\":" + ToJson(m) + "}");
  service_->Push("connection", R"({"state":0})");
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(handlers.notes().size(), expected.size());
}

TEST_F(Interface, HttpForTheServiceHostsIsAnsweredByTheServiceByteForByte) {
  Slot<std::pair<bool, std::string>> result;
  veltrina::HttpRequest request(std::string(veltrina::kStorageBaseUrl) + "/vtavatar/a1b2_40x40.png");
  veltrina::HttpClient::SharedClient()->Send(request, [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
    ASSERT_TRUE(r);
    result.Set({ok, r->raw_data()});
  });
  auto asked = service_->WaitForRequest("http.get");
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->Param("url"), "https://storage.veltrina.demo/vtavatar/a1b2_40x40.png");
  std::string bytes("\x89PNG\0\0\x01\xff", 8);
  service_->Answer(asked->id, true, 200, "", "{}", bytes);
  ASSERT_TRUE(result.Wait());
  EXPECT_TRUE(result.Get().first);
  EXPECT_EQ(result.Get().second, bytes);

  Slot<std::pair<bool, int>> missing;
  veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest("https://files.veltrina.demo/nothing.png"),
                                             [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
                                               missing.Set({ok, r ? r->status_code() : -1});
                                             });
  asked = service_->WaitForRequest("http.get");
  ASSERT_TRUE(asked);
  service_->Answer(asked->id, false, 404, "not found", "{}");
  ASSERT_TRUE(missing.Wait());
  EXPECT_FALSE(missing.Get().first);
  EXPECT_EQ(missing.Get().second, 404);
}

TEST_F(Interface, GeneratedImagesSpareTestsFromAnsweringPictures) {
  service_->ServeGeneratedImages();
  auto fetch = [](const std::string& url) {
    Slot<std::pair<bool, std::string>> slot;
    veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest(url),
                                               [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
                                                 slot.Set({ok, r->raw_data()});
                                               });
    EXPECT_TRUE(slot.Wait());
    return slot.Get();
  };
  auto avatar = fetch("https://storage.veltrina.demo/vtavatar/abc_40x40.png");
  EXPECT_TRUE(avatar.first);
  EXPECT_EQ(avatar.second.substr(1, 3), "PNG");
  auto thumb = fetch("https://files.veltrina.demo/thumb/f/e-1_80x20.png");
  EXPECT_TRUE(thumb.first);
  ASSERT_GT(thumb.second.size(), 24u);
  EXPECT_EQ(static_cast<unsigned char>(thumb.second[23]), 20u);  // height in the header
  EXPECT_TRUE(fetch("https://storage.veltrina.demo/vtstatic/bot.png").first);
  EXPECT_FALSE(fetch("https://files.veltrina.demo/f/e-1.pdf").first);
}

TEST_F(Interface, UploadOfAMissingFileFailsOnACoreThread) {
  Slot<bool> failed;
  Slot<bool> on_core;
  veltrina::HttpClient::SharedClient()->Upload("no-such-file-anywhere.bin", "x.bin", "", "c-1", true,
                                               [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
                                                 on_core.Set(veltrina::backend::IsCoreThread());
                                                 failed.Set(!ok && r && !r->error().empty());
                                               });
  ASSERT_TRUE(failed.Wait());
  EXPECT_TRUE(failed.Get());
  EXPECT_TRUE(on_core.Get());
  EXPECT_EQ(service_->CountRequests("files.upload"), 0u);
}

TEST_F(Interface, DirectorKeepsPermissionsAndStaysValidWhenReplaced) {
  auto* first = new veltrina::Director();
  veltrina::User me = MakeUser("u-me", "me");
  me.set_role(veltrina::User::kRoleAdmin);
  first->Init(me, veltrina::Team("t-1", "demo", "Demo"), 0, veltrina::Token(), "C:\\data", "", "windows_device_id",
              "1.2", "WebSite");
  veltrina::Director::ResetDefaultDirector(first);
  ASSERT_EQ(veltrina::Director::DefaultDirector(), first);
  first->set_permission(veltrina::Director::kPermissionCreateChannel | veltrina::Director::kPermissionConfigureServices);
  EXPECT_TRUE(first->HasPermission(0x4000));
  EXPECT_TRUE(first->HasPermission(2));
  EXPECT_FALSE(first->HasPermission(4));
  EXPECT_FALSE(first->HasPermission(0));
  EXPECT_EQ(first->me()->role(), 4);
  EXPECT_EQ(first->current_team()->team_subdomain(), "demo");
  ASSERT_NE(first->entity_manager(), nullptr);
  veltrina::Director::ResetDefaultDirector(new veltrina::Director());
  EXPECT_EQ(first->me()->uid(), "u-me");  // still alive
}

}  // namespace
