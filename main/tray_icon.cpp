#include "main/tray_icon.h"

#include "app/system_seam.h"
#include "main/main_messages.h"
#include "veltrina/director.h"

namespace veltrinawnd {

TrayIcon::~TrayIcon() {
  Remove();
  if (menu_) DestroyMenu(menu_);
  if (colour_) DestroyIcon(colour_);
  if (grey_) DestroyIcon(grey_);
}

void TrayIcon::FillRecord() {
  data_.cbSize = sizeof(NOTIFYICONDATAW);
  data_.hWnd = owner_;
  data_.uID = 0;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = kMsgTrayCallback;
  wcscpy_s(data_.szTip, L"Veltrina");
}

void TrayIcon::Add(HWND owner) {
  owner_ = owner;
  colour_ = static_cast<HICON>(LoadImageW(nullptr, L"Veltrina.ico", IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
  grey_ = static_cast<HICON>(LoadImageW(nullptr, L"VeltrinaGrey.ico", IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
  FillRecord();
  data_.hIcon = colour_;
  added_ = System().NotifyIcon(NIM_ADD, &data_) != FALSE;
  SetTimer(owner_, kTimerNetworkCheck, 10000, nullptr);
  menu_ = CreatePopupMenu();
  AppendMenuW(menu_, MF_STRING, kCmdFeedback, L"意见反馈");
  AppendMenuW(menu_, MF_STRING, kCmdExit, L"退出Veltrina");
}

void TrayIcon::Remove() {
  if (!added_) return;
  System().NotifyIcon(NIM_DELETE, &data_);
  added_ = false;
}

void TrayIcon::Modify(HICON icon) {
  data_.hIcon = icon;
  System().NotifyIcon(NIM_MODIFY, &data_);
}

void TrayIcon::OnNetworkCheck() {
  DWORD flags = 0;
  bool connected = System().InternetConnected(&flags) != FALSE;
  if (connected == connected_) return;
  FillRecord();
  if (connected) {
    Modify(colour_);
    connected_ = true;
    if (veltrina::Director* director = veltrina::Director::DefaultDirector()) director->Connect(30, [](bool) {});
  } else {
    Modify(grey_);
    connected_ = false;
  }
}

void TrayIcon::OnFlashTick() { Modify(data_.hIcon == colour_ ? nullptr : colour_); }

void TrayIcon::StartFlashing() { SetTimer(owner_, kTimerTrayFlash, 400, nullptr); }

void TrayIcon::OnUnreadTotal(unsigned total) {
  FLASHWINFO flash{sizeof(FLASHWINFO), owner_, 0, 0, 0};
  if (total > 0) {
    StartFlashing();
    flash.dwFlags = FLASHW_TRAY;
    flash.uCount = 3;
    flash.dwTimeout = 400;
  } else {
    KillTimer(owner_, kTimerTrayFlash);
    Modify(colour_);
    flash.dwFlags = FLASHW_STOP;
  }
  System().FlashTaskbar(&flash);
}

void TrayIcon::OnConnectionState(int state) {
  if (state != 1 && state != 2) return;
  Modify(grey_);
  ShowBalloon(L"与服务器连接中断", state == 1 ? L"与服务器连接中断，Veltrina正在尝试重新连接" : L"连接失败");
  connected_ = false;
}

bool TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
  if (!added_) return false;
  // The balloon travels alone; the icon fields stay as they are for the next modification.
  UINT flags = data_.uFlags;
  data_.uFlags = NIF_INFO;
  wcsncpy_s(data_.szInfo, text.c_str(), _TRUNCATE);
  wcsncpy_s(data_.szInfoTitle, title.c_str(), _TRUNCATE);
  data_.uTimeout = 5000;
  data_.dwInfoFlags = NIIF_INFO;
  bool shown = System().NotifyIcon(NIM_MODIFY, &data_) != FALSE;
  data_.uFlags = flags;
  data_.szInfo[0] = 0;
  data_.szInfoTitle[0] = 0;
  return shown;
}

UINT TrayIcon::TrackMenu() {
  POINT pt;
  GetCursorPos(&pt);
  SetForegroundWindow(owner_);
  return static_cast<UINT>(System().TrackMenu(menu_, TPM_RETURNCMD, pt.x, pt.y, owner_));
}

}  // namespace veltrinawnd
