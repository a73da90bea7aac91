// What the windows rely on: callbacks on a core thread, argument order, owned payloads, requests
// answered out of order or never, events reaching the handlers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "test_support.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/codec.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace {

using core_test::Slot;
using namespace veltrina::backend;

class Interface : public ::testing::Test {
 protected:
  void SetUp() override { InstallService(service_); }
  uint64_t Asked(const std::string& method) {
    auto request = service_->WaitForRequest(method);
    EXPECT_TRUE(request) << method;
    return request ? request->id : 0;
  }
  std::shared_ptr<ScriptedService> service_ = std::make_shared<ScriptedService>();
};

veltrina::User MakeUser(const std::string& uid) {
  veltrina::User u;
  u.set_uid(uid);
  return u;
}

TEST_F(Interface, AnAnswerGivenInsideTheCallStillCallsBackLaterOnACoreThread) {
  service_->AutoAnswer("web.permission", [](const auto&) { return Reply{true, 0, "", PermissionBody(16390), ""}; });
  Slot<std::thread::id> thread;
  veltrina::WebApi::Api()->GetPermisson([&](bool ok, const std::string& error, int64_t permission) {
    EXPECT_TRUE(ok && error.empty() && permission == 16390 && IsCoreThread());
    thread.Set(std::this_thread::get_id());
  });
  EXPECT_TRUE(service_->Requests("web.permission").at(0).answered);
  EXPECT_TRUE(thread.Wait() && thread.Get() != std::this_thread::get_id());
}

TEST_F(Interface, LoginHandsOverOwnedRecordsOnSuccessAndOnlyTheCodeOnFailure) {
  Slot<std::string> result;
  for (int round = 0; round < 2; ++round) {
    veltrina::Auth::SharedAuth()->PostLoginRequest("lilei", "p", "t-1", "demo", [&](bool ok, int64_t code, auto t,
                                                                                    auto u) {
      result.Set(std::to_string(ok) + std::to_string(code) + "|" + (t ? t->access_token() : "-") +
                 (u ? u->uid() : "-"));
    });
    veltrina::Token token;
    token.set_access_token("tok");
    uint64_t id = Asked("auth.login");
    EXPECT_TRUE(round ? service_->Fail(id, 8000, "wrong")
                      : service_->Answer(id, true, 201, "", LoginBody(token, MakeUser("u-1"))));
    EXPECT_FALSE(service_->Succeed(id));  // answered once only
    ASSERT_TRUE(WaitForCoreIdle());
    EXPECT_EQ(result.Get(), round ? "08000|--" : "1201|toku-1");
  }
}

TEST_F(Interface, AnswersOutOfOrderCallBackInAnswerOrderAndLateOrMissingOnesNever) {
  std::vector<std::string> order;  // written on the core thread, read once it is idle
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [&](bool, auto&, auto users) { order.push_back("users:" + std::to_string(users.size())); });
  veltrina::ServiceManager::DefaultManager()->GetServices([&](bool, auto&, auto) { order.push_back("services"); });
  veltrina::IMManager::DefaultManager()->GetIMs([&](bool, auto&, auto) { order.push_back("ims"); });
  uint64_t users = Asked("users.list"), services = Asked("services.list"), ims = Asked("ims.list");
  service_->Succeed(services, ServicesBody({}));
  ASSERT_TRUE(WaitForCoreIdle());
  service_->Succeed(users, UsersBody({MakeUser("u-1"), MakeUser("u-2")}));
  ASSERT_TRUE(WaitForCoreIdle());
  // Once the service is replaced, a late answer of the old one is dropped.
  InstallService(std::make_shared<ScriptedService>());
  service_->Succeed(ims, ImsBody({}));
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(order, (std::vector<std::string>{"services", "users:2"}));
}

TEST_F(Interface, MalformedAnswersAreFailuresAndWrongTypesTakeDefaults) {
  const char* defaulted = R"({"channels":[{"channel_id":5,"type":"x","member_uids":"no"}, "junk", null]})";
  for (auto [body, expected] :
       {std::pair{"{\"channels\": [1, 2, {\"channel_id\": ", "000"}, {"[1]", "000"}, {defaulted, "111"}}) {
    Slot<std::string> result;  // ok, channels, error empty
    veltrina::ChannelManager::DefaultManager()->GetChannels(false, [&](bool ok, const std::string& error, auto list) {
      result.Set(std::to_string(ok) + std::to_string(list.size()) + std::to_string(error.empty()));
    });
    service_->Succeed(Asked("channels.list"), body);
    ASSERT_TRUE(result.Wait());
    EXPECT_EQ(result.Get(), expected) << body;
  }
}

