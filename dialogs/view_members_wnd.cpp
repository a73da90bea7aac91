#include "dialogs/view_members_wnd.h"

#include <algorithm>

#include "frame/window_manager.h"
#include "veltrina/channel_manager.h"

namespace veltrinawnd {

ViewMembersWnd::ViewMembersWnd(const std::string& channel_id)
    : channel_id_(channel_id),
      users_({L"聊天", false, kMsgImageReadyMembers}),
      direct_message_(&WindowManager::CloseViewMembersWnd) {}

void ViewMembersWnd::InitWindow() {
  Users members = veltrina::ChannelManager::DefaultManager()->FetchMembersOfChannelFromCache(channel_id_);
  // Online, busy and away all count as present; so do codes this client does not know.
  int present = static_cast<int>(std::count_if(members.begin(), members.end(), [](const auto& u) { return u->status() != 0; }));
  unsigned total = static_cast<unsigned>(members.size());
  users_.Attach(m_PaintManager, Ref(), std::move(members));
  if (DuiLib::CControlUI* title = m_PaintManager.FindControl(L"title_label"))
    title->SetText(L"群成员(" + std::to_wstring(present) + L"/" + std::to_wstring(total) + L")");
}

void ViewMembersWnd::Notify(DuiLib::TNotifyUI& msg) {
  std::string uid;
  if (users_.OnNotify(msg)) {
  } else if (IsRowAction(msg, &uid)) {
    direct_message_.Start(uid, Ref());
  } else if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"closeBtn") {
    WindowManager::Instance()->CloseViewMembersWnd();
  }
  FrameWnd::Notify(msg);
}

LRESULT ViewMembersWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (!users_.OnMessage(uMsg, lParam, lifetime_)) direct_message_.OnMessage(uMsg, lParam, lifetime_);
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void ViewMembersWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearViewMembers(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
