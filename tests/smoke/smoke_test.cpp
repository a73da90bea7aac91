#include <gtest/gtest.h>
#include <windows.h>
#include <thread>
TEST(Smoke, ThreadsAndWindows) {
  int v = 0; std::thread t([&]{ v = 1; }); t.join(); EXPECT_EQ(v, 1);
  HWND h = CreateWindowExW(0, L"STATIC", L"x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(h, nullptr); DestroyWindow(h);
}
