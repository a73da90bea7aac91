#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "CreateChannelWnd", skin "skin_create_channel.xml".
class CreateChannelWnd : public FrameWnd {
 public:
  explicit CreateChannelWnd(int channel_kind);
  ~CreateChannelWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CreateChannelWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_create_channel.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  int channel_kind_;
};

}  // namespace veltrinawnd
