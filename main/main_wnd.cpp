#include "main/main_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

void MainWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearMain();
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
