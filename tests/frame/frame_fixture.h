#pragma once
#include <gtest/gtest.h>

#include "duilib/UIlib.h"
#include "ui_driver.h"

// Every window test starts with the toolkit set up and ends with no window of ours left and no
// quit request pending, so cases cannot leak into each other.
class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr)); }
  void TearDown() override {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    EXPECT_EQ(testkit::CountVisibleTopLevelWindows(), 0);
  }
};
