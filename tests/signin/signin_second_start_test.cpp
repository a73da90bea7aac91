// A second start paints the main window from the caches the first one left on disk, then takes
// the service's answers over them.
#include <filesystem>

#include "app/storage.h"
#include "signin_fixture.h"
#include "veltrina/director.h"

using testkit::FindVisibleWindow;
namespace bodies = veltrina::backend;

namespace {
veltrina::Channel MakeChannel(const std::string& id) {
  veltrina::Channel c;
  c.set_channel_id(id), c.set_channel_name(id), c.set_is_member(true);
  return c;
}
bool HasRow(const wchar_t* id) {
  return testkit::FindControl(FindVisibleWindow(L"MainWindow"), (std::wstring(L"channelItem_") + id).c_str());
}
}  // namespace

TEST_F(SigninTest, SecondSignInOpensTheMainWindowFromDiskBeforeTheServiceAnswersThenReconciles) {
  auto sign_in = [this](testkit::UiDriver& d) {
    FindTeam(d, "t-again", "again");
    d.OnWindow(L"LoginWindow", [](HWND h) { testkit::ClickControl(h, L"login_btn"); });
    Answer(d, "auth.login",
           [svc = service_](const Request& r) { svc->Answer(r.id, true, 200, "", LoginReply("u-1", "alice")); });
  };
  auto refresh = [this](testkit::UiDriver& d, std::vector<veltrina::Channel> channels) {
    const std::pair<const char*, std::string> answers[] = {{"channels.list", bodies::ChannelsBody(channels)},
                                                           {"ims.list", bodies::ImsBody({})},
                                                           {"messages.sync", bodies::MessagesBody({})},
                                                           {"messages.unread", bodies::UnreadBody({})}};
    for (const auto& [method, body] : answers)
      Answer(d, method, [svc = service_, b = body](const Request& r) { svc->Succeed(r.id, b); });
  };
  const std::filesystem::path file = std::filesystem::path(veltrinawnd::GetDataFolder()) / L"cache-t-again-u-1.json";
  {
    testkit::UiDriver d;
    sign_in(d);
    AnswerPreparation(d, 6);
    d.OnWindow(L"MainWindow", [](HWND) {});
    refresh(d, {MakeChannel("c-1"), MakeChannel("c-2")});
    d.WaitFor("both rows", [] { return HasRow(L"c-1") && HasRow(L"c-2"); });
    d.Do("save", [] { veltrina::Director::DefaultDirector()->SaveCaches(); });
    d.WaitFor("cache file", [file] { return std::filesystem::exists(file); });
    d.Do("quit", [] { Quit(); });
    Run(d);
  }
  for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)  // the first run's quit, among others
    if (msg.message != WM_QUIT) DispatchMessageW(&msg);
  InstallScriptedService();
  testkit::UiDriver d;
  sign_in(d);
  d.OnWindow(L"MainWindow", [this](HWND) {
    EXPECT_TRUE(HasRow(L"c-1") && HasRow(L"c-2"));
    EXPECT_EQ(service_->CountRequests("users.list"), 1u);  // asked, not yet answered
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 6);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 1);
  });
  AnswerPreparation(d, 2);
  refresh(d, {MakeChannel("c-1")});
  d.WaitFor("the service's list", [] { return HasRow(L"c-1") && !HasRow(L"c-2"); });
  d.Do("quit", [] {
    EXPECT_EQ(veltrina::Director::DefaultDirector()->permission(), 2);
    Quit();
  });
  Run(d);
}
