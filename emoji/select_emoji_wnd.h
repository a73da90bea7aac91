#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "SelectEmojiWnd", skin "skin_select_emoji.xml".
class SelectEmojiWnd : public FrameWnd {
 public:
  SelectEmojiWnd(const std::string& conversation_id, int x, int y);
  ~SelectEmojiWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SelectEmojiWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_select_emoji.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  std::string conversation_id_;
  int x_;
  int y_;
};

}  // namespace veltrinawnd
