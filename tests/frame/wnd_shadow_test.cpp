#include <memory>
#include <vector>

#include "frame/wnd_shadow.h"
#include "frame_fixture.h"

namespace {

constexpr int kSize = 4;  // what every window of the client uses

struct Parent {  // a plain popup as the shadow's parent
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

std::vector<LONG> Rect(HWND hwnd, int grow = 0) {  // grown by `grow` on each side
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return {rc.left - grow, rc.top - grow, rc.right + grow, rc.bottom + grow};
}

void Attach(CWndShadow& shadow, HWND parent) {  // what every window does in OnCreate
  shadow.Create(parent);
  shadow.SetSize(kSize);
  shadow.SetPosition(0, 0);
}

void Place(HWND hwnd, int x, int y, int width, int height, UINT flags) {
  SetWindowPos(hwnd, nullptr, x, y, width, height, flags | SWP_NOZORDER | SWP_NOACTIVATE);
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
  // Moving only moves the shadow; growing redraws at the next paint (the new region is only there then);
  // shrinking redraws at once.
  Place(parent->hwnd, 300, 200, 0, 0, SWP_NOSIZE);
  EXPECT_EQ(Rect(window), Rect(parent->hwnd, kSize));
  Place(parent->hwnd, 0, 0, 250, 160, SWP_NOMOVE);
  EXPECT_EQ(shadow->update_count(), 1);
  UpdateWindow(parent->hwnd);
  EXPECT_EQ(shadow->update_count(), 2);
  Place(parent->hwnd, 0, 0, 150, 100, SWP_NOMOVE);
  EXPECT_EQ(shadow->update_count(), 3);
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
  Place(parent->hwnd, 10, 10, 90, 90, 0);  // reaches no dead object
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
  Parent empty(50, 50, 0, 0, true), giant(-5000, -5000, 30000, 30000, true);
  CWndShadow none, huge;
  Attach(none, empty.hwnd);  // draws nothing until it gets a size
  EXPECT_EQ(none.update_count(), 0);
  Place(empty.hwnd, 0, 0, 100, 80, SWP_NOMOVE);
  UpdateWindow(empty.hwnd);
  EXPECT_EQ(none.update_count(), 1);
  EXPECT_EQ(Rect(none.GetHWND()), Rect(empty.hwnd, kSize));
  // Far larger than the screen: the bitmap covers only the screen and a margin, redrawn as the window moves.
  Attach(huge, giant.hwnd);
  RECT rc{};
  GetWindowRect(huge.GetHWND(), &rc);
  EXPECT_GT(rc.right - rc.left, 0);
  EXPECT_LE(rc.right - rc.left, GetSystemMetrics(SM_CXVIRTUALSCREEN) + 512);
  EXPECT_LE(rc.bottom - rc.top, GetSystemMetrics(SM_CYVIRTUALSCREEN) + 512);
  const int drawn = huge.update_count();
  EXPECT_GT(drawn, 0);
  Place(giant.hwnd, -20000, -100, 0, 0, SWP_NOSIZE);
  EXPECT_EQ(huge.update_count(), drawn + 1);
  // Narrow but far taller than the screen: bounded all the same, on the side that does not fit.
  Parent tall(100, -5000, 300, 30000, true);
  CWndShadow narrow;
  Attach(narrow, tall.hwnd);
  GetWindowRect(narrow.GetHWND(), &rc);
  EXPECT_GT(rc.right - rc.left, 300);
  EXPECT_LE(rc.bottom - rc.top, GetSystemMetrics(SM_CYVIRTUALSCREEN) + 512);
}
