// The main window's session list: reloading the three lists, building the rows, selecting and
// opening conversations, closing direct messages and leaving channels.
#include <algorithm>
#include <ctime>
#include <limits>
#include <unordered_map>

#include "app/constants.h"
#include "app/storage.h"
#include "main/image_cache.h"
#include "main/image_ready.h"
#include "main/main_messages.h"
#include "main/main_wnd.h"
#include "main/session_rows.h"
#include "conversation/message_view.h"
#include "app/system_seam.h"
#include "veltrina/channel_manager.h"
#include "veltrina/chat_manager.h"
#include "veltrina/im_manager.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

using DuiLib::CControlUI;

int MainWnd::ConversationKind(const std::string& id) const {
  auto it = kinds_.find(id);
  return it == kinds_.end() ? 0 : it->second;
}

int MainWnd::RowIndex(const std::string& id) const {
  if (id.empty()) return -1;
  auto it = row_index_.find(id);
  return it == row_index_.end() ? -1 : it->second;
}

void MainWnd::IndexKinds() {
  // The first list holding an id decides, channels before groups before direct messages.
  kinds_.clear();
  for (const auto& c : channels_) kinds_.emplace(c->channel_id(), 1);
  for (const auto& g : groups_) kinds_.emplace(g->channel_id(), 1);
  for (const auto& im : ims_) kinds_.emplace(im->im_id(), 2);
}

void MainWnd::IndexRows() {
  row_index_.clear();
  for (size_t i = 0; i < row_ids_.size(); ++i)
    if (!row_ids_[i].empty()) row_index_.emplace(row_ids_[i], static_cast<int>(i));
}

void MainWnd::ReloadLists() {
  veltrina::ChannelManager* channels = veltrina::ChannelManager::DefaultManager();
  channels_ = channels->FetchChannelsFromCache(1, true, false);
  ims_ = veltrina::IMManager::DefaultManager()->FetchImsFromCache();
  groups_ = channels->FetchChannelsFromCache(2, true, false);
  IndexKinds();
}

std::vector<session_rows::RowData> MainWnd::CollectRows() const {
  veltrina::ChatManager* chat = veltrina::ChatManager::DefaultManager();
  veltrina::UserManager* users = veltrina::UserManager::DefaultManager();
  std::vector<session_rows::RowData> rows;
  rows.reserve(channels_.size() + ims_.size() + groups_.size());
  auto add = [&](int kind, const std::string& id, const std::string& name) -> session_rows::RowData& {
    session_rows::RowData& row = rows.emplace_back();
    row.kind = kind, row.id = id, row.name = name;
    veltrina::_NumUnread counts = chat->NumUnreadInChannelFromMemCache(id);
    row.num_unread = counts.num_unread, row.num_new = counts.num_new;
    return row;
  };
  for (const auto& c : channels_) add(1, c->channel_id(), c->channel_name());
  // Many peers: one copy of the user cache, rather than a search and a copy for every row.
  std::vector<std::unique_ptr<veltrina::User>> all;
  std::unordered_map<std::string, const veltrina::User*> by_uid;
  if (ims_.size() > 8) {
    all = users->FetchUsersFromCache();
    for (const auto& u : all) by_uid.emplace(u->uid(), u.get());
  }
  for (const auto& im : ims_) {
    std::unique_ptr<veltrina::User> fetched;
    const veltrina::User* peer = nullptr;
    if (all.empty()) peer = (fetched = users->FetchUserFromCacheByUid(im->to_uid())).get();
    else if (auto it = by_uid.find(im->to_uid()); it != by_uid.end()) peer = it->second;
    if (!peer) continue;  // no row for a peer the cache does not know
    session_rows::RowData& row = add(2, im->im_id(), peer->display_name());
    row.peer_uid = peer->uid(), row.status = peer->status();
    row.avatar = image_cache::AvatarFileName(peer->header_url(), 40, 40, 1);
  }
  for (const auto& g : groups_) add(3, g->channel_id(), g->channel_name());
  return rows;
}

void MainWnd::RebuildRows() { BuildRows(CollectRows()); }

