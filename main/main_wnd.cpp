#include "main/main_wnd.h"

#include <ctime>

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "conversation/markup.h"
#include "emoji/emoji_tables.h"
#include "frame/window_manager.h"
#include "main/carried_drafts.h"
#include "main/conversation_readout.h"
#include "main/image_cache.h"
#include "main/image_ready.h"
#include "main/main_messages.h"
#include "veltrina/channel_manager.h"
#include "veltrina/chat_manager.h"
#include "veltrina/director.h"
#include "veltrina/im_manager.h"
#include "veltrina/log.h"
#include "veltrina/user_manager.h"

namespace veltrinawnd {

namespace {
DuiLib::CRichEditUI* g_chat_input = nullptr;

void HideControl(DuiLib::CControlUI* control) {
  if (control) control->SetVisible(false);
}

// Whose composer texts a refused session leaves behind.
std::string SessionKeyOf(const veltrina::Director* director) {
  const veltrina::Team* team = director ? director->current_team() : nullptr;
  const veltrina::User* me = director ? director->me() : nullptr;
  return carried_drafts::SessionKey(team ? team->server() : std::string(), team ? team->team_id() : std::string(),
                                    me ? me->uid() : std::string());
}
}  // namespace

DuiLib::CRichEditUI* MainWnd::ChatInput() { return g_chat_input; }

MainWnd::MainWnd() : ui_thread_(GetCurrentThreadId()) {}

MainWnd::~MainWnd() {
  if (im_menu_) DestroyMenu(im_menu_);
  if (edit_menu_) DestroyMenu(edit_menu_);
}

void MainWnd::InitWindow() {
  EmojiShortCodes();  // builds the short-code table now rather than at the first message
  m_PaintManager.SetDefaultFont(L"微软雅黑", 15, false, false, false);
  m_PaintManager.SetDefaultLinkFontColor(0xFF51BCB6);
  m_PaintManager.SetDefaultLinkHoverFontColor(0xFF59C796);

  if (veltrina::Director* director = veltrina::Director::DefaultDirector()) {
    director->RemoveConnectionStateHandler(this);
    director->AddConnectionStateHandler(this);
  }
  veltrina::ChatManager::DefaultManager()->AddMessageHandler(this);
  veltrina::ChatManager::DefaultManager()->AddNumUnreadHandler(this);
  veltrina::UserManager::DefaultManager()->AddUserStatusHandler(this);
  handlers_registered_ = true;

  chat_display_ = dynamic_cast<DuiLib::CListUI*>(m_PaintManager.FindControl(L"chat_display"));
  CreateConversationReadout(m_hWnd, chat_display_);
  g_chat_input = dynamic_cast<DuiLib::CRichEditUI*>(m_PaintManager.FindControl(L"chat_input"));
  session_list_ = dynamic_cast<DuiLib::CListUI*>(m_PaintManager.FindControl(L"sessionList"));
  selected_kind_ = 0;
  selected_id_.clear();

  members_btn_ = m_PaintManager.FindControl(L"members_btn");
  add_members_btn_ = m_PaintManager.FindControl(L"add_members_btn");
  leave_btn_ = m_PaintManager.FindControl(L"leave_btn");
  file_btn_ = m_PaintManager.FindControl(L"file_btn");
  emoji_btn_ = m_PaintManager.FindControl(L"emoji_btn");
  HideControl(members_btn_);
  HideControl(add_members_btn_);
  HideControl(leave_btn_);

  ReloadLists();
  RebuildRows();

  veltrina::Director* director = veltrina::Director::DefaultDirector();
  // What the composer held when this session was refused last time comes back with its conversation.
  for (auto& [id, text] : carried_drafts::Take(SessionKeyOf(director))) {
    if (!id.empty()) outgoing_.Keep(id, text);  // a send without an answer: back with its conversation
    else if (g_chat_input) g_chat_input->SetText(text);
  }
  if (DuiLib::CControlUI* label = m_PaintManager.FindControl(L"team_name_label"))
    if (director && director->current_team()) label->SetText(Utf8ToUtf16(director->current_team()->team_name()));
  ShowPersonalAvatar();

  tray_.Add(m_hWnd);
  edit_menu_ = CreatePopupMenu();
  AppendMenuW(edit_menu_, MF_STRING, 1059, L"复制");
  AppendMenuW(edit_menu_, MF_STRING, 1061, L"剪切");
  AppendMenuW(edit_menu_, MF_STRING, 1060, L"粘贴");
  im_menu_ = CreatePopupMenu();
  AppendMenuW(im_menu_, MF_STRING, 1056, L"关闭私聊");

  if (veltrina::ChatManager::DefaultManager()->NumUnreadInCurrentTeam().num_unread > 0) tray_.StartFlashing();

  SelectFirstChannelAtTop();
  StartRefreshChain();
}

void MainWnd::ShowPersonalAvatar() {
  auto* button = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"personal_menu_btn"));
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (!button || !director || !director->me()) return;
  std::string name = image_cache::AvatarFileName(director->me()->header_url(), 40, 40, 1);
  images_.Show(button, kAvatarBaseUrl + name, name, Ref(), kMsgImageReadySessionList, ImageWaiters::kWindow);
}

