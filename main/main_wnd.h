#pragma once
#include "frame/frame_wnd.h"

namespace veltrinawnd {

// The main window: session list on the left, the open conversation and the composer on the right.
class MainWnd : public FrameWnd {
 public:
  MainWnd() = default;
  ~MainWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"MainWindow"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_main_wnd.xml"; }
  void OnFinalMessage(HWND hWnd) override;
};

}  // namespace veltrinawnd
