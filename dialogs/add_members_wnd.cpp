#include "dialogs/add_members_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

AddMembersWnd::AddMembersWnd(const std::string& channel_id) : channel_id_(channel_id) {}

void AddMembersWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearAddMembers(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
