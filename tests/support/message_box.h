#pragma once
// Real message boxes ("#32770" dialogs) as a user sees them: found, read and answered.
#include <windows.h>

#include <string>

namespace testkit {

HWND FindMessageBox(DWORD thread_id = 0);  // a visible box of that thread (0: this one), or null
// The text of its Static child that has one (the icon's Static has none).
std::wstring MessageBoxText(HWND box);
std::wstring WindowTitle(HWND hwnd);
void AnswerMessageBox(HWND box, int button_id = IDOK);  // as the button's accelerator would

}  // namespace testkit
