#pragma once
#include <memory>
#include <string>
#include <vector>

#include "dialogs/placeholder.h"
#include "frame/frame_wnd.h"
#include "veltrina/channel.h"

namespace veltrinawnd {

// Lists the channels (kind 1) or private groups (kind 2) the user could join, narrowed by the
// search box; joins one, or hands over to the create window. Joining closes the window at once:
// the joined channel reaches the session list through the core's own events.
// Window class "JoinChannelWnd", skin "skin_join_channel.xml".
class JoinChannelWnd : public FrameWnd {
 public:
  explicit JoinChannelWnd(int channel_kind);
  ~JoinChannelWnd() override = default;

  int channel_kind() const { return channel_kind_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"JoinChannelWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_join_channel.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  // Shown channels := clones of the channels whose name holds filter (all of them when empty).
  void BuildShownList(const std::string& filter);
  void FillList();
  void Join(const std::string& channel_id);
  void OpenCreateWindow();

  int channel_kind_;
  DuiLib::CListUI* result_list_ = nullptr;
  DuiLib::CControlUI* search_ = nullptr;
  std::vector<std::unique_ptr<veltrina::Channel>> all_channels_;
  std::vector<std::unique_ptr<veltrina::Channel>> shown_channels_;
  Placeholder search_hint_;
};

}  // namespace veltrinawnd
