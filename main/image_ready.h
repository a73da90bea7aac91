#pragma once
// Gives a button a cached image: its local path at once, and, when the file is not there yet,
// a download whose completion hands the path to the window with an image-ready message. The
// button gets a fresh serial tag so that a late answer for a replaced button is recognised.
#include <windows.h>

#include <string>

#include "core_bridge/window_bridge.h"
#include "duilib/UIlib.h"

namespace veltrinawnd {

void ShowCachedImage(DuiLib::CButtonUI* button, const std::string& address, const std::string& file_name,
                     bridge::WindowRef window, UINT message, const std::string& conversation_id = std::string(),
                     bool always_download = false);

}  // namespace veltrinawnd
