#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "ViewFilesWnd", skin "skin_view_files.xml".
class ViewFilesWnd : public FrameWnd {
 public:
  ViewFilesWnd(const std::string& channel_id, int x, int y, int height, int channel_type);
  ~ViewFilesWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"ViewFilesWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_view_files.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string channel_id_;
  int x_;
  int y_;
  int height_;
  int channel_type_;
};

}  // namespace veltrinawnd
