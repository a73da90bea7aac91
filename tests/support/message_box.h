#pragma once
// Real message boxes ("#32770" dialogs) as a user sees them: found, read and answered.
#include <windows.h>

#include <string>

namespace testkit {

// A visible message box of the given thread (0: this thread), or null.
HWND FindMessageBox(DWORD thread_id = 0);
// The box's message: the text of its Static child that has one (the icon's Static has none).
std::wstring MessageBoxText(HWND box);
std::wstring WindowTitle(HWND hwnd);
// Presses the box's button with this id, as its keyboard accelerator would.
void AnswerMessageBox(HWND box, int button_id = IDOK);

}  // namespace testkit