TEST_F(Interface, SendMessageHandsBackTheStoredMessageAndCachesIt) {
  auto outgoing = veltrina::Message::TextMessageForIM("im-1", "u-2", "你好 :smile:");
  Slot<std::string> stored;
  auto* chat = veltrina::ChatManager::DefaultManager();
  chat->SendMessageW(*outgoing, [&](bool ok, auto m) { stored.Set(std::to_string(ok) + (m ? m->key() : "-")); });
  outgoing.reset();  // the caller releases its message at once
  auto request = service_->WaitForRequest("messages.send");
  veltrina::Message sent;
  ASSERT_TRUE(request && FromJson(request->Param("message"), &sent));
  EXPECT_EQ(sent.ChannelID() + sent.to_uid() + sent.content(), "im-1u-2你好 :smile:");
  EXPECT_EQ(sent.channel_type(), veltrina::Message::kDirectMessage);
  sent.set_key("m-7");
  service_->Succeed(request->id, MessageBody(sent));
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(stored.Get(), "1m-7");
  auto cached = chat->FetchMessagesFromCache("im-1", 0, 2147483647, 20, nullptr, nullptr, false);
  EXPECT_TRUE(cached.size() == 1u && cached[0]->content() == "你好 :smile:");
}

// Notes every event, marked when it came off the core thread.
struct RecordingHandlers : veltrina::MessageHandler, veltrina::NumUnreadHandler, veltrina::UserStatusHandler,
                           veltrina::ConnectionStateHandler {
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
  void Note(const std::string& note) { notes.push_back(IsCoreThread() ? note : "off core: " + note); }
  std::vector<std::string> notes;  // read once the core is idle
};

TEST_F(Interface, PushedEventsReachTheRegisteredHandlersOnACoreThreadUntilRemoved) {
  RecordingHandlers handlers;
  auto* chat = veltrina::ChatManager::DefaultManager();
  auto* users = veltrina::UserManager::DefaultManager();
  veltrina::Director director;
  chat->AddMessageHandler(&handlers);
  chat->AddMessageHandler(&handlers);  // twice counts once
  chat->AddNumUnreadHandler(&handlers), users->AddUserStatusHandler(&handlers);
  director.AddConnectionStateHandler(&handlers);
  service_->AutoAnswer("users.list", [](const auto&) { return Reply{true, 0, "", UsersBody({MakeUser("u-1")}), ""}; });
  users->GetTeamMembers(nullptr);
  veltrina::Message m;
  m.set_key("k1"), m.set_channel_id("c-1");
  ASSERT_TRUE(service_->Push("message", MessageEvent(m)));
  m.set_key("k2"), m.set_channel_id("im-1"), m.set_channel_type(veltrina::Message::kDirectMessage);
  for (auto [event, body] : {std::pair{"message", MessageEvent(m)}, {"unread", UnreadEvent("c-1", 3, 5)},
                             {"presence", PresenceEvent("u-1", 2)}, {"connection", ConnectionEvent(1)},
                             {"unread", "this is not json"}, {"no-such-event", "{}"},
                             // Events without what they are about are dropped, not applied to "".
                             {"unread", R"({"num_unread":4,"num_new":4})"}, {"unread", R"({"channel_id":"c-1"})"},
                             {"unread", R"({"channel_id":"c-1","num_unread":7})"}, {"unread", R"({"channel_id":"c-1","num_new":7})"},
                             {"message", R"({"message":{"key":"k3","content":"where?"}})"},
                             {"presence", R"({"uid":"u-1"})"}, {"presence", R"({"status":1})"}, {"connection", "{}"}})
    service_->Push(event, body);
  ASSERT_TRUE(WaitForCoreIdle());
  std::vector<std::string> expected = {"any:k1", "channel:k1", "any:k2", "direct:k2", "unread:c-1:3:5",
                                       "status:u-1:2:2", "connection:1"};
  EXPECT_EQ(handlers.notes, expected);
  EXPECT_EQ(chat->NumUnreadInChannelFromMemCache("c-1").num_unread, 3u);
  chat->RemoveMessageHandler(&handlers), chat->RemoveNumUnreadHandler(&handlers);
  users->RemoveUserStatusHandler(&handlers), director.RemoveConnectionStateHandler(&handlers);
  service_->Push("message", MessageEvent(m));
  service_->Push("connection", ConnectionEvent(0));
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(handlers.notes.size(), expected.size());
}

TEST_F(Interface, AReplacedDirectorStaysValid) {
  auto* first = new veltrina::Director();
  first->Init(MakeUser("u-me"), veltrina::Team("t-1", "demo", "Demo"), 0, veltrina::Token(), "C:\\data", "", "dev", "1",
              "Web");
  veltrina::Director::ResetDefaultDirector(first);
  veltrina::Director::ResetDefaultDirector(new veltrina::Director());
  EXPECT_EQ(first->me()->uid() + first->current_team()->team_subdomain(), "u-medemo");  // callbacks may still hold it
}

}  // namespace
