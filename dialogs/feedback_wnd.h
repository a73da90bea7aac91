#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// The longest feedback sent, in UTF-16 units: the service keeps at most 32 KB of UTF-8, and a
// longer text gets a message instead of being cut.
inline constexpr size_t kMaxFeedbackChars = 4000;

// Sends free-text feedback and closes at once, without waiting for the answer.
// Window class "FeedbackWnd", skin "skin_feedback.xml".
class FeedbackWnd : public FrameWnd {
 public:
  FeedbackWnd();
  ~FeedbackWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"FeedbackWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_feedback.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void Send();

  DuiLib::CControlUI* save_btn_ = nullptr;
  DuiLib::CControlUI* cancel_btn_ = nullptr;
  DuiLib::CControlUI* feedback_edit_ = nullptr;
  bool sent_ = false;  // a double click sends once
};

}  // namespace veltrinawnd