void MainWnd::StartRefreshChain() {
  bridge::WindowRef self = Ref();
  veltrina::log("updating channels");
  veltrina::ChannelManager::DefaultManager()->GetChannels(
      false, [self](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::Channel>>) {
        if (!ok) return;
        veltrina::log("updating IMs");
        veltrina::IMManager::DefaultManager()->GetIMs(
            [self](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::IM>>) {
              if (!ok) return;
              veltrina::log("syncing recent messages");
              veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(
                  20, [self](bool ok, const std::string&) {
                    if (!ok) return;
                    veltrina::log("get num unread messages");
                    veltrina::ChatManager::DefaultManager()->GetNumUnreadFromServer([self](bool ok, const std::string&) {
                      if (ok) bridge::PostValue(self, kMsgMainDataReady, 0);
                    });
                  });
            });
      });
}

void MainWnd::OnDataReady() {
  ReloadLists();
  // Usually what the window opened with: then the rows and the page stay as they are.
  if (std::vector<session_rows::RowData> rows = CollectRows(); rows != shown_rows_) BuildRows(std::move(rows));
  if (open_conversation_id_.empty()) return;
  // After a rebuild the selection is gone: selecting the row again opens (and draws) the page.
  int index = RowIndex(open_conversation_id_);
  if (index >= 0 && session_list_) session_list_->SelectItem(index, false);
  LoadRecentMessages(open_conversation_id_);
}

void MainWnd::OnImageReady(LPARAM lParam) {
  if (std::unique_ptr<ImageReadyRecord> record = lifetime_.Receive<ImageReadyRecord>(lParam)) images_.Arrived(*record);
}

// ---- core handlers: hand-off ----

void MainWnd::DeliverCoreEvent(std::unique_ptr<CoreEvent> event) {
  if (GetCurrentThreadId() == ui_thread_) OnCoreEvent(*event);
  else bridge::Post(Ref(), kMsgCoreEvent, std::move(event));  // in order, without blocking the core
}

void MainWnd::HandleDirectMessage(const veltrina::Message& message) {
  auto event = std::make_unique<CoreEvent>();
  event->kind = CoreEvent::kDirectMessage;
  event->message = message.Clone();
  DeliverCoreEvent(std::move(event));
}

void MainWnd::HandleChannelMessage(const veltrina::Message& message) {
  auto event = std::make_unique<CoreEvent>();
  event->kind = CoreEvent::kChannelMessage;
  event->message = message.Clone();
  DeliverCoreEvent(std::move(event));
}

void MainWnd::HandleNumUnreadChanged(const std::string& channel_id, veltrina::_NumUnread counts) {
  auto event = std::make_unique<CoreEvent>();
  event->kind = CoreEvent::kNumUnread;
  event->id = channel_id;
  event->counts = counts;
  DeliverCoreEvent(std::move(event));
}

void MainWnd::HandleUserStatusChanged(const std::string& uid, int status) {
  auto event = std::make_unique<CoreEvent>();
  event->kind = CoreEvent::kUserStatus;
  event->id = uid;
  event->value = status;
  DeliverCoreEvent(std::move(event));
}

void MainWnd::HandleConnectionStateChanged(int state) {
  auto event = std::make_unique<CoreEvent>();
  event->kind = CoreEvent::kConnectionState;
  event->value = state;
  DeliverCoreEvent(std::move(event));
}

void MainWnd::OnCoreEvent(const CoreEvent& event) {
  switch (event.kind) {
    case CoreEvent::kDirectMessage:
      if (event.value) OnSendAnswered(event.value, true);  // the completion of our own send
      if (event.message) OnDirectMessage(*event.message);
      break;
    case CoreEvent::kChannelMessage:
      if (event.message) OnChannelMessage(*event.message);
      break;
    case CoreEvent::kNumUnread: OnNumUnreadChanged(event.id, event.counts); break;
    case CoreEvent::kUserStatus: OnUserStatusChanged(event.id, event.value); break;
    case CoreEvent::kConnectionState: OnConnectionStateChanged(event.value); break;
    case CoreEvent::kSendFailed: OnSendAnswered(event.value, false); break;
  }
}

