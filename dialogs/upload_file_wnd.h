#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

inline constexpr UINT kMsgUploadPreviewReady = WM_USER + 81;  // post, UploadPreview

struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

// A picture decoded off the UI thread: its pixel size (0 when it cannot be read or is refused as
// too large) and a copy already scaled to fit the preview's area.
struct UploadPreview {
  int pixel_width = 0;
  int pixel_height = 0;
  OwnedBitmap picture;
};

// The preview box of "skin_upload_file.xml" (class "UploadPreview"): a button that also paints
// a picture it owns, so a large image never has to be decoded on the UI thread.
class UploadPreviewUI : public DuiLib::CButtonUI {
 public:
  void SetPicture(OwnedBitmap picture);
  bool has_picture() const { return picture_ != nullptr; }

 protected:
  void PaintStatusImage(HDC hDC) override;

 private:
  OwnedBitmap picture_;
};

// Window class "UploadFileWnd", skin "skin_upload_file.xml".
class UploadFileWnd : public FrameWnd {
 public:
  // file: the chosen full path in UTF-8.
  UploadFileWnd(const std::string& conversation_id, const std::string& file, int kind);
  ~UploadFileWnd() override = default;

  const std::string& conversation_id() const { return conversation_id_; }
  const std::string& file() const { return file_; }
  int kind() const { return kind_; }

  // The preview's size for a picture of this many pixels (160 by 160 for an unreadable one).
  static SIZE PreviewSize(int pixel_width, int pixel_height);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"UploadFileWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_upload_file.xml"; }
  DuiLib::CControlUI* CreateControl(const wchar_t* pstrClass) override;
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void ShowPictureBox(int pixel_width, int pixel_height);
  void Upload();

  std::string conversation_id_;
  // The full path, kept as chosen: the bare name is only what the file is shared as, since the
  // current folder may change before the file is read.
  std::string file_;
  int kind_;
  DuiLib::CControlUI* file_name_edit_ = nullptr;
  DuiLib::CControlUI* upload_btn_ = nullptr;
  DuiLib::CControlUI* cancel_btn_ = nullptr;
  UploadPreviewUI* preview_file_ = nullptr;
  bool started_ = false;  // a double click uploads once
};

}  // namespace veltrinawnd
