#pragma once
// Where the toolkit draws the controls that have no window of their own, in client coordinates,
// worked out from the skins in skin/*.xml and the rows of main/session_rows.cpp. Borders do not
// move children; paddings and insets do. Each window also has a native edit whose real position
// checks the arithmetic (kTop... below): when a skin changes, the tests say so instead of
// clicking beside the buttons.
#include <windows.h>

namespace smoke::layout {

// skin_domain_wnd.xml (400 x 420): caption row 40, logo row 64, title 14 + 36, hint 22, then the
// field row 22 + 40 (y 198..238) whose edit has text padding 10 at the top; continue_btn 16 + 40
// (y 254..294) between the 40-pixel insets.
inline constexpr int kTopOfSubdomainEdit = 198 + 10;
inline constexpr POINT kContinueButton{200, 274};

// skin_login_wnd.xml (400 x 460): caption 40, logo 56, team name 12 + 36, label 14 + 20, then
// username_edit 4 + 38 (y 182..220; border 1 and text padding 10 put the native edit at 193),
// label 12 + 20, password_edit 4 + 38 (y 256..294), login_btn 20 + 40 (y 314..354).
inline constexpr int kTopOfUsernameEdit = 182 + 1 + 10;
inline constexpr POINT kLoginButton{200, 334};

// skin_main_wnd.xml (960 x 640, resizable): a 230-pixel left panel (team header 56, buttons row 36,
// then sessionList) and on the right a 56-pixel header ending in customCloseBtn (44 wide), the
// conversation list chat_display, and a 150-pixel composer block: toolbar 36, then chat_input with
// padding 12,4,12,0 and text padding 4.
inline constexpr int kLeftPanelWidth = 230;
inline constexpr int kHeaderHeight = 56;
inline constexpr int kComposerBlockHeight = 150;
inline POINT TopLeftOfChatInput(SIZE client) {
  return POINT{kLeftPanelWidth + 12 + 4, client.cy - kComposerBlockHeight + 36 + 4 + 4};
}
inline POINT CloseButton(SIZE client) { return POINT{client.cx - 22, kHeaderHeight / 2}; }
inline RECT ConversationArea(SIZE client) {
  return RECT{kLeftPanelWidth + 1, kHeaderHeight + 1, client.cx - 1, client.cy - kComposerBlockHeight - 1};
}

// Session list rows (main/session_rows.cpp): 36 high, starting at y 92 (56 + 36): row 0 is the
// "频道" header, then the joined channels in the service's order: #general, #random, ...
inline constexpr int kFirstRowTop = 56 + 36;
inline constexpr int kRowHeight = 36;
inline POINT SessionRow(int index) { return POINT{110, kFirstRowTop + index * kRowHeight + kRowHeight / 2}; }
inline constexpr int kGeneralRow = 1;
inline constexpr int kRandomRow = 2;

}  // namespace smoke::layout