// ---- core events on the UI thread ----

namespace {
std::string LoggedMessage(const veltrina::Message& message) {
  return message.key() + " (" + std::to_string(message.content().size()) + " bytes)";
}
}  // namespace

void MainWnd::OnDirectMessage(const veltrina::Message& message) {
  // A message's text stays out of the log and the debugger's output: its id and size say enough.
  veltrina::log("Recv direct message : %s", LoggedMessage(message).c_str());
  const std::string& id = message.ChannelID();
  if (id == open_conversation_id_) {
    AppendMessage(message);
    SetTimer(m_hWnd, kTimerScrollToBottom, 40, nullptr);
  }
  if (ConversationKind(id) == 0) OpenUnknownDirectMessage(id);
}

void MainWnd::OnChannelMessage(const veltrina::Message& message) {
  veltrina::log("Recv channel message %s, channel id is %s, current channel id is %s", LoggedMessage(message).c_str(),
                message.ChannelID().c_str(), open_conversation_id_.c_str());
  const std::string& id = message.ChannelID();
  if (id == open_conversation_id_) {
    AppendMessage(message);
    SetTimer(m_hWnd, kTimerScrollToBottom, 40, nullptr);
  }
  if (ConversationKind(id) == 0) WantListRefresh(ListRefresh::kChannels);
}

void MainWnd::OpenUnknownDirectMessage(const std::string& id) {
  const ULONGLONG now = GetTickCount64();
  if (auto it = im_openings_.find(id); it != im_openings_.end() && now - it->second < kListRefreshGap) return;
  if (im_openings_.size() > 256)
    std::erase_if(im_openings_, [now](const auto& asked) { return now - asked.second >= kListRefreshGap; });
  im_openings_[id] = now;
  bridge::WindowRef self = Ref();
  veltrina::IMManager::DefaultManager()->ActiveIM(id, [self](bool ok, const std::string&) {
    if (ok) bridge::PostValue(self, kMsgListRefreshWanted, ListRefresh::kIms);
  });
}

void MainWnd::WantListRefresh(ListRefresh::Which which) {
  ListRefresh& refresh = RefreshOf(which);
  if (refresh.waiting) return;
  const ULONGLONG since = GetTickCount64() - refresh.last;
  if (!refresh.started || since >= kListRefreshGap) return StartListRefresh(which);
  refresh.waiting = true;
  SetTimer(m_hWnd, which == ListRefresh::kChannels ? kTimerChannelsRefresh : kTimerImsRefresh,
           static_cast<UINT>(kListRefreshGap - since), nullptr);
}

void MainWnd::StartListRefresh(ListRefresh::Which which) {
  ListRefresh& refresh = RefreshOf(which);
  refresh.started = true;
  refresh.waiting = false;
  refresh.last = GetTickCount64();
  bridge::WindowRef self = Ref();
  if (which == ListRefresh::kChannels) {
    veltrina::ChannelManager::DefaultManager()->GetChannels(
        false, [self](bool, const std::string&, std::vector<std::unique_ptr<veltrina::Channel>>) {
          bridge::PostValue(self, kMsgConversationsChanged, 0);
        });
  } else {
    veltrina::IMManager::DefaultManager()->GetIMs(
        [self](bool, const std::string&, std::vector<std::unique_ptr<veltrina::IM>>) {
          bridge::PostValue(self, kMsgConversationsChanged, 0);
        });
  }
}

void MainWnd::OnNumUnreadChanged(const std::string& channel_id, veltrina::_NumUnread counts) {
  // Only counts that show something unread move the cursor: the zero counts that follow a cursor
  // (the core's own, or a service's answer to it) must not send another one.
  if (channel_id == open_conversation_id_ && (counts.num_unread > 0 || counts.num_new > 0)) {
    veltrina::ChatManager::DefaultManager()->MarkReadCursorForChannelInCache(channel_id,
                                                                             static_cast<int64_t>(std::time(nullptr)), false);
  }
  tray_.OnUnreadTotal(veltrina::ChatManager::DefaultManager()->NumUnreadInCurrentTeam().num_unread);
  if (channel_id != open_conversation_id_) {
    int kind = ConversationKind(channel_id);
    if (kind != 0) UpdateRowFromCounts(kind, channel_id, counts);
  }
}

void MainWnd::OnConnectionStateChanged(int state) {
  if (state == veltrina::ConnectionStateHandler::kSignedOut) SignInAgain();
  else tray_.OnConnectionState(state);
}

