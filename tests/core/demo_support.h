#pragma once
// Driving the demo service through the public calls, synchronously, for the demo tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_support.h"
#include "veltrina/backend/codec.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/veltrina.h"

namespace core_test {

inline std::shared_ptr<veltrina::backend::DemoService> InstallDemo(const std::string& folder) {
  veltrina::backend::DemoOptions options;
  options.data_folder = folder;
  options.life_interval = std::chrono::milliseconds(0);  // tests step the life themselves
  options.bot_delay = std::chrono::milliseconds(20);
  auto demo = std::make_shared<veltrina::backend::DemoService>(options);
  veltrina::backend::InstallService(demo);
  return demo;
}

struct LoginResult {
  bool ok = false;
  int64_t code = 0;
  std::shared_ptr<veltrina::User> user;
};

inline LoginResult Login(const std::string& user, const std::string& password, const std::string& team = "t-demo") {
  Slot<LoginResult> slot;
  veltrina::Auth::SharedAuth()->PostLoginRequest(
      user, password, team, "", [&](bool ok, int64_t code, std::unique_ptr<veltrina::Token>, std::unique_ptr<veltrina::User> u) {
        slot.Set(LoginResult{ok, code, std::shared_ptr<veltrina::User>(std::move(u))});
      });
  EXPECT_TRUE(slot.Wait());
  return slot.Get();
}

// Signs in and runs the session data preparation and the main window's refresh chain.
inline void SignInAndLoad(const std::string& user, const std::string& password) {
  LoginResult r = Login(user, password);
  ASSERT_TRUE(r.ok);
  ASSERT_TRUE(r.user);
  auto* director = new veltrina::Director();
  director->Init(*r.user, veltrina::Team("t-demo", "demo", "Demo"), 0, veltrina::Token(), "", "", "windows_device_id",
                 "1.2", "WebSite");
  veltrina::Director::ResetDefaultDirector(director);
  Slot<bool> done;
  veltrina::UserManager::DefaultManager()->GetTeamMembers([&](bool ok, const std::string&, auto) {
    if (!ok) return done.Set(false);
    veltrina::ServiceManager::DefaultManager()->GetServices([&](bool ok2, const std::string&, auto) {
      if (!ok2) return done.Set(false);
      veltrina::ChannelManager::DefaultManager()->GetChannels(false, [&](bool ok3, const std::string&, auto) {
        if (!ok3) return done.Set(false);
        veltrina::IMManager::DefaultManager()->GetIMs([&](bool ok4, const std::string&, auto) {
          if (!ok4) return done.Set(false);
          veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [&](bool ok5, const std::string&) {
            if (!ok5) return done.Set(false);
            veltrina::ChatManager::DefaultManager()->GetNumUnreadFromServer(
                [&](bool ok6, const std::string&) { done.Set(ok6); });
          });
        });
      });
    });
  });
  ASSERT_TRUE(done.Wait());
  ASSERT_TRUE(done.Get());
}

inline std::shared_ptr<veltrina::Message> Send(const veltrina::Message& message) {
  Slot<std::shared_ptr<veltrina::Message>> slot;
  veltrina::ChatManager::DefaultManager()->SendMessageW(message, [&](bool, std::unique_ptr<veltrina::Message> m) {
    slot.Set(std::shared_ptr<veltrina::Message>(std::move(m)));
  });
  EXPECT_TRUE(slot.Wait());
  return slot.Get();
}

}  // namespace core_test
