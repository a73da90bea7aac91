#pragma once
// A Win32 window owned by a C++ object, with the modal loop every top-level window runs.
#include "UIDefine.h"

namespace DuiLib {

class CWindowWnd {
 public:
  CWindowWnd() = default;
  virtual ~CWindowWnd() = default;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // The object behind a window this class created, or null.
  static CWindowWnd* FromHandle(HWND hWnd);

  bool RegisterWindowClass();
  HWND Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle,
              int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT,
              int cy = CW_USEDEFAULT, HMENU hMenu = nullptr);
  HWND Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle,
              const RECT rc, HMENU hMenu = nullptr);

  // Runs the window modally: disables its owner, pumps messages until the window is gone or
  // WM_QUIT arrives (which it posts again so every enclosing loop ends too; the window is
  // destroyed then, as its object does not outlive this call). Returns the
  // value passed to Close(), or IDCANCEL when the window closed otherwise; at once when the
  // window was never created.
  UINT ShowModal();
  // Posts WM_CLOSE with nRet; the window closes when its loop dispatches it.
  void Close(UINT nRet = IDOK);
  void ShowWindow(bool bShow = true, bool bTakeFocus = true);
  void CenterWindow();
  void SetIcon(UINT nRes);

  LRESULT SendWindowMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT PostWindowMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

 protected:
  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual const wchar_t* GetSuperClassName() const { return nullptr; }
  virtual UINT GetClassStyle() const { return 0; }
  virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND hWnd);

  static LRESULT CALLBACK __WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
  UINT m_nModalResult = IDCANCEL;
};

}  // namespace DuiLib
