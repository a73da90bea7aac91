#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "FileDetailsWnd", skin "skin_file_details.xml".
class FileDetailsWnd : public FrameWnd {
 public:
  FileDetailsWnd(const std::string& entity_id, int x, int y, int height);
  ~FileDetailsWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"FileDetailsWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_file_details.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string entity_id_;
  int x_;
  int y_;
  int height_;
};

}  // namespace veltrinawnd
