#pragma once
// Basic types shared by every part of the toolkit: strings, notifications, events, interfaces.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "UIString.h"

namespace DuiLib {

using STRINGorID = const wchar_t*;

class CControlUI;
class CPaintManagerUI;

// A control's notification to the windows that listen ("click", "return", "link", ...).
struct TNotifyUI {
  CDuiString sType;
  CDuiString sVirtualWnd;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

// Sees a window's messages before the toolkit dispatches them.
class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

// Lets a window create the controls of its own that a skin names.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(const wchar_t* pstrClass) = 0;
};

// Base of the windows that route notifications by hand; it carries no state of its own.
class CNotifyPump {
 public:
  virtual ~CNotifyPump() = default;
};

// Notification type names.
inline constexpr wchar_t DUI_MSGTYPE_CLICK[] = L"click";
inline constexpr wchar_t DUI_MSGTYPE_RETURN[] = L"return";
inline constexpr wchar_t DUI_MSGTYPE_TEXTCHANGED[] = L"textchanged";
inline constexpr wchar_t DUI_MSGTYPE_ITEMSELECT[] = L"itemselect";
inline constexpr wchar_t DUI_MSGTYPE_ITEMCLICK[] = L"itemclick";
inline constexpr wchar_t DUI_MSGTYPE_ITEMRCLICK[] = L"itemrclick";
inline constexpr wchar_t DUI_MSGTYPE_ITEMACTIVATE[] = L"itemactivate";
inline constexpr wchar_t DUI_MSGTYPE_LINK[] = L"link";
inline constexpr wchar_t DUI_MSGTYPE_SETFOCUS[] = L"setfocus";
inline constexpr wchar_t DUI_MSGTYPE_KILLFOCUS[] = L"killfocus";
inline constexpr wchar_t DUI_MSGTYPE_RICHEDIT_CLICK[] = L"richedit_click";
inline constexpr wchar_t DUI_MSGTYPE_WINDOWINIT[] = L"windowinit";
inline constexpr wchar_t DUI_MSGTYPE_SCROLL[] = L"scroll";

enum EventType {
  UIEVENT_MOUSEMOVE = 1,
  UIEVENT_MOUSELEAVE,
  UIEVENT_MOUSEENTER,
  UIEVENT_BUTTONDOWN,
  UIEVENT_BUTTONUP,
  UIEVENT_DBLCLICK,
  UIEVENT_RBUTTONDOWN,
  UIEVENT_RBUTTONUP,
  UIEVENT_SCROLLWHEEL,
  UIEVENT_KEYDOWN,
  UIEVENT_CHAR,
  UIEVENT_SETFOCUS,
  UIEVENT_KILLFOCUS,
  UIEVENT_SETCURSOR,
};

struct TEventUI {
  int Type = 0;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  wchar_t chKey = 0;
  WORD wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Text style flags of labels (DrawTextW flags).
inline constexpr UINT DT_DEFAULT_LABEL = DT_LEFT | DT_VCENTER | DT_SINGLELINE;

// Diagnostics of the toolkit (malformed skins, unknown attributes). Windows applications route
// them to their own log; by default they go to the debugger output and stderr.
using LogHandler = std::function<void(const std::wstring&)>;
void SetLogHandler(LogHandler handler);
void Log(const wchar_t* format, ...);

}  // namespace DuiLib