void MainWnd::SignInAgain() {
  if (signing_in_again_) return;  // every refused request reports it
  signing_in_again_ = true;
  veltrina::log("The service refused the session: signing in again");
  carried_drafts::Texts texts = outgoing_.TakeAll();
  if (DuiLib::CRichEditUI* input = ChatInput(); input && !input->GetText().empty())
    texts.emplace_back(std::string(), std::wstring(input->GetText()));  // the composer's own, open conversation or not
  carried_drafts::Keep(SessionKeyOf(veltrina::Director::DefaultDirector()), std::move(texts));
  KillTimer(m_hWnd, kTimerSendTimeOut);
  WindowManager* windows = WindowManager::Instance();
  windows->RequestSignInAgain();
  // No window of the refused session stays: each runs a loop that the login must not wait behind.
  windows->CloseSelectEmojiWnd();
  windows->CloseUploadFileWnd();
  windows->CloseViewFilesWnd();
  windows->CloseFileDetailsWnd();
  windows->CloseFeedbackWnd();
  windows->CloseAll();
  tray_.Remove();
}

void MainWnd::OnTrayCallback(LPARAM mouse_message) {
  if (mouse_message == WM_RBUTTONUP) {
    UINT command = tray_.TrackMenu();
    if (command == TrayIcon::kCmdFeedback) WindowManager::Instance()->ShowFeedbackWnd();
    else if (command == TrayIcon::kCmdExit) Exit();
  } else if (mouse_message == WM_LBUTTONDOWN) {
    BringBack();
  }
}

void MainWnd::BringBack() {
  SetForegroundWindow(m_hWnd);
  ShowWindow(true, true);
  std::string id = veltrina::ChatManager::DefaultManager()->FirstChannelHasUnreadMessage();
  int index = id.empty() ? -1 : RowIndex(id);
  if (index >= 0 && session_list_) session_list_->SelectItem(index, false);
}

void MainWnd::Exit() {
  WindowManager::Instance()->CloseAll();
  tray_.Remove();
  PostQuitMessage(0);
}

// ---- window plumbing ----

LRESULT MainWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case kMsgMainDataReady:
      OnDataReady();
      return 0;
    case kMsgConversationsChanged:
      ReloadLists();
      RebuildRows();
      return 0;
    case kMsgListRefreshWanted:
      if (lParam == ListRefresh::kChannels || lParam == ListRefresh::kIms)
        WantListRefresh(static_cast<ListRefresh::Which>(lParam));
      return 0;
    case kMsgImageReadySessionList:
    case kMsgImageReadyCard:
    case kMsgImageReadyAvatar:
      OnImageReady(lParam);
      return 0;
    case kMsgTrayCallback:
      OnTrayCallback(lParam);
      return 0;
    case kMsgCoreEvent:
      if (std::unique_ptr<CoreEvent> event = lifetime_.Receive<CoreEvent>(lParam)) OnCoreEvent(*event);
      return 0;
    case kMsgUploadFailed:
      if (std::unique_ptr<UploadFailure> failure = lifetime_.Receive<UploadFailure>(lParam)) OnUploadFailed(*failure);
      return 0;
    case WM_TIMER:
      if (wParam == kTimerNetworkCheck) tray_.OnNetworkCheck();
      else if (wParam == kTimerTrayFlash) tray_.OnFlashTick();
      else if (wParam == kTimerSendTimeOut) OnSendTimeOutTick();
      else if (wParam == kTimerScrollToBottom) {
        if (chat_display_) chat_display_->EndDown();
        KillTimer(m_hWnd, kTimerScrollToBottom);
      } else if (wParam == kTimerChannelsRefresh || wParam == kTimerImsRefresh) {
        KillTimer(m_hWnd, wParam);
        StartListRefresh(wParam == kTimerChannelsRefresh ? ListRefresh::kChannels : ListRefresh::kIms);
      }
      break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN && OnComposerEnter()) return 0;
      break;
    case WM_SYSCOMMAND:
      // Alt+F4 and the system menu hide the window like its close button; only the tray's exit
      // command ends the process.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        ShowWindow(false, false);
        return 0;
      }
      break;
    default:
      break;
  }
  return FrameWnd::HandleMessage(uMsg, wParam, lParam);
}

void MainWnd::OnFinalMessage(HWND hWnd) {
  if (handlers_registered_) {
    veltrina::ChatManager::DefaultManager()->RemoveMessageHandler(this);
    veltrina::ChatManager::DefaultManager()->RemoveNumUnreadHandler(this);
    veltrina::UserManager::DefaultManager()->RemoveUserStatusHandler(this);
    if (veltrina::Director* director = veltrina::Director::DefaultDirector())
      director->RemoveConnectionStateHandler(this);
    handlers_registered_ = false;
  }
  tray_.Remove();
  g_chat_input = nullptr;
  WindowManager::Instance()->ClearMain(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
