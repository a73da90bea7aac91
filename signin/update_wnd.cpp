#include "signin/update_wnd.h"

#include "app/storage.h"
#include "app/system_seam.h"

namespace veltrinawnd {

UpdateWnd::UpdateWnd(const std::string& description, const std::string& download_url)
    : description_(description), download_url_(download_url) {}

void UpdateWnd::InitWindow() {
  description_edit_ = m_PaintManager.FindControl(L"description_edit");
  update_btn_ = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"update_btn"));
  cancel_btn_ = dynamic_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl(L"cancel_btn"));
  if (description_edit_) description_edit_->SetText(Utf8ToUtf16(description_));
}

void UpdateWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    if (msg.pSender->GetName() == L"update_btn") {
      OpenWebAddress(Utf8ToUtf16(download_url_));  // the window stays open
    } else if ((cancel_btn_ && msg.pSender == cancel_btn_) || msg.pSender->GetName() == L"close_btn") {
      Close(IDOK);
    }
  }
  FrameWnd::Notify(msg);
}

}  // namespace veltrinawnd
