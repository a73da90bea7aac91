#pragma once
#include "frame/frame_wnd.h"

namespace veltrinawnd {

// A new account sets its first password here, then goes on to the main window.
class RestPasswordWnd : public FrameWnd {
 public:
  RestPasswordWnd() = default;
  ~RestPasswordWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"RestPwdWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_reset_pwd_wnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Confirm();
  void OnPasswordSet();
  void OnPasswordNotSet(LPARAM lParam);
  void OnDataPrepared();

  DuiLib::CEditUI* new_pwd_edit_ = nullptr;
  DuiLib::CEditUI* confirm_pwd_edit_ = nullptr;
  DuiLib::CButtonUI* sure_btn_ = nullptr;
  // Set by the first success: later answers of confirmations made meanwhile are ignored.
  bool preparing_ = false;
};

}  // namespace veltrinawnd
