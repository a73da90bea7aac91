#include "frame/wnd_shadow.h"

namespace {
using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
HINSTANCE g_instance = nullptr;
UpdateLayeredWindowFn g_updateLayeredWindow = nullptr;
}  // namespace

bool CWndShadow::Initialize(HINSTANCE hInstance) {
  if (g_updateLayeredWindow) return false;
  HMODULE user32 = GetModuleHandleW(L"USER32.DLL");
  if (!user32) return false;
  g_updateLayeredWindow =
      reinterpret_cast<UpdateLayeredWindowFn>(reinterpret_cast<void*>(GetProcAddress(user32, "UpdateLayeredWindow")));
  if (!g_updateLayeredWindow) return false;
  g_instance = hInstance;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = hInstance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"DuskShadowWnd";
  RegisterClassExW(&wc);
  return true;
}

// The shadow is drawn by a later piece of work; until then windows simply have none, which is
// exactly what happens on systems without layered windows.
void CWndShadow::Create(HWND) {}

void CWndShadow::SetSize(int nSize) { m_nSize = static_cast<signed char>(nSize); }

void CWndShadow::SetPosition(int nXOffset, int nYOffset) {
  m_nxOffset = static_cast<signed char>(nXOffset);
  m_nyOffset = static_cast<signed char>(nYOffset);
}
