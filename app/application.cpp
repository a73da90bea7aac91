#include "app/application.h"

#include <chrono>
#include <string>

#include "duilib/UIlib.h"
#include "frame/frame_wnd.h"
#include "frame/wnd_shadow.h"
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

}  // namespace

int RunApplication(HINSTANCE hInstance) {
  CWndShadow::Initialize(hInstance);  // without it windows simply have no shadow
  DuiLib::CPaintManagerUI::SetInstance(hInstance);
  RouteToolkitLog();
  veltrina::log("App init");

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
