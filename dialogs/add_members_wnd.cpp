#include "dialogs/add_members_wnd.h"

#include <unordered_set>

#include "frame/window_manager.h"
#include "veltrina/channel_manager.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

AddMembersWnd::AddMembersWnd(const std::string& channel_id)
    : channel_id_(channel_id), users_({L"邀请", false, kMsgImageReadyAddMembers}) {}

void AddMembersWnd::InitWindow() {
  // The members are read once, not once per user: a large team would make that quadratic.
  std::unordered_set<std::string> members;
  for (const auto& m : veltrina::ChannelManager::DefaultManager()->FetchMembersOfChannelFromCache(channel_id_))
    members.insert(m->uid());
  // Nobody invites themselves, even to a channel the cache does not know.
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (const veltrina::User* me = director ? director->me() : nullptr) members.insert(me->uid());
  Users candidates;
  for (auto& user : veltrina::UserManager::DefaultManager()->FetchUsersFromCache(veltrina::User::kStateNormal))
    if (!members.count(user->uid())) candidates.push_back(std::move(user));
  users_.Attach(m_PaintManager, Ref(), std::move(candidates));
}

void AddMembersWnd::Notify(DuiLib::TNotifyUI& msg) {
  std::string uid;
  if (users_.OnNotify(msg)) {
  } else if (IsRowAction(msg, &uid)) {
    Invite(uid);
  } else if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"closeBtn") {
    WindowManager::Instance()->CloseAddMembersWnd();
  }
  FrameWnd::Notify(msg);
}

void AddMembersWnd::Invite(const std::string& uid) {
  // Every click asks again, also while an earlier invitation of the same member is pending.
  veltrina::ChannelManager::DefaultManager()->InviteToChannel(
      channel_id_, uid, [window = Ref(), uid](bool ok, const std::string&) {
        if (ok) bridge::Post(window, kMsgInviteDone, std::make_unique<std::string>(uid));
        else bridge::PostValue(window, kMsgInviteFailed, 0);
      });
}

void AddMembersWnd::OnInvited(LPARAM lParam) {
  std::unique_ptr<std::string> invited = lifetime_.Receive<std::string>(lParam);
  if (!invited) return;
  std::string uid = std::move(*invited);
  invited.reset();
  if (users_.Erase(uid)) veltrina::log("Find this guy %s", uid.c_str());
  users_.Refilter();
}

LRESULT AddMembersWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // A failed invitation (kMsgInviteFailed) changes nothing: the row stays and can be clicked again.
  if (uMsg == kMsgInviteDone) OnInvited(lParam);
  else users_.OnMessage(uMsg, lParam, lifetime_);
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void AddMembersWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearAddMembers(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
