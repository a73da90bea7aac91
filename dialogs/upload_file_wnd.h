#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "UploadFileWnd", skin "skin_upload_file.xml".
class UploadFileWnd : public FrameWnd {
 public:
  UploadFileWnd(const std::string& conversation_id, const std::wstring& file, int kind);
  ~UploadFileWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"UploadFileWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_upload_file.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string conversation_id_;
  std::wstring file_;
  int kind_;
};

}  // namespace veltrinawnd
