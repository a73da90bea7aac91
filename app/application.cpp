#include "app/application.h"

#include <chrono>
#include <string>
#include <string_view>

#include "app/server_option.h"
#include "duilib/UIlib.h"
#include "frame/frame_wnd.h"
#include "frame/window_manager.h"
#include "frame/wnd_shadow.h"
#include "main/main_wnd.h"
#include "signin/subdomain_wnd.h"
#include "veltrina/backend/service.h"
#include "veltrina/director.h"
#include "veltrina/log.h"

namespace veltrinawnd {
namespace {

// Toolkit diagnostics (malformed skins and the like) go to the one log of the client.
void RouteToolkitLog() {
  DuiLib::SetLogHandler([](const std::wstring& line) {
    int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), n, nullptr, nullptr);
    veltrina::log("%s", utf8.c_str());
  });
}

// Keeps the first window, in Z order, that a user can act on: shown, enabled, not a shadow or a menu.
BOOL CALLBACK KeepFirstUsable(HWND h, LPARAM out) {
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  const LONG_PTR ex_style = GetWindowLongPtrW(h, GWL_EXSTYLE);
  if (!IsWindowVisible(h) || !IsWindowEnabled(h) || (ex_style & (WS_EX_TRANSPARENT | WS_EX_NOACTIVATE)) ||
      std::wstring_view(name) == L"#32768")
    return TRUE;
  *reinterpret_cast<HWND*>(out) = h;
  return FALSE;
}

HWND TopWindowOfThisThread() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), KeepFirstUsable, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

bool BringClientToFront() {
  if (MainWnd* main = WindowManager::Instance()->main_wnd(); main && IsWindow(main->GetHWND())) {
    const HWND hwnd = main->GetHWND();
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    main->BringBack();
    // A box the main window waits on goes in front of it; the shown window comes to the front
    // even where the foreground was refused before it was visible.
    const HWND popup = GetLastActivePopup(hwnd);
    SetForegroundWindow(popup && IsWindowVisible(popup) ? popup : hwnd);
    return true;
  }
  const HWND top = TopWindowOfThisThread();
  if (!top) return false;
  if (IsIconic(top)) ShowWindow(top, SW_RESTORE);
  SetForegroundWindow(top);
  return true;
}

int RunApplication(HINSTANCE hInstance) {
  CWndShadow::Initialize(hInstance);  // without it windows simply have no shadow
  DuiLib::CPaintManagerUI::SetInstance(hInstance);
  RouteToolkitLog();
  veltrina::log("App init");
  UseChosenServer();  // before the team window's first request

  SubdomainWnd subdomain;
  subdomain.Create(nullptr, L"登录团队", kDialogStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                   CW_USEDEFAULT, CW_USEDEFAULT);
  subdomain.CenterWindow();
  subdomain.ShowModal();
  // What the core learnt in its last seconds goes to its disk cache before the process ends.
  if (veltrina::Director* director = veltrina::Director::DefaultDirector()) director->SaveCaches();
  veltrina::backend::WaitForCoreIdle(std::chrono::seconds(2));
  return 0;
}

}  // namespace veltrinawnd
