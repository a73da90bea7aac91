#include "dialogs/join_channel_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

JoinChannelWnd::JoinChannelWnd(int channel_kind) : channel_kind_(channel_kind) {}

void JoinChannelWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearJoinChannel(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
