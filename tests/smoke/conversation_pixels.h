#pragma once
// What an outsider can see of a conversation. The main window's chat_display is drawn by the
// toolkit: no native window, no text to read. So the smoke tests look at its pixels on the screen.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace smoke {

struct Picture {
  LONG width = 0;
  LONG height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, row by row
  bool operator==(const Picture&) const = default;
};

// The conversation area of the main window as the screen shows it now.
Picture ConversationPicture(HWND main_window);
// True when it shows more than a blank background: avatars, names and anti-aliased text give
// hundreds of colours, an empty list one or two.
bool ShowsConversation(const Picture& area);
// The bottom rows of the area's text column, where the newest message is drawn once the list has
// scrolled to its end: the avatar column (its image may arrive later) and the scroll bar left out.
Picture NewestMessageStrip(const Picture& area);
// True when the strip appears in the area, in the same columns, at any height.
bool ContainsStrip(const Picture& area, const Picture& strip);

}  // namespace smoke
