#include "signin_fixture.h"

#include <filesystem>
#include <system_error>

#include "app/application.h"
#include "app/storage.h"
#include "frame/window_manager.h"
#include "veltrina/log.h"

namespace backend = veltrina::backend;

uint64_t Next(backend::ScriptedService& svc, const std::string& method) {
  auto r = svc.WaitForRequest(method, std::chrono::milliseconds(0));
  EXPECT_TRUE(r) << method;
  return r ? r->id : 0;
}

void SigninTest::SetUp() {
  DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  InstallScriptedService();  // first: from now on nothing writes the last test's caches
  // Caches an earlier sign-in left on disk would open this test's main window before its answers.
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(veltrinawnd::GetDataFolder(), ignored))
    if (entry.path().filename().wstring().starts_with(L"cache-")) std::filesystem::remove(entry.path(), ignored);
  veltrinawnd::InstallSystemSeam(&system_);
  veltrina::set_log_observer([this](const std::string& line) {
    std::lock_guard lock(log_mutex_);
    log_.push_back(line);
  });
}

void SigninTest::InstallScriptedService() {
  service_ = std::make_shared<backend::ScriptedService>();
  backend::InstallService(service_);
  service_->ServeGeneratedImages();
  service_->AutoAnswer("session.connect", [](const Request&) { return backend::Reply{true, 0, "", "{}", ""}; });
}

void SigninTest::TearDown() {
  veltrina::set_log_observer(nullptr);
  veltrinawnd::InstallSystemSeam(nullptr);
  for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
    if (msg.message != WM_QUIT) DispatchMessageW(&msg);
  EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
  std::lock_guard<std::mutex> lock(log_mutex_);
  for (const std::string& line : log_)
    EXPECT_TRUE(line.find("secret-pass") == line.npos && line.find("access-token") == line.npos) << line;
}

void SigninTest::Answer(testkit::UiDriver& d, const std::string& method, std::function<void(const Request&)> fn) {
  auto taken = std::make_shared<std::optional<Request>>();
  d.WaitFor("request " + method, [svc = service_, method, taken] {
    *taken = svc->WaitForRequest(method, std::chrono::milliseconds(0));
    return taken->has_value();
  });
  d.Do("answer " + method, [taken, fn] { fn(**taken); });
}

void SigninTest::FindTeam(testkit::UiDriver& d, const std::string& team_id, const std::string& subdomain) {
  d.OnWindow(L"SubdomainWnd", [](HWND h) { testkit::ClickControl(h, L"continue_btn"); });
  Answer(d, "team.lookup", [svc = service_, team_id, subdomain](const Request& r) {
    svc->Succeed(r.id, veltrina::backend::TeamBody(team_id, subdomain, subdomain));
  });
}

void SigninTest::ReachSignIn(testkit::UiDriver& d, const std::string& team_id, const std::string& subdomain) {
  FindTeam(d, team_id, subdomain);
  d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
  d.WaitFor("a sign-in attempt", [svc = service_] { return svc->CountRequests("auth.login") == 1; });
}

void SigninTest::Run(testkit::UiDriver& d) {
  d.Start();
  EXPECT_EQ(veltrinawnd::RunApplication(GetModuleHandleW(nullptr)), 0);
  EXPECT_TRUE(d.Failure().empty()) << d.Failure();
  EXPECT_TRUE(d.Done());
}

std::wstring SigninTest::TextOf(const wchar_t* window, const wchar_t* control) {
  DuiLib::CControlUI* c = testkit::FindControl(testkit::FindVisibleWindow(window), control);
  return c ? c->GetText() : L"<missing>";
}

void SigninTest::Quit() {
  veltrinawnd::WindowManager::Instance()->CloseAll();
  PostQuitMessage(0);
}

namespace {
veltrina::User MakeUser(const std::string& uid, const std::string& name) {
  veltrina::User user;
  user.set_uid(uid);
  user.set_user_name(name);
  user.set_display_name(name + " 显示名");
  user.set_header_url(uid + ".png");
  return user;
}
}  // namespace

std::string SigninTest::LoginReply(const std::string& uid, const std::string& name) {
  veltrina::Token token;
  token.set_access_token("access-token-1");
  token.set_refresh_token("refresh-1");
  return backend::LoginBody(token, MakeUser(uid, name));
}

void SigninTest::AnswerPreparation(testkit::UiDriver& d, int64_t permission, const std::string& fail_method,
                                   int64_t fail_code, const std::string& fail_error) {
  const std::pair<const char*, std::string> answers[] = {
      {"users.list", backend::UsersBody({MakeUser("u-1", "alice"), MakeUser("u-2", "bob")})},
      {"users.status", R"({"statuses":[]})"}, {"services.list", backend::ServicesBody({})},
      {"web.permission", backend::PermissionBody(permission)}};
  for (const auto& [method, body] : answers) {
    if (method == fail_method) {
      Answer(d, method, [svc = service_, fail_code, fail_error](const Request& r) { svc->Fail(r.id, fail_code, fail_error); });
      return;
    }
    Answer(d, method, [svc = service_, b = body](const Request& r) { svc->Succeed(r.id, b); });
  }
}
