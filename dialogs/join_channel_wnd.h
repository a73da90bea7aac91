#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Window class "JoinChannelWnd", skin "skin_join_channel.xml".
class JoinChannelWnd : public FrameWnd {
 public:
  explicit JoinChannelWnd(int channel_kind);
  ~JoinChannelWnd() override = default;

  int channel_kind() const { return channel_kind_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"JoinChannelWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_join_channel.xml"; }
  void OnFinalMessage(HWND hWnd) override;

 private:
  int channel_kind_;
};

}  // namespace veltrinawnd
