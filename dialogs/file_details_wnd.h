#pragma once
#include <memory>
#include <string>

#include "dialogs/file_rows.h"
#include "frame/frame_wnd.h"
#include "veltrina/entity.h"
#include "veltrina/user.h"

namespace veltrinawnd {

inline constexpr UINT kMsgImageReadyPreview = WM_USER + 33;  // send, ImageReadyRecord
inline constexpr UINT kMsgImageReadyDetails = WM_USER + 34;  // send, ImageReadyRecord (avatars)
inline constexpr UINT kMsgEntityReady = WM_USER + 37;        // post, veltrina::Entity
inline constexpr UINT kMsgCommentPosted = WM_USER + 38;      // post, std::string (the text sent)
inline constexpr UINT kMsgCommentFailed = WM_USER + 39;      // post, std::string (the text sent)
inline constexpr UINT kCopyCommand = 1059;

// Longest comment, in UTF-16 units: the edit takes no more, and anything longer that reaches
// the box otherwise is cut there. Even four-byte characters stay well below what the service
// accepts (32 KB).
inline constexpr int kMaxCommentLength = 4000;

// Window class "FileDetailsWnd", skin "skin_file_details.xml": one shared file over the file
// browser: who shared it and when, name, kind and size, a preview, download, its comments and a
// box to add one.
class FileDetailsWnd : public FrameWnd {
 public:
  FileDetailsWnd(const std::string& entity_id, int x, int y, int height);
  ~FileDetailsWnd() override;

  const std::string& entity_id() const { return entity_id_; }
  const std::string& download_address() const { return download_address_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"FileDetailsWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_file_details.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void Fill(const veltrina::Entity& entity);
  void ShowPreview(const veltrina::Entity& entity);
  void ShowAvatar(DuiLib::CButtonUI* button, const std::string& header_url);
  // user: null when the cache does not know the commenter.
  void AddComment(const veltrina::User* user, int64_t seconds, const std::string& content);
  void SendComment();
  void OnCommentFailed(std::unique_ptr<std::string> text);
  void ShowEditMenu(POINT pt);

  std::string entity_id_;
  int x_;
  int y_;
  int height_;
  std::string download_address_;
  int comment_count_ = 0;
  HMENU menu_ = nullptr;
  DuiLib::CButtonUI* avatar_btn_ = nullptr;
  DuiLib::CControlUI* author_label_ = nullptr;
  DuiLib::CButtonUI* download_btn_ = nullptr;
  DuiLib::CControlUI* create_time_label_ = nullptr;
  DuiLib::CButtonUI* file_type_btn_ = nullptr;
  DuiLib::CControlUI* file_name_label_ = nullptr;
  DuiLib::CButtonUI* file_preview_btn_ = nullptr;
  DuiLib::CControlUI* file_size_label_ = nullptr;
  DuiLib::CControlUI* comment_number_label_ = nullptr;
  DuiLib::CListUI* comment_list_ = nullptr;
  DuiLib::CEditUI* comment_edit_ = nullptr;
  DuiLib::CButtonUI* send_comment_btn_ = nullptr;
  DuiLib::CContainerUI* entity_preview_layout_ = nullptr;
  DuiLib::CRichEditUI* snippet_doc_richedit_ = nullptr;
  ImageTargets images_;
};

}  // namespace veltrinawnd
