#include "main/popup_menus.h"

#include <windowsx.h>

#include "veltrina/director.h"
#include "veltrina/user.h"

namespace veltrinawnd {

namespace {
int g_live_menus = 0;
constexpr DWORD kGreyText = 0xFFBABABA;
constexpr int64_t kManageServicesPermission = 0x4000;
constexpr int kAdministratorRole = 4;

void Disable(DuiLib::CPaintManagerUI& pm, const wchar_t* item, const wchar_t* label) {
  if (DuiLib::CControlUI* control = pm.FindControl(item)) control->SetEnabled(false);
  if (auto* text = dynamic_cast<DuiLib::CLabelUI*>(pm.FindControl(label))) text->SetTextColor(kGreyText);
}
}  // namespace

int PopupMenuWnd::LiveCount() { return g_live_menus; }

PopupMenuWnd::PopupMenuWnd(DuiLib::CPaintManagerUI* owner)
    : owner_(owner), owner_window_(owner ? owner->GetPaintWindow() : nullptr) {
  ++g_live_menus;
}

PopupMenuWnd::~PopupMenuWnd() { --g_live_menus; }

bool PopupMenuWnd::Open(POINT client_point) {
  if (!owner_window_ || !IsWindow(owner_window_)) return false;
  if (!Create(owner_window_, Title(), WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT))
    return false;
  opened_ = true;
  ClientToScreen(owner_window_, &client_point);
  SetWindowPos(m_hWnd, HWND_TOP, client_point.x, client_point.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
  ::SetCapture(m_hWnd);
  return true;
}

void PopupMenuWnd::Dismiss() {
  if (dismissed_) return;
  dismissed_ = true;
  ::ShowWindow(m_hWnd, SW_HIDE);
  if (::GetCapture() == m_hWnd) ::ReleaseCapture();
  Close(1);
}

void PopupMenuWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"itemclick") {
    // Gone from the screen before the owner acts: the item may open a modal window, which must
    // get the clicks. The owner's window may be gone already (the menu's own window then goes
    // with it): then there is nobody to tell.
    Dismiss();
    if (owner_ && IsWindow(owner_window_)) owner_->SendNotify(msg);
    return;
  }
  FrameWnd::Notify(msg);
}

LRESULT PopupMenuWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_ACTIVATEAPP:
      if (!wParam) Dismiss();  // another program came to the front
      break;
    case WM_CAPTURECHANGED:
      // Taken by another window, not let go by this menu's own handlers (a press ends with it).
      if (depth_ == 0 && reinterpret_cast<HWND>(lParam) != m_hWnd) Dismiss();
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      // The capture brings clicks on other windows here, in this window's coordinates.
      RECT client{};
      GetClientRect(m_hWnd, &client);
      if (!PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
        Dismiss();
        return 0;
      }
      break;
    }
    default:
      break;
  }
  ++depth_;
  LRESULT result = FrameWnd::HandleMessage(uMsg, wParam, lParam);
  // Clicks outside must keep coming here while the menu is up.
  if (depth_ == 1 && !finished_ && !dismissed_ && m_hWnd && ::IsWindowVisible(m_hWnd) && ::GetCapture() != m_hWnd)
    ::SetCapture(m_hWnd);
  if (--depth_ == 0 && finished_) delete this;  // the window went while this handler ran
  return result;
}

void PopupMenuWnd::OnFinalMessage(HWND hWnd) {
  FrameWnd::OnFinalMessage(hWnd);
  if (!opened_) return;  // creation failed: Open's caller frees the object
  if (depth_ > 0) finished_ = true;
  else delete this;
}

void TeamMenuWnd::InitWindow() {
  const veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (!director || !director->HasPermission(kManageServicesPermission))
    Disable(m_PaintManager, L"menu_config_service", L"menu_config_label");
  if (!director || !director->me() || director->me()->role() != kAdministratorRole) {
    Disable(m_PaintManager, L"menu_config_team", L"menu_config_team_label");
    Disable(m_PaintManager, L"menu_invite_members", L"menu_invite_members_label");
  }
}

}  // namespace veltrinawnd
