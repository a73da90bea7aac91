#pragma once
// What the three user-list windows (direct message, member list, add members) share: the search
// rule, the user row with its presence mark, avatar, name and one action button named
// "ueid_" + uid, the list that ties them together, and the direct message a chat button asks for.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core_bridge/window_bridge.h"
#include "dialogs/placeholder.h"
#include "dialogs/substring_search.h"
#include "duilib/UIlib.h"
#include "veltrina/user.h"

namespace veltrinawnd {

class WindowManager;

// Private messages of the three windows.
inline constexpr UINT kMsgImageReadyOpenIm = WM_USER + 11;      // send, ImageReadyRecord
inline constexpr UINT kMsgImageReadyMembers = WM_USER + 12;     // send, ImageReadyRecord
inline constexpr UINT kMsgNewImDone = WM_USER + 19;             // post, veltrina::IM
inline constexpr UINT kMsgNewImFailed = WM_USER + 20;           // post, none
inline constexpr UINT kMsgInviteDone = WM_USER + 23;            // post, std::string (UTF-8 uid)
inline constexpr UINT kMsgInviteFailed = WM_USER + 24;          // post, none
inline constexpr UINT kMsgImageReadyAddMembers = WM_USER + 32;  // send, ImageReadyRecord

inline constexpr wchar_t kUserSearchHint[] = L"搜索用户名";

using Users = std::vector<std::unique_ptr<veltrina::User>>;

// Clones of the users whose display name, else user name, holds filter as a bytewise UTF-8
// substring (so case counts), in order; an empty filter clones them all.
Users FilterUsers(const Users& users, const std::string& filter);

// The uid of a row's action button, from its name "ueid_" + uid; false for every other name.
bool ActionUid(const std::wstring& control_name, std::string* uid);
// A click on a row's action button; uid receives the row's uid.
bool IsRowAction(const DuiLib::TNotifyUI& msg, std::string* uid);

// Presence mark image for a presence code; null for codes other than 0 to 3.
const wchar_t* UserPresenceImage(int status);

inline constexpr DWORD kUserRowBk = 0xFFFFFFFF;
inline constexpr DWORD kUserRowAltBk = 0xFFF7F9FA;

struct UserRowStyle {
  const wchar_t* action_text;  // "聊天" or "邀请"
  bool plain_presence_mark;    // a plain control with a background image, not a button
  UINT image_message;          // the window's image-ready message
};

// The search box and result list of a user-list window, and the users behind them.
class UserListView {
 public:
  explicit UserListView(UserRowStyle style) : style_(style) {}

  // Finds `search` and `result_list`, puts the hint into the box and shows every user.
  void Attach(DuiLib::CPaintManagerUI& manager, bridge::WindowRef window, Users users);
  // The search box's setfocus, killfocus and textchanged; true when msg was one of them.
  bool OnNotify(const DuiLib::TNotifyUI& msg);
  // The image-ready message of the rows' avatars; true when message was it.
  bool OnMessage(UINT message, LPARAM lParam, bridge::WindowLifetime& lifetime);

  // Shows the users matching the box's text (all of them while it shows the hint).
  void Refilter();
  // Forgets the first user with this uid and takes its row away; false when none is listed. Does
  // not refilter.
  bool Erase(const std::string& uid);

  const Users& users() const { return users_; }
  const Users& shown() const { return shown_; }

 private:
  // Every user has one row, made once; a filter hides and shows rows instead of making them
  // again, so that a keystroke costs a pass over the users, not thousands of controls. A row is
  // filled in (avatar and all) when it is made or, below the first screen, when first painted.
  struct Row {
    DuiLib::CListContainerElementUI* element = nullptr;
    DuiLib::CButtonUI* avatar = nullptr;  // none before the row is filled in
  };

  void Show(const std::string& filter);
  Row AddRow(const veltrina::User& user, bool fill_now);
  // Fills in the row of this element, if it is still listed.
  void Fill(DuiLib::CListContainerElementUI* element);
  // The presence mark, avatar, name and action button of a user's row.
  DuiLib::CHorizontalLayoutUI* RowContent(const veltrina::User& user, DuiLib::CButtonUI** avatar_out) const;
  // Sets the avatar's image to the local path of the user's avatar and asks for the file.
  void ShowAvatar(DuiLib::CButtonUI* avatar, const std::string& header_url);

  UserRowStyle style_;
  DuiLib::CListUI* list_ = nullptr;
  Placeholder search_;
  bridge::WindowRef window_;
  Users users_;
  std::vector<Row> rows_;  // rows_[i] is users_[i]'s
  Users shown_;
  // The local path of every avatar file this window has asked the image cache for. Each file
  // is asked for once: a refill on every keystroke must not check the disk, log and start a
  // download again for each of thousands of rows.
  std::unordered_map<std::string, std::wstring> avatar_paths_;
  // The avatar buttons of the rows, by local path. An image that arrives goes to the buttons
  // showing its path; a row that was taken away is no longer here, and its button is never
  // touched.
  std::unordered_map<std::wstring, std::vector<DuiLib::CButtonUI*>> avatars_;
};

// The direct message that a row's chat button asks for. The answer comes back to the window as
// kMsgNewImDone (the IM) or kMsgNewImFailed; either closes the window through the window
// manager, and on success the main window shows the conversation.
class DirectMessageRequest {
 public:
  using Close = void (WindowManager::*)();
  explicit DirectMessageRequest(Close close) : close_(close) {}

  void Start(const std::string& uid, bridge::WindowRef window);
  // True when message was one of the two answers.
  bool OnMessage(UINT message, LPARAM lParam, bridge::WindowLifetime& lifetime);

 private:
  Close close_;
  // The first answer closes the window; answers to earlier clicks still queued behind it must
  // not open a second conversation.
  bool answered_ = false;
};

}  // namespace veltrinawnd
