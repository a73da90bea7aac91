#pragma once
#include <string>

#include "dialogs/placeholder.h"
#include "frame/frame_wnd.h"

namespace veltrinawnd {

inline constexpr UINT kMsgChannelCreated = WM_USER + 21;       // post, veltrina::Channel
inline constexpr UINT kMsgChannelCreateFailed = WM_USER + 22;  // post, none

// Creates a public channel (kind 1) or a private group (kind 2) from a name and an optional
// topic. Either answer closes the window; on success the main window shows the new conversation.
// Window class "CreateChannelWnd", skin "skin_create_channel.xml".
class CreateChannelWnd : public FrameWnd {
 public:
  explicit CreateChannelWnd(int channel_kind);
  ~CreateChannelWnd() override = default;

  int channel_kind() const { return channel_kind_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CreateChannelWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_create_channel.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void Save();
  void OnCreated(LPARAM lParam);
  void OnCreateFailed();
  // True while the window manager still tracks this window: once the user closed it, late
  // answers change nothing.
  bool Tracked() const;

  int channel_kind_;
  DuiLib::CControlUI* window_title_ = nullptr;
  DuiLib::CControlUI* close_btn_ = nullptr;
  DuiLib::CControlUI* description_text_ = nullptr;
  DuiLib::CControlUI* name_edit_ = nullptr;
  DuiLib::CControlUI* topic_edit_ = nullptr;
  Placeholder name_hint_;
  Placeholder topic_hint_;
  // Set by the first save: a second click (a double click) must not create a second channel.
  bool request_sent_ = false;
};

}  // namespace veltrinawnd
