#include <memory>
#include <string>
#include <vector>

#include "frame/wnd_shadow.h"
#include "frame_fixture.h"

namespace {

constexpr int kSize = 4;  // what every window of the client uses

// A plain popup as the shadow's parent; destroyed at the end of the case.
struct Parent {
  Parent(int x, int y, int width, int height, bool visible) {
    static const WNDCLASSW wc{CS_HREDRAW | CS_VREDRAW, DefWindowProcW, 0, 0, GetModuleHandleW(nullptr),
                              nullptr, nullptr, nullptr, nullptr, L"ShadowTestParent"};
    static const bool registered = RegisterClassW(&wc) != 0;
    EXPECT_TRUE(registered);
    hwnd = CreateWindowExW(0, L"ShadowTestParent", L"", WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, width, height,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~Parent() { DestroyWindow(hwnd); }
  HWND hwnd;
};

// A window's rectangle grown by `grow` on each side.
std::vector<LONG> Rect(HWND hwnd, int grow = 0) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return {rc.left - grow, rc.top - grow, rc.right + grow, rc.bottom + grow};
}

// What every window does in OnCreate.
void Attach(CWndShadow& shadow, HWND parent) {
  shadow.Create(parent);
  shadow.SetSize(kSize);
  shadow.SetPosition(0, 0);
}

void Resize(HWND hwnd, int width, int height) {
  SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

class ShadowTest : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    CWndShadow::Initialize(GetModuleHandleW(nullptr));  // start-up may have done it already
  }
};

TEST_F(ShadowTest, ShadowWindowFollowsItsParentAndGoesWithIt) {
  auto parent = std::make_unique<Parent>(100, 100, 200, 120, false);
  const LONG_PTR own_procedure = GetWindowLongPtrW(parent->hwnd, GWLP_WNDPROC);
  auto shadow = std::make_unique<CWndShadow>();
  Attach(*shadow, parent->hwnd);
  const HWND window = shadow->GetHWND();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), parent->hwnd);
  EXPECT_EQ(CWndShadow::FromParent(parent->hwnd), shadow.get());
  EXPECT_FALSE(IsWindowVisible(window));  // a hidden parent gets its shadow when shown
  EXPECT_EQ(shadow->update_count(), 0);
  ShowWindow(parent->hwnd, SW_SHOWNA);
  UpdateWindow(parent->hwnd);
  EXPECT_TRUE(IsWindowVisible(window));
  int drawn = 1;
  EXPECT_EQ(shadow->update_count(), drawn);
  EXPECT_EQ(Rect(window), Rect(parent->hwnd, kSize));

  // Moving only moves the shadow; growing redraws at the next paint (the window's new region is
  // only there then); shrinking redraws at once.
  SetWindowPos(parent->hwnd, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Rect(window), Rect(parent->hwnd, kSize));
  Resize(parent->hwnd, 250, 160);
  EXPECT_EQ(shadow->update_count(), drawn);
  UpdateWindow(parent->hwnd);
  EXPECT_EQ(shadow->update_count(), ++drawn);
  Resize(parent->hwnd, 150, 100);
  EXPECT_EQ(shadow->update_count(), ++drawn);
  EXPECT_EQ(Rect(window), Rect(parent->hwnd, kSize));

  // Maximised, minimised or hidden: no shadow; restored: back in place.
  for (int state : {SW_MAXIMIZE, SW_MINIMIZE, SW_HIDE}) {
    ShowWindow(parent->hwnd, state);
    EXPECT_FALSE(IsWindowVisible(window)) << state;
    ShowWindow(parent->hwnd, state == SW_HIDE ? SW_SHOWNA : SW_RESTORE);
    UpdateWindow(parent->hwnd);
    EXPECT_TRUE(IsWindowVisible(window)) << state;
    EXPECT_EQ(Rect(window), Rect(parent->hwnd, kSize)) << state;
  }

  // A shadow object that goes first hands the window its procedure back and takes its window.
  shadow.reset();
  EXPECT_EQ(GetWindowLongPtrW(parent->hwnd, GWLP_WNDPROC), own_procedure);
  EXPECT_EQ(CWndShadow::FromParent(parent->hwnd), nullptr);
  EXPECT_FALSE(IsWindow(window));
  SetWindowPos(parent->hwnd, nullptr, 10, 10, 90, 90, SWP_NOZORDER | SWP_NOACTIVATE);  // reaches no dead object

  // A parent that goes first takes the shadow's window along.
  CWndShadow second;
  Attach(second, parent->hwnd);
  const HWND gone = parent->hwnd, second_window = second.GetHWND();
  parent.reset();
  EXPECT_FALSE(IsWindow(second_window));
  EXPECT_EQ(CWndShadow::FromParent(gone), nullptr);
  EXPECT_EQ(second.GetHWND(), nullptr);
}

TEST_F(ShadowTest, EmptyAndGiantWindowsStayBounded) {
  // An empty window draws nothing, until it gets a size.
  Parent empty(50, 50, 0, 0, true);
  CWndShadow none;
  Attach(none, empty.hwnd);
  EXPECT_EQ(none.update_count(), 0);
  RECT rc{};
  GetWindowRect(none.GetHWND(), &rc);
  EXPECT_TRUE(IsRectEmpty(&rc));
  Resize(empty.hwnd, 100, 80);
  UpdateWindow(empty.hwnd);
  EXPECT_EQ(none.update_count(), 1);
  EXPECT_EQ(Rect(none.GetHWND()), Rect(empty.hwnd, kSize));

  // A window far larger than the screen: the bitmap covers only the screen and its margin, and is
  // redrawn when its window moves, as another part of it comes into view.
  Parent giant(-5000, -5000, 30000, 30000, true);
  CWndShadow huge;
  Attach(huge, giant.hwnd);
  GetWindowRect(huge.GetHWND(), &rc);
  EXPECT_GT(rc.right - rc.left, 0);
  EXPECT_LE(rc.right - rc.left, GetSystemMetrics(SM_CXVIRTUALSCREEN) + 512);
  EXPECT_LE(rc.bottom - rc.top, GetSystemMetrics(SM_CYVIRTUALSCREEN) + 512);
  const int drawn = huge.update_count();
  EXPECT_GT(drawn, 0);
  SetWindowPos(giant.hwnd, nullptr, -20000, -100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(huge.update_count(), drawn + 1);
}
