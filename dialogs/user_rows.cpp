#include "dialogs/user_rows.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "app/constants.h"
#include "app/storage.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main/image_ready.h"
#include "main/main_messages.h"
#include "main/main_wnd.h"
#include "veltrina/im.h"
#include "veltrina/im_manager.h"

namespace veltrinawnd {

using DuiLib::CButtonUI;
using DuiLib::CControlUI;
using DuiLib::CHorizontalLayoutUI;
using DuiLib::CLabelUI;
using DuiLib::CListContainerElementUI;

namespace {
constexpr wchar_t kActionPrefix[] = L"ueid_";

// The rows a first look at a list can show are filled in at once; the others (their presence
// mark, avatar, name and button) when they are first painted. A list of thousands of members then
// makes one control per row while the window opens, not six: most of that time went into the
// memory of the controls, each page of which costs on first use, and into naming each avatar's
// local path, which writes a log line.
constexpr int kRowHeight = 50;

// How many rows the window can show at its present height.
size_t RowsOnFirstScreen(HWND window) {
  RECT client{};
  if (!window || !GetClientRect(window, &client)) return 24;
  return static_cast<size_t>(std::max<LONG>(client.bottom - client.top, 0) / kRowHeight + 1);
}

// A row that runs a task once, before it is first painted, and places what the task added.
class UserRowUI : public CListContainerElementUI {
 public:
  void SetBeforePaint(std::function<void()> task) { before_paint_ = std::move(task); }
  void DoPaint(HDC hDC, const RECT& rcPaint) override {
    if (before_paint_) {
      std::exchange(before_paint_, nullptr)();
      SetPos(GetPos(), false);
    }
    CListContainerElementUI::DoPaint(hDC, rcPaint);
  }

