#include "conversation_pixels.h"

#include <algorithm>

#include "skin_layout.h"
#include "window_probe.h"

namespace smoke {
namespace {

// conversation/message_view.cpp: the avatar (padding 16, width 36) and 5 pixels before the text.
constexpr LONG kTextColumn = 60;
constexpr LONG kScrollBarRoom = 30;
// The name line and the first text line of a message row.
constexpr LONG kStripHeight = 40;

}  // namespace

Picture ConversationPicture(HWND main_window) {
  RECT area = layout::ConversationArea(ClientSize(main_window));
  POINT top_left = ScreenPoint(main_window, area.left, area.top);
  POINT bottom_right = ScreenPoint(main_window, area.right, area.bottom);
  Picture picture;
  picture.width = bottom_right.x - top_left.x;
  picture.height = bottom_right.y - top_left.y;
  picture.pixels = CaptureScreen(RECT{top_left.x, top_left.y, bottom_right.x, bottom_right.y});
  return picture;
}

bool ShowsConversation(const Picture& area) { return DistinctColours(area.pixels) >= 32; }

Picture NewestMessageStrip(const Picture& area) {
  Picture strip;
  if (area.width <= kTextColumn + kScrollBarRoom || area.height < kStripHeight) return strip;
  strip.width = area.width - kTextColumn - kScrollBarRoom;
  strip.height = kStripHeight;
  for (LONG y = area.height - kStripHeight; y < area.height; ++y) {
    auto row = area.pixels.begin() + y * area.width + kTextColumn;
    strip.pixels.insert(strip.pixels.end(), row, row + strip.width);
  }
  return strip;
}

bool ContainsStrip(const Picture& area, const Picture& strip) {
  if (strip.pixels.empty() || area.width != strip.width + kTextColumn + kScrollBarRoom) return false;
  for (LONG top = 0; top + strip.height <= area.height; ++top) {
    bool same = true;
    for (LONG y = 0; same && y < strip.height; ++y) {
      auto row = area.pixels.begin() + (top + y) * area.width + kTextColumn;
      same = std::equal(row, row + strip.width, strip.pixels.begin() + y * strip.width);
    }
    if (same) return true;
  }
  return false;
}

}  // namespace smoke
