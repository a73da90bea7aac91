#include "emoji/select_emoji_wnd.h"

#include "frame/window_manager.h"

namespace veltrinawnd {

SelectEmojiWnd::SelectEmojiWnd(const std::string& conversation_id, int x, int y) : FrameWnd(x, y, 432, 236), conversation_id_(conversation_id), x_(x), y_(y) {}

void SelectEmojiWnd::OnFinalMessage(HWND hWnd) {
  WindowManager::Instance()->ClearSelectEmoji(this);
  FrameWnd::OnFinalMessage(hWnd);
}

}  // namespace veltrinawnd
