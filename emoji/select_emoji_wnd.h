#pragma once
#include <array>
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "SelectEmojiWnd", skin "skin_select_emoji.xml": a borderless popup with every
// emoji image as a button. A click on one writes its short code at the end of the composer and
// closes the popup; a click anywhere outside it closes it too. The window manager opens it and
// keeps at most one.
class SelectEmojiWnd : public FrameWnd {
 public:
  static constexpr int kWidth = 432;
  static constexpr int kHeight = 236;
  static constexpr int kRows = 42;
  static constexpr int kPerRow = 20;

  SelectEmojiWnd(const std::string& conversation_id, int x, int y);
  ~SelectEmojiWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SelectEmojiWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_select_emoji.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void OnEmojiClick(const DuiLib::CDuiString& name);
  bool ContainsCursor() const;

  std::string conversation_id_;  // kept for the record; the composer is the main window's
  int x_;
  int y_;
  DuiLib::CContainerUI* emoji_face_ = nullptr;
  // Owned by emoji_face_ once added.
  std::array<DuiLib::CHorizontalLayoutUI*, kRows> rows_{};
};

}  // namespace veltrinawnd
