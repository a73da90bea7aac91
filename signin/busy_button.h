#pragma once
// The primary button of the sign-in windows: a busy look (white, grey text, disabled) while a
// request runs, and the idle look (teal, white text) otherwise.
#include <string>

#include "duilib/UIlib.h"

namespace veltrinawnd {

inline void ShowBusy(DuiLib::CControlUI* button, const wchar_t* text) {
  auto* b = dynamic_cast<DuiLib::CButtonUI*>(button);
  if (!b) return;
  b->SetText(text);
  b->SetBkColor(0xFFFFFFFF);
  b->SetTextColor(0xFFBABABA);
  b->SetEnabled(false);
}

inline void ShowIdle(DuiLib::CControlUI* button, const wchar_t* text) {
  auto* b = dynamic_cast<DuiLib::CButtonUI*>(button);
  if (!b) return;
  b->SetText(text);
  b->SetBkColor(0xFF3FD1BE);
  b->SetTextColor(0xFFFFFFFF);
  b->SetEnabled(true);
}

}  // namespace veltrinawnd
