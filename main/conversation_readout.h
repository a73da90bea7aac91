#pragma once
// The open conversation as plain text, for assistive tools and outside-in tests: the conversation
// is drawn by the toolkit and has no native window whose text could be read. A hidden child of
// the main window (class kConversationReadoutClass) answers WM_GETTEXT with the text of every
// label of the conversation's rows, one per line, built on the UI thread when asked.
#include <windows.h>

#include <string>

#include "duilib/UIlib.h"

namespace veltrinawnd {

inline constexpr wchar_t kConversationReadoutClass[] = L"VeltrinaConversationText";

// The labels of the list's rows in order, one per line.
std::wstring ConversationText(DuiLib::CListUI* list);

// Creates the hidden child that reads `list` when asked; null when it cannot.
HWND CreateConversationReadout(HWND parent, DuiLib::CListUI* list);

}  // namespace veltrinawnd
