#include "main_fixture.h"

#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "veltrina/channel_manager.h"
#include "veltrina/chat_manager.h"
#include "veltrina/director.h"
#include "veltrina/im_manager.h"
#include "veltrina/user_manager.h"

namespace bodies = veltrina::backend;

void MainTest::SetUp() {
  DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  service_ = std::make_shared<bodies::ScriptedService>();
  bodies::InstallService(service_);
  service_->ServeGeneratedImages();
  service_->AutoAnswer("session.connect", [](const bodies::RecordedRequest&) { return bodies::Reply{true, 0, "", "{}", ""}; });
  veltrinawnd::InstallSystemSeam(&shell_);
  veltrinawnd::image_cache::ForgetKnownFiles();  // tests delete cached files
  SignIn();
  veltrina::UserManager::DefaultManager()->GetTeamMembers([](bool, const std::string&, auto) {});
  auto members = service_->WaitForRequest("users.list");
  ASSERT_TRUE(members);
  service_->Succeed(members->id, bodies::UsersBody({User("u-me", "me", 1), User("u-a", "安娜", 1), User("u-b", "Bob", 2),
                                                   User("u-c", "Cici", 3)}));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
}

void MainTest::TearDown() {
  veltrinawnd::InstallSystemSeam(nullptr);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message != WM_QUIT) DispatchMessageW(&msg);
  EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
  EXPECT_EQ(veltrinawnd::WindowManager::Instance()->main_wnd(), nullptr);
}

void MainTest::SignIn(int role, int64_t permission, const std::string& subdomain, const std::string& team_id) {
  veltrina::User me = User("u-me", "me", 1);
  me.set_role(role);
  veltrina::Token token;
  token.set_access_token("t");
  auto* director = new veltrina::Director();
  director->Init(me, veltrina::Team(team_id, subdomain, "主团队"), 0, token, "", "", "", "", "");
  if (permission) director->set_permission(permission);
  veltrina::Director::ResetDefaultDirector(director);
}

veltrina::User MainTest::User(const std::string& uid, const std::string& name, int status) {
  veltrina::User u;
  u.set_uid(uid), u.set_user_name(name), u.set_display_name(name), u.set_header_url(uid + ".png"), u.set_status(status);
  return u;
}

veltrina::Channel MainTest::Channel(const std::string& id, const std::string& name, int type, bool general) {
  veltrina::Channel c;
  c.set_channel_id(id), c.set_channel_name(name), c.set_type(static_cast<veltrina::Channel::Type>(type));
  c.set_is_general(general), c.set_is_member(true);
  return c;
}

veltrina::IM MainTest::Im(const std::string& id, const std::string& peer) {
  veltrina::IM im;
  im.set_im_id(id), im.set_to_uid(peer), im.set_is_open(true);
  return im;
}

veltrina::Message MainTest::Message(const std::string& conversation, int channel_type, const std::string& uid,
                                    const std::string& text, int64_t time) {
  veltrina::Message m;
  m.set_key("k-" + conversation + "-" + std::to_string(time)), m.set_uid(uid), m.set_sender_type(1), m.set_message_type(1);
  m.set_channel_type(channel_type), m.set_channel_id(conversation), m.set_content(text), m.set_timestamp(time);
  return m;
}

void MainTest::Prime(const std::vector<veltrina::Channel>& channels, const std::vector<veltrina::IM>& ims,
                     const std::vector<bodies::UnreadCount>& unread) {
  auto answer = [this](const char* method, const std::string& body) {
    auto r = service_->WaitForRequest(method);
    ASSERT_TRUE(r) << method;
    service_->Succeed(r->id, body);
  };
  veltrina::ChannelManager::DefaultManager()->GetChannels(false, [](bool, const std::string&, auto) {});
  answer("channels.list", bodies::ChannelsBody(channels));
  veltrina::IMManager::DefaultManager()->GetIMs([](bool, const std::string&, auto) {});
  answer("ims.list", bodies::ImsBody(ims));
  veltrina::ChatManager::DefaultManager()->GetNumUnreadFromServer([](bool, const std::string&) {});
  answer("messages.unread", bodies::UnreadBody(unread));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
}

MainTest::Request MainTest::Take(testkit::UiDriver& d, const std::string& method) {
  auto taken = std::make_shared<std::optional<bodies::RecordedRequest>>();
  auto svc = service_;
  d.WaitFor("request " + method, [svc, method, taken] {
    *taken = svc->WaitForRequest(method, std::chrono::milliseconds(0));
    return taken->has_value();
  });
  return taken;
}

void MainTest::Answer(testkit::UiDriver& d, const std::string& method,
                      std::function<void(const bodies::RecordedRequest&)> fn) {
  Request taken = Take(d, method);
  d.Do("answer " + method, [taken, fn] { fn(**taken); });
}

void MainTest::AnswerRefresh(testkit::UiDriver& d, const std::vector<veltrina::Channel>& channels,
                             const std::vector<veltrina::IM>& ims, const std::vector<bodies::UnreadCount>& unread,
                             const std::vector<veltrina::Message>& sync) {
  auto svc = service_;
  Answer(d, "channels.list", [svc, channels](const auto& r) { svc->Succeed(r.id, bodies::ChannelsBody(channels)); });
  Answer(d, "ims.list", [svc, ims](const auto& r) { svc->Succeed(r.id, bodies::ImsBody(ims)); });
  Answer(d, "messages.sync", [svc, sync](const auto& r) { svc->Succeed(r.id, bodies::MessagesBody(sync)); });
  Answer(d, "messages.unread", [svc, unread](const auto& r) { svc->Succeed(r.id, bodies::UnreadBody(unread)); });
  d.Pause(50);
}

void MainTest::RunMain(testkit::UiDriver& d) {
  d.Start();
  veltrinawnd::WindowManager::Instance()->ShowMainWnd();
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_TRUE(d.Done());
}

void MainTest::Finish(testkit::UiDriver& d) {
  d.Do("leave", [] { veltrinawnd::WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

void MainTest::WaitMain(testkit::UiDriver& d) { d.WaitFor("main", [] { return Main() != nullptr; }); }
