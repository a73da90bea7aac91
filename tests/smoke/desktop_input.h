#pragma once
// Real input through the system's hardware input queue (SendInput), as a user's keyboard and mouse
// would give it: it goes wherever focus and activation send it, in any process on the desktop.
#include <windows.h>

#include <string>

namespace smoke::input {

// Moves the pointer to a screen point (absolute) and waits until the system reports it there.
void MoveTo(POINT screen);
// A left click at a screen point.
void Click(POINT screen);
// A right click at a screen point.
void RightClick(POINT screen);
// One key by virtual-key code, pressed and released, with Ctrl and/or Shift held around it.
void PressKey(WORD vk, bool ctrl = false, bool shift = false);
// Types text key by key (VkKeyScanW, Shift where the layout needs it). Throws for a character
// the keyboard layout has no key for.
void TypeText(const std::wstring& text);

}  // namespace smoke::input
