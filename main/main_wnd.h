#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "conversation/outgoing_texts.h"
#include "frame/frame_wnd.h"
#include "main/image_ready.h"
#include "main/session_rows.h"
#include "main/tray_icon.h"
#include "veltrina/channel.h"
#include "veltrina/handlers.h"
#include "veltrina/im.h"
#include "veltrina/message.h"

namespace veltrinawnd {

struct CoreEvent;
struct UploadFailure;

// The window the user works in: the session list, the open conversation with its composer, the
// header commands and the tray icon. It is the core's message, unread, presence and connection
// handler; those calls arrive on a core thread and are carried to the UI thread in order.
class MainWnd : public FrameWnd,
                veltrina::MessageHandler,
                veltrina::NumUnreadHandler,
                veltrina::UserStatusHandler,
                veltrina::ConnectionStateHandler {
 public:
  MainWnd();
  ~MainWnd() override;

  // Conversation kinds: 1 channel or group, 2 direct message, 0 none of the lists.
  int ConversationKind(const std::string& id) const;
  // Row of the id in the session list as built; -1 when absent.
  int RowIndex(const std::string& id) const;
  const std::string& open_conversation_id() const { return open_conversation_id_; }
  TrayIcon& tray() { return tray_; }

  // Reloads the lists, then selects (and so opens) the conversation with this id, scrolled into
  // view when asked; what the dialogs do after creating, joining or starting a conversation.
  // By value: callers pass ids owned by the lists that this call reloads.
  void SelectById(std::string id, bool scroll);
  // What a left click on the tray icon does: the window in front, shown again if it was hidden, with
  // the first conversation that has unread messages opened.
  void BringBack();

  // The composer of the main window, for the emoji picker; null while no main window exists.
  static DuiLib::CRichEditUI* ChatInput();

 protected:
  const wchar_t* GetWindowClassName() const override { return L"MainWindow"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_main_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;
  // Escape must not close the main window.
  LRESULT ResponseDefaultKeyEvent(WPARAM) override { return FALSE; }

  // Core handlers (core thread): each is handed to the UI thread.
  void HandleDirectMessage(const veltrina::Message& message) override;
  void HandleChannelMessage(const veltrina::Message& message) override;
  void HandleNumUnreadChanged(const std::string& channel_id, veltrina::_NumUnread counts) override;
  void HandleUserStatusChanged(const std::string& uid, int status) override;
  void HandleConnectionStateChanged(int state) override;

 private:
  // Core events on the UI thread.
  void DeliverCoreEvent(std::unique_ptr<CoreEvent> event);
  void OnCoreEvent(const CoreEvent& event);
  void OnDirectMessage(const veltrina::Message& message);
  void OnChannelMessage(const veltrina::Message& message);
  void OnNumUnreadChanged(const std::string& channel_id, veltrina::_NumUnread counts);
  void OnUserStatusChanged(const std::string& uid, int status);
  void OnConnectionStateChanged(int state);
  // The service refused the session: keeps what the composer holds for the next main window of
  // this session, closes this one and asks for the login window again.
  void SignInAgain();
  // An upload that failed after its window closed (upload_failure.cpp).
  void OnUploadFailed(const UploadFailure& failure);

  void StartRefreshChain();
  void OnDataReady();

  // Reloads of a list from the service for messages of conversations in none of the lists: the
  // first at once, then at most one per kListRefreshGap; the messages in between are served by
  // one more reload when the gap ends, so that a storm costs two requests and its rows appear.
  struct ListRefresh {
    enum Which : LPARAM { kChannels = 1, kIms = 2 };
    ULONGLONG last = 0;  // tick of the last start
    bool started = false;
    bool waiting = false;  // a reload is due when the gap ends
  };
  static constexpr ULONGLONG kListRefreshGap = 3000;
  ListRefresh& RefreshOf(ListRefresh::Which which) { return which == ListRefresh::kChannels ? channels_refresh_ : ims_refresh_; }
  void WantListRefresh(ListRefresh::Which which);
  void StartListRefresh(ListRefresh::Which which);
  // Asks the service to open a direct-message conversation the lists do not hold, once per gap.
  void OpenUnknownDirectMessage(const std::string& id);
  void OnImageReady(LPARAM lParam);
  void OnTrayCallback(LPARAM mouse_message);
  void Exit();
  void ShowPersonalAvatar();

  // Session list (session_list.cpp).
  void ReloadLists();
  // What the rows would show now, from the lists and the core's caches.
  std::vector<session_rows::RowData> CollectRows() const;
  void RebuildRows();
  void BuildRows(std::vector<session_rows::RowData> rows);
  void IndexKinds();
  void IndexRows();
  void RebuildAndSelect(std::string id);
  void OpenConversation(int kind, const std::string& id);
  void UpdateRowFromCounts(int kind, const std::string& id, veltrina::_NumUnread counts);
  void CloseDirectMessage(const std::string& id);
  void LeaveOpenChannel();
  void OnSessionItemSelected();
  void OnSessionItemRightClick(DuiLib::TNotifyUI& msg);
  void SelectFirstChannelAtTop();

  // Conversation view and composer.
  // Renders the conversation's latest page, unless that very page is shown already.
  void LoadRecentMessages(const std::string& id);
  void AppendMessage(const veltrina::Message& message);
  void SendComposerText();
  // A send's answer and the clock of sends without one (composer.cpp).
  void OnSendAnswered(int serial, bool ok);
  void OnSendTimeOutTick();
  // Puts the texts kept for the conversation into the composer, after what it holds.
  void RestoreDraft(const std::string& id);
  // WM_KEYDOWN of Enter while the composer has the focus; true when consumed.
  bool OnComposerEnter();
  void ShowEditMenu(POINT client_point);

  // Header and composer commands (commands.cpp).
  void OnClick(const DuiLib::CDuiString& name, POINT mouse);
  void OnMenuItemClick(const DuiLib::CDuiString& name);
  void OpenTeamSitePage(const char* path);
  void ShowFileBrowser();
  void ShowEmojiPicker();
  void ChooseFileToUpload();

  std::vector<std::unique_ptr<veltrina::Channel>> channels_;
  std::vector<std::unique_ptr<veltrina::IM>> ims_;
  std::vector<std::unique_ptr<veltrina::Channel>> groups_;
  // Conversation kind by id (see ConversationKind), kept with the lists.
  std::unordered_map<std::string, int> kinds_;
  // Row order as built: the id of each row, empty for headers and spacers; and the row of each id.
  std::vector<std::string> row_ids_;
  std::unordered_map<std::string, int> row_index_;
  // What the conversation rows show as built.
  std::vector<session_rows::RowData> shown_rows_;
  ImageWaiters images_;
  DuiLib::CListUI* chat_display_ = nullptr;
  DuiLib::CListUI* session_list_ = nullptr;
  DuiLib::CControlUI* members_btn_ = nullptr;
  DuiLib::CControlUI* add_members_btn_ = nullptr;
  DuiLib::CControlUI* leave_btn_ = nullptr;
  DuiLib::CControlUI* emoji_btn_ = nullptr;
  DuiLib::CControlUI* file_btn_ = nullptr;
  TrayIcon tray_;
  HMENU im_menu_ = nullptr;
  HMENU edit_menu_ = nullptr;
  std::string open_conversation_id_;
  OutgoingTexts outgoing_;
  // Keys of the messages shown for the open conversation, as a set and in order with their text.
  std::unordered_set<std::string> shown_message_keys_;
  std::string shown_page_id_;
  std::vector<std::string> shown_page_;
  int selected_kind_ = 0;
  std::string selected_id_;
  ListRefresh channels_refresh_, ims_refresh_;
  std::unordered_map<std::string, ULONGLONG> im_openings_;  // unknown conversation -> tick asked
  DWORD ui_thread_ = 0;
  bool handlers_registered_ = false;
  bool signing_in_again_ = false;
};

}  // namespace veltrinawnd
