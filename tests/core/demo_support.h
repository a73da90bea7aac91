#pragma once
// Driving the demo service through the public calls, synchronously, for the demo tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_support.h"
#include "veltrina/backend/codec.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace core_test {

inline veltrina::backend::DemoOptions DemoIn(const std::string& folder) {
  veltrina::backend::DemoOptions options;
  options.data_folder = folder;
  options.life_interval = milliseconds(0);  // no life unless the folder's config asks for it
  options.bot_delay = milliseconds(20);
  return options;
}

inline void InstallDemo(const std::string& folder) {
  veltrina::backend::InstallService(std::make_shared<veltrina::backend::DemoService>(DemoIn(folder)));
}

// Detaches the installed demo, which saves what it has not saved yet: the folder is the test's then.
inline void StopDemo() { veltrina::backend::InstallService(std::make_shared<veltrina::backend::ScriptedService>()); }

// Runs `call` with a callback `done(value)` and returns the value (T() on time-out).
template <typename T, typename F>
T Ask(F call) {
  Slot<T> slot;
  call([&](T value) { slot.Set(std::move(value)); });
  EXPECT_TRUE(slot.Wait());
  return slot.Get();
}

// Whether a call whose callback reports success as its first argument succeeds.
template <typename F>
bool Succeeds(F call) {
  return Ask<bool>([&](auto done) { call([done](bool ok, auto&&...) { done(ok); }); });
}

// A request straight to a service: the reply's body, or "error <code>".
inline std::string Request(veltrina::backend::Service& service, const std::string& method, const std::string& params = "{}") {
  return Ask<std::string>([&](auto done) {
    service.Call({0, method, params, ""}, [done](veltrina::backend::Reply r) { done(r.ok ? r.body : "error " + std::to_string(r.code)); });
  });
}

// The sign-in's code: 200, 201 (initial password) or the failure's.
inline int64_t Login(const std::string& user, const std::string& password, const std::string& team = "t-demo") {
  return Ask<int64_t>([&](auto done) {
    veltrina::Auth::SharedAuth()->PostLoginRequest(user, password, team, "",
                                                   [done](bool, int64_t code, auto, auto) { done(code); });
  });
}

// Signs in and runs the session data preparation and the main window's refresh chain.
inline void SignInAndLoad(const std::string& user, const std::string& password) {
  std::shared_ptr<veltrina::User> me = Ask<std::shared_ptr<veltrina::User>>([&](auto done) {
    veltrina::Auth::SharedAuth()->PostLoginRequest(user, password, "t-demo", "",
                                                   [done](bool, int64_t, auto, auto u) { done(std::move(u)); });
  });
  ASSERT_TRUE(me);
  auto* director = new veltrina::Director();
  director->Init(*me, veltrina::Team("t-demo", "demo", "Demo"), 0, veltrina::Token(), "", "", "windows_device_id", "1.2",
                 "WebSite");
  veltrina::Director::ResetDefaultDirector(director);
  auto* chat = veltrina::ChatManager::DefaultManager();
  EXPECT_TRUE(Succeeds([](auto d) { veltrina::UserManager::DefaultManager()->GetTeamMembers(d); }) &&
              Succeeds([](auto d) { veltrina::ServiceManager::DefaultManager()->GetServices(d); }) &&
              Succeeds([](auto d) { veltrina::ChannelManager::DefaultManager()->GetChannels(false, d); }) &&
              Succeeds([](auto d) { veltrina::IMManager::DefaultManager()->GetIMs(d); }) &&
              Succeeds([&](auto d) { chat->SyncRecentMessagesWithServer(20, d); }) &&
              Succeeds([&](auto d) { chat->GetNumUnreadFromServer(d); }));
}

// The stored message, or null when refused.
inline std::shared_ptr<veltrina::Message> Send(const std::string& conversation, const std::string& text,
                                                const std::string& to_uid = "") {
  auto m = to_uid.empty() ? veltrina::Message::TextMessageForChannel(conversation, text)
                          : veltrina::Message::TextMessageForIM(conversation, to_uid, text);
  return Ask<std::shared_ptr<veltrina::Message>>([&](auto done) {
    veltrina::ChatManager::DefaultManager()->SendMessageW(*m, [done](bool, auto s) { done(std::move(s)); });
  });
}

// The body of a GET through the core's HTTP client; empty when it fails.
inline std::string Get(const std::string& url) {
  return Ask<std::string>([&](auto done) {
    veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest(url),
                                               [done](bool ok, auto r) { done(ok ? r->raw_data() : ""); });
  });
}

inline auto Cached(const std::string& conversation) {
  return veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache(conversation, 0, 2147483647, 100, nullptr,
                                                                         nullptr, false);
}

}  // namespace core_test
