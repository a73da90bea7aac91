#pragma once
// Veltrina's windows as an outsider finds them: top-level classes and titles, and the native
// fields inside (checked against where skin_layout.h says the skin puts them, since the drawn
// buttons are clicked by that arithmetic).
#include <windows.h>

#include <string>

#include "smoke_user.h"

namespace smoke {

inline constexpr wchar_t kTeamClass[] = L"SubdomainWnd";
inline constexpr wchar_t kTeamTitle[] = L"登录团队";
inline constexpr wchar_t kLoginClass[] = L"LoginWindow";
inline constexpr wchar_t kLoginTitle[] = L"登录";
inline constexpr wchar_t kMainClass[] = L"MainWindow";
inline constexpr wchar_t kMainTitle[] = L"Veltrina";

HWND SubdomainEditOf(SmokeUser& user, HWND team_window);

struct LoginFields {
  HWND username = nullptr;
  HWND password = nullptr;  // the edit with ES_PASSWORD
};
LoginFields LoginFieldsOf(SmokeUser& user, HWND login_window);

// The composer chat_input: a native rich edit.
HWND ChatInputOf(SmokeUser& user, HWND main_window);
// Waits for the main window and for its layout (its composer where the skin puts it), so that
// clicks on its drawn controls land where skin_layout.h says.
HWND WaitForMainWindow(SmokeUser& user, const std::string& step);

}  // namespace smoke
