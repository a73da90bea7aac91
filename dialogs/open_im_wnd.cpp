#include "dialogs/open_im_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

OpenImWnd::OpenImWnd() {}

void OpenImWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearOpenIm(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