void MainWnd::BuildRows(std::vector<session_rows::RowData> rows) {
  if (!session_list_) return;
  session_list_->RemoveAll();
  images_.Forget(ImageWaiters::kSessionList);
  row_ids_.clear();
  row_index_.clear();
  auto add = [this](DuiLib::CListContainerElementUI* row, const std::string& id) {
    if (!id.empty()) row_index_.emplace(id, static_cast<int>(row_ids_.size()));
    session_list_->Add(row);
    row_ids_.push_back(id);
  };
  // Counts go straight to the row's own controls: no lookup by name while building.
  const wchar_t* titles[] = {L"频道", L"私聊", L"群组"};
  size_t next = 0;
  for (int kind = 1; kind <= 3; ++kind) {
    if (kind > 1) add(session_rows::Spacer(), "");
    add(session_rows::GroupHeader(titles[kind - 1]), "");
    for (; next < rows.size() && rows[next].kind == kind; ++next) {
      const session_rows::RowData& r = rows[next];
      session_rows::RowParts parts = kind == 2 ? session_rows::DirectMessageRow(r.id, r.peer_uid, r.name, r.status)
                                               : session_rows::ChannelRow(r.id, r.name, kind == 1);
      add(parts.row, r.id);
      if (kind == 2)
        images_.Show(parts.avatar, kAvatarBaseUrl + r.avatar, r.avatar, Ref(), kMsgImageReadySessionList,
                     ImageWaiters::kSessionList, r.id);
      session_rows::ApplyBadge(parts.badge, r.num_unread);
      if (kind != 2) parts.label->SetTextColor(r.num_new > 0 ? session_rows::kLabelDark : session_rows::kLabelGrey);
    }
  }
  shown_rows_ = std::move(rows);
}

void MainWnd::UpdateRowFromCounts(int kind, const std::string& id, veltrina::_NumUnread counts) {
  std::wstring item = (kind == 1 ? L"channelItem_" : L"imItem_") + Utf8ToUtf16(id);
  session_rows::ApplyBadge(m_PaintManager.FindControl(item + L"_num_unread_id"), counts.num_unread);
  if (kind != 1) return;
  if (auto* label = dynamic_cast<DuiLib::CLabelUI*>(m_PaintManager.FindControl(item + L"_name_label_id")))
    label->SetTextColor(counts.num_new > 0 ? session_rows::kLabelDark : session_rows::kLabelGrey);
}

void MainWnd::SelectById(std::string id, bool scroll) {
  ReloadLists();
  RebuildRows();
  int index = RowIndex(id);
  if (index < 0 || !session_list_) return;
  session_list_->SelectItem(index, false);
  if (scroll) session_list_->SetScrollPos(SIZE{0, 30 * index + 50});
}

void MainWnd::RebuildAndSelect(std::string id) {
  RebuildRows();
  int index = RowIndex(id);
  if (index < 0 || !session_list_) return;
  session_list_->SelectItem(index, false);
  session_list_->SetScrollPos(SIZE{0, 30 * index + 50});
}

void MainWnd::SelectFirstChannelAtTop() {
  if (channels_.empty() || !session_list_) return;
  int index = RowIndex(channels_.front()->channel_id());
  if (index >= 0) session_list_->SelectItem(index, false);
  session_list_->SetScrollPos(SIZE{0, 0});
}

void MainWnd::OnSessionItemSelected() {
  if (!session_list_) return;
  CControlUI* row = session_list_->GetItemAt(session_list_->GetCurSel());
  if (!row) return;
  std::string id;
  int kind = session_rows::ParseItemName(row->GetName(), &id);
  if (kind != 0) OpenConversation(kind, id);
}

void MainWnd::OpenConversation(int kind, const std::string& id) {
  if (DuiLib::CRichEditUI* input = ChatInput(); input && m_PaintManager.GetFocus() != input) input->SetFocus();
  open_conversation_id_ = id;
  RestoreDraft(id);
  LoadRecentMessages(id);

  std::wstring item = (kind == 1 ? L"channelItem_" : L"imItem_") + Utf8ToUtf16(id);
  if (auto* label = dynamic_cast<DuiLib::CLabelUI*>(m_PaintManager.FindControl(item + L"_name_label_id")))
    label->SetTextColor(session_rows::kLabelDark);
  session_rows::ApplyBadge(m_PaintManager.FindControl(item + L"_num_unread_id"), 0);
  if (!selected_id_.empty() && selected_id_ != id) {
    std::wstring old = (selected_kind_ == 1 ? L"channelItem_" : L"imItem_") + Utf8ToUtf16(selected_id_);
    if (auto* label = dynamic_cast<DuiLib::CLabelUI*>(m_PaintManager.FindControl(old + L"_name_label_id")))
      label->SetTextColor(session_rows::kLabelGrey);
  }
  selected_kind_ = kind;
  selected_id_ = id;

  int64_t now = static_cast<int64_t>(std::time(nullptr));
  veltrina::ChatManager::DefaultManager()->MarkReadCursorForChannelInCache(id, now, true);
  for (CControlUI* c : {members_btn_, add_members_btn_, leave_btn_})
    if (c) c->SetVisible(kind == 1);
  veltrina::ChatManager::DefaultManager()->MarkAsRead(id, kind, now, [](bool, const std::string&) {});

  CControlUI* title = m_PaintManager.FindControl(L"title_label");
  if (kind == 1) {
    if (std::unique_ptr<veltrina::Channel> channel =
            veltrina::ChannelManager::DefaultManager()->FetchChannelFromCacheByChannelId(id)) {
      if (title) title->SetText(L"#" + Utf8ToUtf16(channel->channel_name()));
      if (channel->IsGeneral() && leave_btn_) leave_btn_->SetVisible(false);
    }
  } else if (kind == 2) {
    if (std::unique_ptr<veltrina::IM> im = veltrina::IMManager::DefaultManager()->FetchImFromCacheByImId(id)) {
      if (std::unique_ptr<veltrina::User> peer =
              veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(im->to_uid()))
        if (title) title->SetText(Utf8ToUtf16(peer->display_name()));
    }
  }
}

