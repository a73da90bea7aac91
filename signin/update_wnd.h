#pragma once
#include <string>

#include "frame/frame_wnd.h"

namespace veltrinawnd {

// Announces a newer client version with its description and opens its download page.
class UpdateWnd : public FrameWnd {
 public:
  UpdateWnd(const std::string& description, const std::string& download_url);
  ~UpdateWnd() override = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"UpdateWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"skin_new_version.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 private:
  DuiLib::CButtonUI* update_btn_ = nullptr;
  DuiLib::CButtonUI* cancel_btn_ = nullptr;
  DuiLib::CControlUI* description_edit_ = nullptr;
  std::string description_;
  std::string download_url_;
};

}  // namespace veltrinawnd
