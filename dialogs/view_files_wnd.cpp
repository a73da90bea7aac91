#include "dialogs/view_files_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

ViewFilesWnd::ViewFilesWnd(const std::string& channel_id, int x, int y, int height, int channel_type) : FrameWnd(x, y, 320, height), channel_id_(channel_id), x_(x), y_(y), height_(height), channel_type_(channel_type) {}

void ViewFilesWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearViewFiles(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
