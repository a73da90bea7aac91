#pragma once
// Steps and places shared by the outside-in tests: where the skins put things, and the user's way
// through the team and login windows into the main window.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "smoke_user.h"

namespace smoke {

// Where the skins (skin/*.xml, main/session_rows.cpp) put things, in client coordinates; the native edits check the
// arithmetic, so a moved skin is reported instead of clicked beside.
constexpr int kTopOfTeamEdit = 198 + 10, kTopOfUserNameEdit = 182 + 1 + 10;  // field row, border, padding
constexpr int kLeftPanel = 230, kHeader = 56, kComposer = 150;
inline POINT ChatInputTopLeft(SIZE c) { return POINT{kLeftPanel + 12 + 4, c.cy - kComposer + 36 + 4 + 4}; }
inline POINT CloseButton(SIZE c) { return POINT{c.cx - 22, kHeader / 2}; }
constexpr POINT kGeneralRow{110, kHeader + 36 + 36 + 18};  // 36-high rows: buttons, the "频道" header, #general
inline RECT ConversationArea(SIZE c) { return RECT{kLeftPanel + 1, kHeader + 1, c.cx - 1, c.cy - kComposer - 1}; }
SIZE ClientSize(HWND hwnd);

// The window's native edit (the password one when asked), once laid out where the skin says (x or y < 0: anywhere).
HWND LaidOutField(SmokeUser& user, HWND window, const wchar_t* cls, bool password, POINT expected);

// The tray icon has no window: it is the only icon at the right end of the Wine taskbar, found by its pixels.
POINT TrayIcon(SmokeUser& user);

struct LoginWindow {
  HWND window, name, password;
};

// The team window answered with team demo; returns the login window that follows it.
LoginWindow EnterTeamDemo(SmokeUser& user, bool first_start);

// Signs in as alice; returns the main window once its composer is laid out.
HWND SignIn(SmokeUser& user, const LoginWindow& login);

// The conversation is drawn by the toolkit: no native window, no text to read, only pixels.
std::vector<uint32_t> Conversation(HWND main);

// Opens #general and waits until a conversation is drawn (avatars and text: many colours); returns its pixels.
std::vector<uint32_t> OpenGeneral(SmokeUser& user, HWND main);

// "alice in #general" for the demo team's message with this content, as the embedded service stores it, or why not.
std::string StoredMessage(const std::string& content);

}  // namespace smoke
