#include "desktop_input.h"

#include <vector>

#include "smoke_failure.h"

namespace smoke::input {
namespace {

void Send(std::vector<INPUT> inputs) {
  UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size())
    Fail("SendInput accepted " + std::to_string(sent) + " of " + std::to_string(inputs.size()) +
         " events (error " + std::to_string(::GetLastError()) + ")");
}

INPUT Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

INPUT Mouse(DWORD flags, POINT screen = {}) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    // Absolute coordinates run from 0 to 65535 across the primary screen; aim at the pixel's middle.
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((screen.x * 65536LL + 32768) / width);
    in.mi.dy = static_cast<LONG>((screen.y * 65536LL + 32768) / height);
  }
  return in;
}

}  // namespace

void MoveTo(POINT screen) {
  // Under Wine on X11 a pointer motion that the display reports late can put the pointer back where
  // it was just after an injected move: it counts as there once it has stayed for a few rounds.
  constexpr int kSteadyRounds = 3;
  POINT at{};
  int steady = 0;
  Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen)});
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 5000; ::Sleep(20)) {
    if (::GetCursorPos(&at) && at.x == screen.x && at.y == screen.y) {
      if (++steady == kSteadyRounds) return;
    } else {
      steady = 0;
      Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen)});
    }
  }
  Fail("the pointer did not stay at (" + std::to_string(screen.x) + "," + std::to_string(screen.y) + "); it is at (" +
       std::to_string(at.x) + "," + std::to_string(at.y) + ")");
}

namespace {

// The buttons carry the position too, so that a late motion cannot move the press elsewhere.
void ClickWith(POINT screen, DWORD down, DWORD up) {
  MoveTo(screen);
  const DWORD here = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  Send({Mouse(here | down, screen), Mouse(here | up, screen)});
}

}  // namespace

void Click(POINT screen) { ClickWith(screen, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }

void RightClick(POINT screen) { ClickWith(screen, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

void PressKey(WORD vk, bool ctrl, bool shift) {
  std::vector<INPUT> keys;
  if (ctrl) keys.push_back(Key(VK_CONTROL, false));
  if (shift) keys.push_back(Key(VK_SHIFT, false));
  keys.push_back(Key(vk, false));
  keys.push_back(Key(vk, true));
  if (shift) keys.push_back(Key(VK_SHIFT, true));
  if (ctrl) keys.push_back(Key(VK_CONTROL, true));
  Send(keys);
}

void TypeText(const std::wstring& text) {
  for (wchar_t c : text) {
    SHORT scan = ::VkKeyScanW(c);
    if (scan == -1 || (HIBYTE(scan) & ~1) != 0)
      Fail("no plain key types the character U+" + std::to_string(static_cast<unsigned>(c)));
    PressKey(LOBYTE(scan), false, (HIBYTE(scan) & 1) != 0);
  }
}

}  // namespace smoke::input
