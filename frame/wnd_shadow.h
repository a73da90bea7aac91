#pragma once
// The soft drop shadow of a borderless window: a layered, click-through popup owned by the
// window. The class is registered once at start-up; each window creates its shadow in OnCreate.
#include <windows.h>

class CWndShadow {
 public:
  CWndShadow() = default;
  virtual ~CWndShadow() = default;
  CWndShadow(const CWndShadow&) = delete;
  CWndShadow& operator=(const CWndShadow&) = delete;

  // Registers the shadow window class; true when this call registered it.
  static bool Initialize(HINSTANCE hInstance);
  // Attaches a shadow to parent. Without layered-window support nothing happens.
  void Create(HWND hParent);
  void SetSize(int nSize);
  void SetPosition(int nXOffset, int nYOffset);

 private:
  HWND m_hWnd = static_cast<HWND>(INVALID_HANDLE_VALUE);
  LONG_PTR m_OriParentProc = 0;
  BYTE m_Status = 0;
  unsigned char m_nDarkness = 150;
  unsigned char m_nSharpness = 5;
  signed char m_nSize = 0;
  signed char m_nxOffset = 5;
  signed char m_nyOffset = 5;
  LPARAM m_WndSize = 0;
  bool m_bUpdate = false;
  COLORREF m_Color = RGB(0, 0, 0);
};
