#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "UploadFileWnd", skin "skin_upload_file.xml".
class UploadFileWnd : public FrameWnd {
 public:
  // file: the chosen path in the ANSI code page.
  UploadFileWnd(const std::string& conversation_id, const std::string& file, int kind);
  ~UploadFileWnd() override = default;

  const std::string& conversation_id() const { return conversation_id_; }
  const std::string& file() const { return file_; }
  int kind() const { return kind_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"UploadFileWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_upload_file.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string conversation_id_;
  std::string file_;
  int kind_;
};

}  // namespace veltrinawnd
