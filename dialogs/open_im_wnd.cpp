#include "dialogs/open_im_wnd.h"

#include <algorithm>

#include "frame/window_manager.h"
#include "veltrina/director.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

OpenImWnd::OpenImWnd()
    : users_({L"聊天", true, kMsgImageReadyOpenIm}), direct_message_(&WindowManager::CloseOpenImWnd) {}

void OpenImWnd::InitWindow() {
  Users users = veltrina::UserManager::DefaultManager()->FetchUsersFromCache(veltrina::User::kStateNormal);
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (const veltrina::User* me = director ? director->me() : nullptr) {
    auto it = std::find_if(users.begin(), users.end(), [me](const auto& u) { return u->uid() == me->uid(); });
    if (it != users.end()) users.erase(it);
  }
  users_.Attach(m_PaintManager, Ref(), std::move(users));
}

void OpenImWnd::Notify(DuiLib::TNotifyUI& msg) {
  std::string uid;
  if (users_.OnNotify(msg)) {
  } else if (IsRowAction(msg, &uid)) {
    direct_message_.Start(uid, Ref());
  } else if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"closeBtn") {
    WindowManager::Instance()->CloseOpenImWnd();
  }
  FrameWnd::Notify(msg);
}

LRESULT OpenImWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (!users_.OnMessage(uMsg, lParam, lifetime_)) direct_message_.OnMessage(uMsg, lParam, lifetime_);
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void OpenImWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearOpenIm(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
