// Opening a conversation of the demo team in the real client, signed in as alice on a fresh data
// folder: the UI-thread work of selecting #general once its messages are cached, another
// conversation selected in between (untimed). VELTRINA_BENCH_TEAM=large uses the large team.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/application.h"
#include "app/storage.h"
#include "frame/window_manager.h"
#include "report.h"
#include "ui_driver.h"

namespace {

DuiLib::CListUI* Sessions() {
  return testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"MainWindow"), L"sessionList");
}

// #general, or the first channel when the team has no row of that name; -1 before the list is built.
int TargetRow() {
  DuiLib::CListUI* list = Sessions();
  int first = -1;
  for (int i = 0; list && i < list->GetCount(); ++i) {
    const std::wstring name = list->GetItemAt(i)->GetName();
    if (name == L"channelItem_c-general") return i;
    if (first < 0 && name.starts_with(L"channelItem_")) first = i;
  }
  return first;
}

int OtherRow(int target) {
  DuiLib::CListUI* list = Sessions();
  for (int i = 0; list && i < list->GetCount(); ++i) {
    const std::wstring name = list->GetItemAt(i)->GetName();
    if (i != target && (name.starts_with(L"channelItem_") || name.starts_with(L"imItem_"))) return i;
  }
  return -1;
}

}  // namespace

TEST(DemoTeam, OpenGeneral) {
  const char* team = std::getenv("VELTRINA_BENCH_TEAM");
  const bool large = team && std::string(team) == "large";
  const std::filesystem::path data(veltrinawnd::GetDataFolder());
  std::error_code error;
  std::filesystem::remove_all(data, error);
  std::filesystem::create_directories(data, error);
  std::ofstream(data / "demo-config.json") << (large ? R"({"team_size": "large"})" : "{}");

  double ms = 1e9;
  size_t shown = 0;
  testkit::UiDriver d;
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    testkit::SetControlText(h, L"subdomain_edit", L"demo");
    testkit::ClickControl(h, L"continue_btn");
  }, 60000);
  d.OnWindow(L"LoginWindow", [](HWND h) {
    testkit::SetControlText(h, L"username_edit", L"alice");
    testkit::SetControlText(h, L"password_edit", L"veltrina");
    testkit::ClickControl(h, L"login_btn");
  }, 20000);
  d.WaitFor("the session list", [] { return TargetRow() >= 0 && OtherRow(TargetRow()) >= 0; }, 60000);
  // The first opening fetches the cards' thumbnails; the timed ones find them cached.
  d.Do("open once", [] { Sessions()->SelectItem(TargetRow(), false); });
  d.Pause(1500);
  d.Do("open", [&ms, &shown] {
    const int target = TargetRow(), other = OtherRow(target);
    for (int run = 0; run < 10; ++run) {
      Sessions()->SelectItem(other, false);
      const auto start = std::chrono::steady_clock::now();
      Sessions()->SelectItem(target, false);
      ms = std::min(ms, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    auto* view = testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"MainWindow"), L"chat_display");
    shown = view ? static_cast<size_t>(view->GetCount()) : 0;
    veltrinawnd::WindowManager::Instance()->CloseAll();
    PostQuitMessage(0);
  });
  d.Start();
  veltrinawnd::RunApplication(GetModuleHandleW(nullptr));
  ASSERT_TRUE(d.Failure().empty()) << d.Failure();
  ASSERT_GT(shown, 0u) << "the conversation showed no message";
  bench::Report(large ? "open_conversation_ms_large_team" : "open_conversation_ms_small_team", ms);
}
