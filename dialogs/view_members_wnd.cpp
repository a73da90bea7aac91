#include "dialogs/view_members_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

ViewMembersWnd::ViewMembersWnd(const std::string& channel_id) : channel_id_(channel_id) {}

void ViewMembersWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearViewMembers(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
