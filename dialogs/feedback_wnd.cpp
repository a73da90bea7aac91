#include "dialogs/feedback_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

FeedbackWnd::FeedbackWnd() {}

void FeedbackWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearFeedback(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
