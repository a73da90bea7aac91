#include "main/popup_menus.h"

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
  if (!Create(owner_window_, Title(), kFrameStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
              CW_USEDEFAULT))
    return false;
  opened_ = true;
  ClientToScreen(owner_window_, &client_point);
  SetWindowPos(m_hWnd, nullptr, client_point.x, client_point.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void PopupMenuWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"itemclick") {
    // The owner acts on the item before the menu goes away. Its window may be gone already
    // (the menu's own window then goes with it): then there is nobody to tell.
    if (owner_ && IsWindow(owner_window_)) owner_->SendNotify(msg);
    Close(1);
    return;
  }
  FrameWnd::Notify(msg);
}

LRESULT PopupMenuWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_KILLFOCUS) Close(1);
  ++depth_;
  LRESULT result = FrameWnd::HandleMessage(uMsg, wParam, lParam);
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
