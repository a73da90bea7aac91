#pragma once
// The hint an empty edit shows while it does not have the focus ("搜索", "给频道一个简单的名字"):
// focus in clears it, focus out puts it back into an empty box. The hint is the box's text
// while shown, so a value equal to the hint counts as empty.
#include <string>

#include "duilib/UIlib.h"

namespace veltrinawnd {

struct PlaceholderColours {
  DWORD typed = 0;  // 0 leaves the colour alone
  DWORD hint = 0;
};

class Placeholder {
 public:
  using Colours = PlaceholderColours;

  Placeholder() = default;
  Placeholder(DuiLib::CControlUI* edit, std::wstring hint, Colours colours = {});

  // Puts the hint into the box.
  void Show();
  // Handles "setfocus" and "killfocus" of its box; true when the notification was its box's.
  bool OnNotify(const DuiLib::TNotifyUI& msg);
  // The box's text, empty while it shows the hint.
  std::wstring Value() const;
  bool Showing() const;
  const std::wstring& hint() const { return hint_; }
  DuiLib::CControlUI* edit() const { return edit_; }

 private:
  void SetColour(DWORD colour);

  DuiLib::CControlUI* edit_ = nullptr;
  std::wstring hint_;
  Colours colours_;
};

}  // namespace veltrinawnd
