#include "frame/window_manager.h"

#include "dialogs/add_members_wnd.h"
#include "dialogs/create_channel_wnd.h"
#include "dialogs/feedback_wnd.h"
#include "dialogs/file_details_wnd.h"
#include "dialogs/join_channel_wnd.h"
#include "dialogs/open_im_wnd.h"
#include "dialogs/upload_file_wnd.h"
#include "dialogs/view_files_wnd.h"
#include "dialogs/view_members_wnd.h"
#include "emoji/select_emoji_wnd.h"
#include "main/main_wnd.h"

namespace veltrinawnd {
namespace {

// Runs a window that the slot tracks: constructed on this stack, created, centred unless it is
// placed, run modally. The window clears the slot itself in OnFinalMessage.
template <typename Wnd>
void RunTracked(Wnd*& slot, Wnd& wnd, HWND owner, const wchar_t* title, DWORD style, bool centred,
                int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT) {
  slot = &wnd;
  wnd.Create(owner, title, style, kWindowExStyle, x, y, cx, cy);
  if (centred) wnd.CenterWindow();
  wnd.ShowModal();
  // A window that never came up never ran OnFinalMessage for this slot.
  if (slot == &wnd && !wnd.GetHWND()) slot = nullptr;
}

template <typename Wnd>
void CloseTracked(Wnd*& slot) {
  if (!slot) return;
  slot->Close(IDOK);
  slot = nullptr;
}

}  // namespace

WindowManager* WindowManager::Instance() {
  static WindowManager* instance = new WindowManager();  // lives for the whole process
  return instance;
}

void WindowManager::ShowMainWnd() {
  if (main_wnd_) return;
  MainWnd wnd;
  RunTracked(main_wnd_, wnd, nullptr, L"Veltrina", kFrameStyle, true);
}

void WindowManager::ShowJoinChannelWnd(int channel_kind) {
  if (join_channel_wnd_) return;
  JoinChannelWnd wnd(channel_kind);
  RunTracked(join_channel_wnd_, wnd, nullptr, L"更多频道", kFrameStyle, true);
}

void WindowManager::ShowOpenImWnd() {
  if (open_im_wnd_) return;
  OpenImWnd wnd;
  RunTracked(open_im_wnd_, wnd, nullptr, L"发起私聊", kDialogStyle, true);
}

void WindowManager::ShowCreateChannelWnd(int channel_kind) {
  if (create_channel_wnd_) return;
  CreateChannelWnd wnd(channel_kind);
  const wchar_t* title = channel_kind == 1 ? L"新建频道" : channel_kind == 2 ? L"新建群组" : L"";
  RunTracked(create_channel_wnd_, wnd, nullptr, title, kFrameStyle, true);
}

void WindowManager::ShowViewMembersWnd(const std::string& channel_id) {
  if (view_members_wnd_) return;
  ViewMembersWnd wnd(channel_id);
  RunTracked(view_members_wnd_, wnd, nullptr, L"查看成员", kFrameStyle, true);
}

void WindowManager::ShowAddMembersWnd(const std::string& channel_id) {
  if (add_members_wnd_) return;
  AddMembersWnd wnd(channel_id);
  RunTracked(add_members_wnd_, wnd, nullptr, L"添加成员", kFrameStyle, true);
}

void WindowManager::ShowSelectEmojiWnd(const std::string& conversation_id, int x, int y) {
  if (select_emoji_wnd_) return;
  SelectEmojiWnd wnd(conversation_id, x, y);
  RunTracked(select_emoji_wnd_, wnd, nullptr, L"发送表情", kDialogStyle, false, x, y, 432, 236);
}

void WindowManager::ShowUploadFileWnd(const std::string& conversation_id, const std::string& file, int kind) {
  if (upload_file_wnd_) return;
  UploadFileWnd wnd(conversation_id, file, kind);
  RunTracked(upload_file_wnd_, wnd, nullptr, L"上传文件", kFrameStyle, true);
}

void WindowManager::ShowViewFilesWnd(const std::string& channel_id, int x, int y, int height, int channel_type) {
  if (view_files_wnd_) return;
  ViewFilesWnd wnd(channel_id, x, y, height, channel_type);
  HWND owner = FindWindowW(L"MainWindow", L"Veltrina");
  RunTracked(view_files_wnd_, wnd, owner, L"文件", kDialogStyle, false, x, y, 320, height);
}

void WindowManager::ShowFileDetailsWnd(const std::string& entity_id, int x, int y, int height) {
  if (file_details_wnd_) return;
  FileDetailsWnd wnd(entity_id, x, y, height);
  HWND owner = FindWindowW(L"ViewFilesWnd", L"文件");
  RunTracked(file_details_wnd_, wnd, owner, L"文件", kDialogStyle, false, x, y, 320, height);
}

void WindowManager::ShowFeedbackWnd() {
  if (feedback_wnd_) return;
  FeedbackWnd wnd;
  RunTracked(feedback_wnd_, wnd, nullptr, L"意见反馈", kFrameStyle, true);
}

void WindowManager::CloseJoinChannelWnd() { CloseTracked(join_channel_wnd_); }
void WindowManager::CloseOpenImWnd() { CloseTracked(open_im_wnd_); }
void WindowManager::CloseCreateChannelWnd() { CloseTracked(create_channel_wnd_); }
void WindowManager::CloseViewMembersWnd() { CloseTracked(view_members_wnd_); }
void WindowManager::CloseAddMembersWnd() { CloseTracked(add_members_wnd_); }
void WindowManager::CloseSelectEmojiWnd() { CloseTracked(select_emoji_wnd_); }
void WindowManager::CloseUploadFileWnd() { CloseTracked(upload_file_wnd_); }
void WindowManager::CloseViewFilesWnd() { CloseTracked(view_files_wnd_); }
void WindowManager::CloseFileDetailsWnd() { CloseTracked(file_details_wnd_); }
void WindowManager::CloseFeedbackWnd() { CloseTracked(feedback_wnd_); }

void WindowManager::CloseAll() {
  CloseTracked(add_members_wnd_);
  CloseTracked(view_members_wnd_);
  CloseTracked(create_channel_wnd_);
  CloseTracked(open_im_wnd_);
  CloseTracked(join_channel_wnd_);
  CloseTracked(main_wnd_);
}

}  // namespace veltrinawnd
