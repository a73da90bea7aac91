#include "emoji/select_emoji_wnd.h"

#include <cstdint>
#include <optional>

#include "emoji/emoji_tables.h"
#include "frame/window_manager.h"
#include "main/main_wnd.h"

namespace veltrinawnd {
namespace {

// Buttons are named by their code point in decimal. Anything else (empty, signs, trailing
// letters as in "12abc", more than 32 bits) is not a code point.
std::optional<std::uint32_t> CodePointOfName(const DuiLib::CDuiString& name) {
  if (name.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t ch : name) {
    if (ch < L'0' || ch > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(ch - L'0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

DuiLib::CDuiString Widen(const std::string& ascii) { return DuiLib::CDuiString(ascii.begin(), ascii.end()); }

}  // namespace

SelectEmojiWnd::SelectEmojiWnd(const std::string& conversation_id, int x, int y)
    : FrameWnd(x, y, kWidth, kHeight), conversation_id_(conversation_id), x_(x), y_(y) {}

void SelectEmojiWnd::InitWindow() {
  emoji_face_ = dynamic_cast<DuiLib::CContainerUI*>(m_PaintManager.FindControl(L"emoji_face"));
  if (!emoji_face_) return;
  int row = -1;
  int in_row = kPerRow;  // the first emoji starts a row
  for (const auto& [code_point, stem] : EmojiImages()) {
    if (in_row == kPerRow) {
      if (row + 1 == kRows) break;  // the grid is full
      // Added at once, so the container owns the row before any button goes into it.
      rows_[++row] = new DuiLib::CHorizontalLayoutUI();
      rows_[row]->SetFixedWidth(kWidth);
      rows_[row]->SetFixedHeight(22);
      emoji_face_->Add(rows_[row]);
      in_row = 0;
    }
    auto* button = new DuiLib::CButtonUI();
    button->SetName(std::to_wstring(code_point));
    button->SetFixedWidth(20);
    button->SetFixedHeight(20);
    button->SetBorderRound(SIZE{3, 3});
    button->SetPadding(RECT{1, 1, 0, 1});
    button->SetMouseEnabled(true);
    button->SetNormalImage(Widen(EmojiImageFile(stem)));
    rows_[row]->Add(button);
    ++in_row;
  }
}

void SelectEmojiWnd::Notify(DuiLib::TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) OnEmojiClick(msg.pSender->GetName());
  FrameWnd::Notify(msg);
}

void SelectEmojiWnd::OnEmojiClick(const DuiLib::CDuiString& name) {
  // 0 names no emoji: a click on anything else just closes the picker.
  const std::string code = EmojiShortCodeOfCodePoint(CodePointOfName(name).value_or(0));
  // Close only posts WM_CLOSE: this object stays whole until the modal loop that owns it ends.
  WindowManager::Instance()->CloseSelectEmojiWnd();
  DuiLib::CRichEditUI* input = MainWnd::ChatInput();
  if (input && !code.empty()) input->AppendText(Widen(code));
}

bool SelectEmojiWnd::ContainsCursor() const {
  POINT pt{};
  if (!GetCursorPos(&pt)) return false;
  return x_ < pt.x && pt.x < x_ + kWidth && y_ < pt.y && pt.y < y_ + kHeight;
}

LRESULT SelectEmojiWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // The capture brings clicks on other windows here: one outside closes the picker.
  if ((uMsg == WM_LBUTTONDOWN || uMsg == WM_RBUTTONDOWN) && !ContainsCursor())
    WindowManager::Instance()->CloseSelectEmojiWnd();
  LRESULT result = FrameWnd::HandleMessage(uMsg, wParam, lParam);
  // The toolkit releases the capture when a press inside ends (on the border, the scroll bar);
  // take it back while the picker stays open, or the next click outside would not reach it.
  if (uMsg == WM_LBUTTONUP && m_hWnd && WindowManager::Instance()->select_emoji_wnd() == this &&
      ::GetCapture() != m_hWnd)
    ::SetCapture(m_hWnd);
  return result;
}

void SelectEmojiWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearSelectEmoji(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
