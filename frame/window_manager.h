#pragma once
// Opens the main window and its secondary windows, at most one of each kind. Each Show... runs
// the window modally on its own stack and returns when the window is gone; the window clears its
// slot in OnFinalMessage.
#include <windows.h>

#include <string>
#include <utility>

namespace veltrinawnd {

class MainWnd;
class JoinChannelWnd;
class OpenImWnd;
class CreateChannelWnd;
class ViewMembersWnd;
class AddMembersWnd;
class SelectEmojiWnd;
class UploadFileWnd;
class ViewFilesWnd;
class FileDetailsWnd;
class FeedbackWnd;

class WindowManager {
 public:
  static WindowManager* Instance();

  void ShowMainWnd();
  void ShowJoinChannelWnd(int channel_kind);
  void ShowOpenImWnd();
  void ShowCreateChannelWnd(int channel_kind);
  void ShowViewMembersWnd(const std::string& channel_id);
  void ShowAddMembersWnd(const std::string& channel_id);
  void ShowSelectEmojiWnd(const std::string& conversation_id, int x, int y);
  // file: the path in UTF-8.
  void ShowUploadFileWnd(const std::string& conversation_id, const std::string& file, int kind);
  void ShowViewFilesWnd(const std::string& channel_id, int x, int y, int height, int channel_type);
  void ShowFileDetailsWnd(const std::string& entity_id, int x, int y, int height);
  void ShowFeedbackWnd();

  void CloseJoinChannelWnd();
  void CloseOpenImWnd();
  void CloseCreateChannelWnd();
  void CloseViewMembersWnd();
  void CloseAddMembersWnd();
  void CloseSelectEmojiWnd();
  void CloseUploadFileWnd();
  void CloseViewFilesWnd();
  void CloseFileDetailsWnd();
  void CloseFeedbackWnd();
  // Add members, view members, create channel, direct message, join channel, then the main window.
  void CloseAll();
  // The service refused the session: once the main window is gone, the login window runs again
  // for the same team. TakeSignInAgain answers whether that was asked, and clears it.
  void RequestSignInAgain() { sign_in_again_ = true; }
  bool TakeSignInAgain() { return std::exchange(sign_in_again_, false); }

  // Called by each window's OnFinalMessage with itself: the slot is cleared only while it still
  // holds that window (a Close... followed by a new Show... already holds the newer one).
  void ClearMain(const MainWnd* wnd) { ClearSlot(main_wnd_, wnd); }
  void ClearJoinChannel(const JoinChannelWnd* wnd) { ClearSlot(join_channel_wnd_, wnd); }
  void ClearOpenIm(const OpenImWnd* wnd) { ClearSlot(open_im_wnd_, wnd); }
  void ClearCreateChannel(const CreateChannelWnd* wnd) { ClearSlot(create_channel_wnd_, wnd); }
  void ClearViewMembers(const ViewMembersWnd* wnd) { ClearSlot(view_members_wnd_, wnd); }
  void ClearAddMembers(const AddMembersWnd* wnd) { ClearSlot(add_members_wnd_, wnd); }
  void ClearSelectEmoji(const SelectEmojiWnd* wnd) { ClearSlot(select_emoji_wnd_, wnd); }
  void ClearUploadFile(const UploadFileWnd* wnd) { ClearSlot(upload_file_wnd_, wnd); }
  void ClearViewFiles(const ViewFilesWnd* wnd) { ClearSlot(view_files_wnd_, wnd); }
  void ClearFileDetails(const FileDetailsWnd* wnd) { ClearSlot(file_details_wnd_, wnd); }
  void ClearFeedback(const FeedbackWnd* wnd) { ClearSlot(feedback_wnd_, wnd); }

  MainWnd* main_wnd() const { return main_wnd_; }
  JoinChannelWnd* join_channel_wnd() const { return join_channel_wnd_; }
  OpenImWnd* open_im_wnd() const { return open_im_wnd_; }
  CreateChannelWnd* create_channel_wnd() const { return create_channel_wnd_; }
  ViewMembersWnd* view_members_wnd() const { return view_members_wnd_; }
  AddMembersWnd* add_members_wnd() const { return add_members_wnd_; }
  SelectEmojiWnd* select_emoji_wnd() const { return select_emoji_wnd_; }
  UploadFileWnd* upload_file_wnd() const { return upload_file_wnd_; }
  ViewFilesWnd* view_files_wnd() const { return view_files_wnd_; }
  FileDetailsWnd* file_details_wnd() const { return file_details_wnd_; }
  FeedbackWnd* feedback_wnd() const { return feedback_wnd_; }

 private:
  WindowManager() = default;
  template <typename Wnd>
  static void ClearSlot(Wnd*& slot, const Wnd* wnd) {
    if (slot == wnd) slot = nullptr;
  }

  MainWnd* main_wnd_ = nullptr;
  JoinChannelWnd* join_channel_wnd_ = nullptr;
  OpenImWnd* open_im_wnd_ = nullptr;
  CreateChannelWnd* create_channel_wnd_ = nullptr;
  ViewMembersWnd* view_members_wnd_ = nullptr;
  AddMembersWnd* add_members_wnd_ = nullptr;
  SelectEmojiWnd* select_emoji_wnd_ = nullptr;
  UploadFileWnd* upload_file_wnd_ = nullptr;
  ViewFilesWnd* view_files_wnd_ = nullptr;
  FileDetailsWnd* file_details_wnd_ = nullptr;
  FeedbackWnd* feedback_wnd_ = nullptr;
  bool sign_in_again_ = false;
};

}  // namespace veltrinawnd
