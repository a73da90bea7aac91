#include "dialogs/create_channel_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

CreateChannelWnd::CreateChannelWnd(int channel_kind) : channel_kind_(channel_kind) {}

void CreateChannelWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearCreateChannel(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
