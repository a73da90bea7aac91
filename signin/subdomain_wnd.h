#pragma once
#include "frame/frame_wnd.h"

namespace veltrinawnd {

// The first window: the user names the team by its subdomain. A found team closes this window
// and runs the login window from inside the handler; a newer client version shows the update
// window over it.
class SubdomainWnd : public FrameWnd {
 public:
  SubdomainWnd() = default;
  ~SubdomainWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SubdomainWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_domain_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Continue();
  void StartVersionCheck();
  void OnTeamFound(LPARAM lParam);
  void OnLookupFailed(LPARAM lParam);
  void OnNewVersion(LPARAM lParam);

  DuiLib::CEditUI* subdomain_edit_ = nullptr;
  DuiLib::CButtonUI* continue_btn_ = nullptr;
};

}  // namespace veltrinawnd