void MainWnd::OnSessionItemRightClick(DuiLib::TNotifyUI& msg) {
  if (!msg.pSender) return;
  std::string id;
  if (session_rows::ParseItemName(msg.pSender->GetName(), &id) != 2) return;
  POINT pt = msg.ptMouse;
  ClientToScreen(m_hWnd, &pt);
  if (System().TrackMenu(im_menu_, TPM_RETURNCMD, pt.x, pt.y, m_hWnd) == 1056) CloseDirectMessage(id);
}

void MainWnd::CloseDirectMessage(const std::string& id) {
  if (id.empty()) return;
  veltrina::IMManager::DefaultManager()->CloseIM(id, [](bool, const std::string&) {});
  int index = RowIndex(id);
  int im_rows = 0;
  for (const std::string& row : row_ids_)
    if (ConversationKind(row) == 2) ++im_rows;
  if (index >= 0 && session_list_) {
    images_.Forget(ImageWaiters::kSessionList, id);
    session_list_->RemoveAt(index);
    row_ids_.erase(row_ids_.begin() + index);
    IndexRows();
  }
  std::erase_if(ims_, [&id](const std::unique_ptr<veltrina::IM>& im) { return im->im_id() == id; });
  std::erase_if(shown_rows_, [&id](const session_rows::RowData& row) { return row.id == id; });
  IndexKinds();
  // The last direct-message row: rebuild, reopen the first channel and go back to the top.
  if (index >= 0 && index == static_cast<int>(channels_.size()) + 2 + im_rows) {
    if (!channels_.empty()) RebuildAndSelect(channels_.front()->channel_id());
    else RebuildRows();
    if (session_list_) session_list_->SetScrollPos(SIZE{0, 0});
  }
}

void MainWnd::LeaveOpenChannel() {
  const std::string id = open_conversation_id_;
  veltrina::ChannelManager::DefaultManager()->LeaveChannel(id, [](bool, const std::string&) {});
  bool is_channel = false;
  for (const auto& c : channels_)
    if (c->channel_id() == id) is_channel = true;
  auto same = [&id](const std::unique_ptr<veltrina::Channel>& c) { return c->channel_id() == id; };
  if (is_channel) std::erase_if(channels_, same);
  else std::erase_if(groups_, same);
  IndexKinds();
  if (!channels_.empty()) RebuildAndSelect(channels_.front()->channel_id());
  else RebuildRows();
  if (session_list_) session_list_->SetScrollPos(SIZE{0, 0});
}

void MainWnd::OnUserStatusChanged(const std::string& uid, int status) {
  if (!veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(uid)) return;
  auto* dot = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"status_btn" + Utf8ToUtf16(uid)));
  if (!dot) return;
  if (const wchar_t* image = session_rows::PresenceImage(status)) dot->SetNormalImage(image);
}

namespace {
// A message as the page shows it: a page is drawn again only when one of these differs.
std::string PageEntry(const veltrina::Message& m) {
  return m.key() + '\n' + m.uid() + '\n' + std::to_string(m.timestamp()) + '\n' + m.content();
}
}  // namespace

void MainWnd::LoadRecentMessages(const std::string& id) {
  if (!chat_display_) return;
  std::vector<std::unique_ptr<veltrina::Message>> messages =
      veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache(id, 0, std::numeric_limits<int64_t>::max(), 20,
                                                                      nullptr, nullptr, false);
  if (id == shown_page_id_ && messages.size() == shown_page_.size() &&
      std::equal(messages.begin(), messages.end(), shown_page_.begin(),
                 [](const auto& m, const std::string& shown) { return PageEntry(*m) == shown; }))
    return;  // exactly this page is on screen
  chat_display_->RemoveAll();
  images_.Forget(ImageWaiters::kConversation);
  shown_message_keys_.clear();
  shown_page_.clear();
  shown_page_id_ = id;
  for (const auto& m : messages) AppendMessage(*m);
  SetTimer(m_hWnd, kTimerScrollToBottom, 40, nullptr);
}

void MainWnd::AppendMessage(const veltrina::Message& message) {
  // A message stored just before its conversation was loaded from the cache also arrives as an
  // event afterwards: show it once.
  if (!message.key().empty() && !shown_message_keys_.insert(message.key()).second) return;
  RenderContext context{chat_display_, Ref(), open_conversation_id_, &images_};
  // One not drawn (an unknown sender) never matches, so that the page is drawn again later.
  shown_page_.push_back(RenderMessage(context, message) ? PageEntry(message) : std::string(1, '\0'));
}

}  // namespace veltrinawnd
