#pragma once
// The three small menus of the main window's header: team, personal, and new direct message or
// channel. Each is a captionless window at the mouse that passes its item clicks to the main
// window and closes on a choice, on a click outside it or when the application loses the
// foreground. Like Windows' own menus it is never activated and holds the mouse capture: the main
// window keeps the focus, and Wine leaves the menu to no window manager, which would give it the
// focus or not at its own choosing. They are the only windows that own themselves: nothing waits
// for them, so each frees itself once its window is gone.
#include "frame/frame_wnd.h"

namespace veltrinawnd {

class PopupMenuWnd : public FrameWnd {
 public:
  ~PopupMenuWnd() override;
  // Menu objects alive now (created and not yet freed).
  static int LiveCount();
  // Creates the window owned by the owner's window and moves it to the owner's client point.
  // False when the window could not be created; the caller then still owns the object.
  bool Open(POINT client_point);

 protected:
  explicit PopupMenuWnd(DuiLib::CPaintManagerUI* owner);
  virtual const wchar_t* Title() const { return L"TeamMenuWnd"; }

  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;
  bool HasShadow() const override { return false; }

  DuiLib::CPaintManagerUI* owner_;

 private:
  // Hides the menu, lets the capture go and closes it.
  void Dismiss();

  HWND owner_window_;
  bool opened_ = false;
  bool dismissed_ = false;  // hidden on its way out: no more capture
  // Handlers of this window still on the stack. An item click runs the main window's command,
  // which may run a modal window whose loop closes this menu; the object must outlive them.
  int depth_ = 0;
  bool finished_ = false;
};

class TeamMenuWnd : public PopupMenuWnd {
 public:
  explicit TeamMenuWnd(DuiLib::CPaintManagerUI* owner) : PopupMenuWnd(owner) {}

 protected:
  const wchar_t* GetWindowClassName() const override { return L"TeamMenuWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_team_menu.xml"; }
  void InitWindow() override;
};

class PersonalMenuWnd : public PopupMenuWnd {
 public:
  explicit PersonalMenuWnd(DuiLib::CPaintManagerUI* owner) : PopupMenuWnd(owner) {}

 protected:
  const wchar_t* GetWindowClassName() const override { return L"PersonalMenuWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_personal_menu.xml"; }
  const wchar_t* Title() const override { return L"个人设置"; }
};

class ImOrChannelMenuWnd : public PopupMenuWnd {
 public:
  explicit ImOrChannelMenuWnd(DuiLib::CPaintManagerUI* owner) : PopupMenuWnd(owner) {}

 protected:
  const wchar_t* GetWindowClassName() const override { return L"ImOrChannelMenuWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_open_im_or_channel.xml"; }
};

// Shows a new menu of this kind for the owner at its client point; the menu frees itself.
// Returns it, or null when its window could not be created.
template <typename Menu>
Menu* ShowPopupMenu(DuiLib::CPaintManagerUI* owner, POINT client_point) {
  auto* menu = new Menu(owner);
  if (menu->Open(client_point)) return menu;
  delete menu;
  return nullptr;
}

}  // namespace veltrinawnd
