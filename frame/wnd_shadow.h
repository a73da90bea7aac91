#pragma once
// The soft drop shadow of a borderless window: a layered, click-through popup owned by the
// window. It is drawn from the window's region and follows the window: moving only moves it,
// resizing redraws it. The class is registered once at start-up; each window creates its shadow
// in OnCreate.
#include <windows.h>

class CWndShadow {
 public:
  CWndShadow();
  // A shadow that goes before its parent hands the parent its own procedure back, so that no
  // later message reaches a dead object, and takes its window with it.
  virtual ~CWndShadow();
  CWndShadow(const CWndShadow&) = delete;
  CWndShadow& operator=(const CWndShadow&) = delete;

  // Registers the shadow window class; true when this call registered it.
  static bool Initialize(HINSTANCE hInstance);
  // Attaches a shadow to parent. Without layered-window support nothing happens; a window has
  // at most one shadow.
  void Create(HWND hParent);
  // Both redraw at once while the shadow is shown.
  void SetSize(int nSize);
  void SetPosition(int nXOffset, int nYOffset);
  // Redraws the shadow for the parent's current rectangle.
  void Update(HWND hParent);

  // The shadow attached to a window, or null.
  static CWndShadow* FromParent(HWND hParent);
  // The shadow window: INVALID_HANDLE_VALUE before Create, null once the parent is destroyed.
  HWND GetHWND() const { return m_hWnd; }
  // How often the shadow bitmap was drawn (moving the parent only moves the shadow window).
  int update_count() const { return m_nUpdates; }

  // Draws the shadow of a parent whose window rectangle is rcParent into pBits: a zeroed,
  // bottom-up, premultiplied 32-bit image of the whole shadow (the parent grown by the size on
  // each side), or, with rcPart, of that part of it in shadow coordinates.
  void MakeShadow(UINT32* pBits, HWND hParent, const RECT& rcParent) const;
  void MakeShadow(UINT32* pBits, HWND hParent, const RECT& rcParent, const RECT& rcPart) const;

 private:
  static LRESULT CALLBACK ParentProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  void OnParentMessage(HWND hParent, UINT uMsg, WPARAM wParam, LPARAM lParam);
  void OnParentSize(HWND hParent, WPARAM wParam, LPARAM lParam);
  void MoveToParent(HWND hParent);
  bool HasWindow() const;

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
  // The bitmap covers only the visible part of a shadow too large for the screen; such a
  // shadow is redrawn, not just moved, when its parent moves.
  bool m_bPartial = false;
  int m_nUpdates = 0;
};
