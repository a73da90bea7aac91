#include "dialogs/feedback_wnd.h"

#include "app/constants.h"
#include "app/storage.h"
#include "app/system_seam.h"
#include "frame/window_manager.h"
#include "veltrina/feedback.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {

FeedbackWnd::FeedbackWnd() {}

void FeedbackWnd::InitWindow() {
  save_btn_ = m_PaintManager.FindControl(L"save_btn");
  cancel_btn_ = m_PaintManager.FindControl(L"cancel_btn");
  feedback_edit_ = m_PaintManager.FindControl(L"feedback_edit");
}

void FeedbackWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const std::wstring& name = msg.pSender->GetName();
    if (name == L"save_btn") Send();
    else if (name == L"cancel_btn" || name == L"close_btn") WindowManager::Instance()->CloseFeedbackWnd();
  }
  FrameWnd::Notify(msg);
}

void FeedbackWnd::Send() {
  if (sent_ || !feedback_edit_ || WindowManager::Instance()->feedback_wnd() != this) return;
  std::wstring text = feedback_edit_->GetText();
  if (text.empty()) {
    feedback_edit_->SetFocus();
    return;
  }
  if (text.size() > kMaxFeedbackChars) {
    System().ShowMessageBox(hwnd(), L"反馈内容太长，请不要超过 4000 个字。", L"意见反馈", MB_OK | MB_ICONWARNING);
    if (WindowManager::Instance()->feedback_wnd() == this) feedback_edit_->SetFocus();
    return;
  }
  sent_ = true;
  veltrina::Feedback feedback;
  feedback.set_client_version("1.0.0");
  feedback.set_description(Utf16ToUtf8(text));
  feedback.set_title("Windows Feedback");
  feedback.set_web_api_version(kWebApiVersion);
  veltrina::WebApi::Api()->PostFeedback(feedback, [](bool, const std::string&) {});
  WindowManager::Instance()->CloseFeedbackWnd();
}

void FeedbackWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearFeedback(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
