#include "dialogs/file_details_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

FileDetailsWnd::FileDetailsWnd(const std::string& entity_id, int x, int y, int height) : FrameWnd(x, y, 320, height), entity_id_(entity_id), x_(x), y_(y), height_(height) {}

void FileDetailsWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearFileDetails(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