 private:
  std::function<void()> before_paint_;
};

bool Matches(const SubstringSearch& search, const std::unique_ptr<veltrina::User>& user) {
  return user && (search.FoundIn(user->display_name()) || search.FoundIn(user->user_name()));
}
}  // namespace

// ---- search rule ----

Users FilterUsers(const Users& users, const std::string& filter) {
  Users shown;
  SubstringSearch search(filter);
  for (const auto& user : users)
    if (Matches(search, user)) shown.push_back(user->Clone());
  return shown;
}

bool ActionUid(const std::wstring& control_name, std::string* uid) {
  // The uid is everything after the prefix: uids may hold "_" themselves.
  const std::wstring_view prefix = kActionPrefix;
  if (control_name.size() <= prefix.size() || control_name.compare(0, prefix.size(), prefix) != 0) return false;
  if (uid) *uid = Utf16ToUtf8(control_name.substr(prefix.size()));
  return true;
}

bool IsRowAction(const DuiLib::TNotifyUI& msg, std::string* uid) {
  return msg.sType == L"click" && msg.pSender && ActionUid(msg.pSender->GetName(), uid);
}

const wchar_t* UserPresenceImage(int status) {
  switch (status) {
    case 0: return L"status/status_offline_small.png";
    case 1: return L"status/status_online_normal.png";
    case 2: return L"status/status_busy_normal.png";
    case 3: return L"status/status_away_normal.png";
    default: return nullptr;
  }
}

// ---- the list ----

void UserListView::Attach(DuiLib::CPaintManagerUI& manager, bridge::WindowRef window, Users users) {
  window_ = std::move(window);
  users_ = std::move(users);
  search_ = Placeholder(manager.FindControl(L"search"), kUserSearchHint, {0xFF232A32, 0xFF9AA0A6});
  search_.Show();
  list_ = dynamic_cast<DuiLib::CListUI*>(manager.FindControl(L"result_list"));
  rows_.clear();
  rows_.reserve(users_.size());
  const size_t filled_at_once = RowsOnFirstScreen(manager.GetPaintWindow());
  for (const auto& user : users_) rows_.push_back(list_ && user ? AddRow(*user, rows_.size() < filled_at_once) : Row{});
  Show(std::string());
}

bool UserListView::OnNotify(const DuiLib::TNotifyUI& msg) {
  if (search_.OnNotify(msg)) return true;
  if (msg.sType != L"textchanged" || !search_.edit() || msg.pSender != search_.edit()) return false;
  // The hint is not a filter: the list stays as it is.
  if (!search_.Showing()) Show(Utf16ToUtf8(search_.edit()->GetText()));
  return true;
}

void UserListView::Refilter() { Show(Utf16ToUtf8(search_.Value())); }

bool UserListView::Erase(const std::string& uid) {
  auto it = std::find_if(users_.begin(), users_.end(), [&uid](const auto& u) { return u && u->uid() == uid; });
  if (it == users_.end()) return false;
  Row row = std::move(rows_[static_cast<size_t>(it - users_.begin())]);
  rows_.erase(rows_.begin() + (it - users_.begin()));
  users_.erase(it);
  for (auto known = avatars_.begin(); row.avatar && known != avatars_.end();) {
    std::erase(known->second, row.avatar);
    known = known->second.empty() ? avatars_.erase(known) : std::next(known);
  }
  if (list_ && row.element) list_->Remove(row.element);
  return true;
}

void UserListView::Show(const std::string& filter) {
  shown_.clear();
  SubstringSearch search(filter);
  int index = 0;  // among the rows on show, for the alternating background
  for (size_t i = 0; i < users_.size(); ++i) {
    const auto& user = users_[i];
    const bool match = Matches(search, user);
    if (match) shown_.push_back(user->Clone());
    DuiLib::CListContainerElementUI* row = rows_[i].element;
    if (!row) continue;
    if (match) {
      const DWORD bk = index++ % 2 ? kUserRowAltBk : kUserRowBk;
      if (row->GetBkColor() != bk) row->SetBkColor(bk);
    }
    row->SetVisible(match);
  }
  if (!list_) return;
  // A selected row that no longer shows is no longer selected; one that still shows stays so.
  if (DuiLib::CControlUI* selected = list_->GetItemAt(list_->GetCurSel()); selected && !selected->IsVisible())
    list_->SelectItem(-1, false, false);
  // Each filter shows its result from the top.
  if (DuiLib::CScrollBarUI* bar = list_->GetVerticalScrollBar()) bar->SetScrollPos(0);
  list_->NeedUpdate();
}

UserListView::Row UserListView::AddRow(const veltrina::User& user, bool fill_now) {
  auto* row = new UserRowUI;
  row->SetFixedHeight(kRowHeight);
  row->SetBkColor(kUserRowBk);
  if (fill_now) {
    CButtonUI* avatar = nullptr;
    row->Add(RowContent(user, &avatar));
    list_->Add(row);  // in the window before the avatar's image can come back
    ShowAvatar(avatar, user.header_url());
    return Row{row, avatar};
  }
  list_->Add(row);
  row->SetBeforePaint([this, row] { Fill(row); });
  return Row{row, nullptr};
}

void UserListView::Fill(CListContainerElementUI* element) {
  auto row = std::find_if(rows_.begin(), rows_.end(), [element](const Row& r) { return r.element == element; });
  if (row == rows_.end()) return;
  const auto& user = users_[static_cast<size_t>(row - rows_.begin())];
  if (!user) return;
  element->Add(RowContent(*user, &row->avatar));
  ShowAvatar(row->avatar, user->header_url());
}

DuiLib::CHorizontalLayoutUI* UserListView::RowContent(const veltrina::User& user, CButtonUI** avatar_out) const {
  // Put together first and added whole: each control added to a row in the window would ask the
  // window for a layout again.
  auto* content = new CHorizontalLayoutUI;
  content->SetFixedHeight(kRowHeight);

  const wchar_t* presence = UserPresenceImage(user.status());
  CControlUI* mark = nullptr;
  if (style_.plain_presence_mark) {
    mark = new CControlUI;
    if (presence) mark->SetBkImage(presence);
  } else {
    auto* button = new CButtonUI;
    if (presence) button->SetNormalImage(presence);
    mark = button;
  }
  mark->SetFixedWidth(8);
  mark->SetFixedHeight(8);
  mark->SetPadding(RECT{8, 20, 0, 0});
  mark->SetMouseEnabled(false);
  content->Add(mark);

  auto* avatar = new CButtonUI;
  avatar->SetFixedWidth(30);
  avatar->SetFixedHeight(30);
  avatar->SetBorderRound(SIZE{1, 1});
  avatar->SetPadding(RECT{8, 10, 0, 0});
  avatar->SetMouseEnabled(false);
  content->Add(avatar);
  *avatar_out = avatar;

  auto* name = new CLabelUI;
  name->SetTextColor(0xFF000000);
  name->SetFont(0);
  name->SetTextPadding(RECT{10, 2, 0, 0});
  name->SetAttribute(L"endellipsis", L"true");
  name->SetText(Utf8ToUtf16(user.display_name()) + L" (@" + Utf8ToUtf16(user.user_name()) + L")");
  content->Add(name);

  auto* action = new CButtonUI;
  action->SetName(kActionPrefix + Utf8ToUtf16(user.uid()));
  action->SetText(style_.action_text);
  action->SetFixedWidth(70);
  action->SetFixedHeight(25);
  action->SetBorderRound(SIZE{1, 1});
  action->SetBorderColor(0xFFBAB8B9);
  action->SetBorderSize(1);
  action->SetBkColor(0xFFF6F6F6);
  action->SetPadding(RECT{0, 13, 0, 0});
  action->SetFont(0);
  content->Add(action);
  return content;
}

void UserListView::ShowAvatar(DuiLib::CButtonUI* avatar, const std::string& header_url) {
  std::string file = image_cache::AvatarFileName(header_url, 40, 40, 1);
  auto known = avatar_paths_.find(file);
  if (known == avatar_paths_.end()) {
    ShowCachedImage(avatar, kAvatarBaseUrl + file, file, window_, style_.image_message);
    known = avatar_paths_.emplace(file, avatar->GetNormalImage()).first;
  } else {
    avatar->SetNormalImage(known->second);  // on disk by now, or its download's answer will say
  }
  avatars_[known->second].push_back(avatar);
}

bool UserListView::OnMessage(UINT message, LPARAM lParam, bridge::WindowLifetime& lifetime) {
  if (message != style_.image_message) return false;
  std::unique_ptr<ImageReadyRecord> record = lifetime.Receive<ImageReadyRecord>(lParam);
  if (!record) return true;
  // The record's own button may have gone with a refill; the rows on show with this image get it.
  std::wstring path = Utf8ToUtf16(record->local_path);
  auto it = avatars_.find(path);
  if (it == avatars_.end()) return true;
  for (DuiLib::CButtonUI* button : it->second) button->SetNormalImage(path);
  return true;
}

// ---- direct message ----

void DirectMessageRequest::Start(const std::string& uid, bridge::WindowRef window) {
  veltrina::IMManager::DefaultManager()->NewIM(
      uid, [window](bool ok, const std::string&, std::unique_ptr<veltrina::IM> im) {
        if (ok && im) bridge::Post(window, kMsgNewImDone, std::move(im));
        else bridge::PostValue(window, kMsgNewImFailed, 0);  // im, if any, is freed here
      });
}

bool DirectMessageRequest::OnMessage(UINT message, LPARAM lParam, bridge::WindowLifetime& lifetime) {
  if (message == kMsgNewImFailed) {
    if (!answered_) (WindowManager::Instance()->*close_)();
    answered_ = true;
    return true;
  }
  if (message != kMsgNewImDone) return false;
  std::unique_ptr<veltrina::IM> im = lifetime.Receive<veltrina::IM>(lParam);
  if (!im || answered_) return true;
  answered_ = true;
  WindowManager* wm = WindowManager::Instance();
  (wm->*close_)();
  if (MainWnd* main = wm->main_wnd()) main->SelectById(im->im_id(), true);
  return true;
}

}  // namespace veltrinawnd
