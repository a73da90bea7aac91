#pragma once
#include <gtest/gtest.h>

#include "duilib/UIlib.h"
#include "ui_driver.h"

// The toolkit set up; at the end no window of ours left and no quit request pending, so cases cannot leak.
class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr)); }
  void TearDown() override {
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
      if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
  }
};
