#pragma once
#include <windows.h>

namespace veltrinawnd {

// Copies the whole virtual screen (every monitor) to the clipboard as a CF_BITMAP, opened for
// owner. False, with the clipboard untouched, when the clipboard is held elsewhere or the
// bitmap cannot be made; the bitmap is never leaked.
bool CopyScreenToClipboard(HWND owner);

}  // namespace veltrinawnd
