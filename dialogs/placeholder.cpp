#include "dialogs/placeholder.h"

namespace veltrinawnd {

Placeholder::Placeholder(DuiLib::CControlUI* edit, std::wstring hint, Colours colours)
    : edit_(edit), hint_(std::move(hint)), colours_(colours) {}

void Placeholder::Show() {
  if (!edit_) return;
  edit_->SetText(hint_);
  SetColour(colours_.hint);
}

bool Placeholder::OnNotify(const DuiLib::TNotifyUI& msg) {
  if (!edit_ || msg.pSender != edit_) return false;
  if (msg.sType == L"setfocus") {
    if (Showing()) {
      edit_->SetText(L"");
      SetColour(colours_.typed);
    }
    return true;
  }
  if (msg.sType == L"killfocus") {
    if (edit_->GetText().empty()) Show();
    return true;
  }
  return false;
}

std::wstring Placeholder::Value() const {
  if (!edit_ || Showing()) return {};
  return edit_->GetText();
}

bool Placeholder::Showing() const { return edit_ && edit_->GetText() == hint_; }

void Placeholder::SetColour(DWORD colour) {
  if (!colour || !edit_) return;
  // The rich edit keeps its colour in the native control, not in the label's field.
  if (auto* rich = dynamic_cast<DuiLib::CRichEditUI*>(edit_)) rich->SetTextColor(colour);
  else if (auto* label = dynamic_cast<DuiLib::CLabelUI*>(edit_)) label->SetTextColor(colour);
}

}  // namespace veltrinawnd
