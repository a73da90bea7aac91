#include "dialogs/upload_file_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

UploadFileWnd::UploadFileWnd(const std::string& conversation_id, const std::string& file, int kind) : conversation_id_(conversation_id), file_(file), kind_(kind) {}

void UploadFileWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearUploadFile(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
