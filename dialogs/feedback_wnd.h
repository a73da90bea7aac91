#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "FeedbackWnd", skin "skin_feedback.xml".
class FeedbackWnd : public FrameWnd {
 public:
  FeedbackWnd();
  ~FeedbackWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"FeedbackWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_feedback.xml"; }
  void OnFinalMessage(HWND hWnd) override;
};

}  // namespace veltrinawnd
