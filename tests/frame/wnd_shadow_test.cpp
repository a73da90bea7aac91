#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "frame/wnd_shadow.h"
#include "frame_fixture.h"

namespace {

constexpr int kSize = 4;  // what every window of the client uses

// A plain popup as the shadow's parent; destroyed at the end of the case.
struct Parent {
  Parent(int x, int y, int width, int height, bool visible) {
    static const bool registered = [] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.style = CS_HREDRAW | CS_VREDRAW;
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"ShadowTestParent";
      return RegisterClassExW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    hwnd = CreateWindowExW(0, L"ShadowTestParent", L"", WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, width, height,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~Parent() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  HWND hwnd;
};

// The bitmap of a shadow drawn for a parent's current rectangle, read top-down.
struct Bitmap {
  Bitmap(const CWndShadow& shadow, HWND parent) {
    GetWindowRect(parent, &rect);
    width = rect.right - rect.left + 2 * kSize;
    height = rect.bottom - rect.top + 2 * kSize;
    bits.assign(static_cast<size_t>(width) * height, 0);
    shadow.MakeShadow(bits.data(), parent, rect);
  }
  UINT32 at(int x, int y) const { return bits[static_cast<size_t>(height - 1 - y) * width + x]; }
  int alpha(int x, int y) const { return static_cast<int>(at(x, y) >> 24); }
  RECT rect;
  int width, height;
  std::vector<UINT32> bits;
};

std::string Text(const RECT& rc) {
  return std::to_string(rc.left) + "," + std::to_string(rc.top) + " - " + std::to_string(rc.right) + "," +
         std::to_string(rc.bottom);
}

RECT ShadowRect(const CWndShadow& shadow) {
  RECT rc{};
  GetWindowRect(shadow.GetHWND(), &rc);
  return rc;
}

RECT Grown(HWND parent) {
  RECT rc;
  GetWindowRect(parent, &rc);
  InflateRect(&rc, kSize, kSize);
  return rc;
}

// What every window does in OnCreate.
void Attach(CWndShadow& shadow, HWND parent) {
  shadow.Create(parent);
  shadow.SetSize(kSize);
  shadow.SetPosition(0, 0);
}

}  // namespace

class ShadowTest : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    CWndShadow::Initialize(GetModuleHandleW(nullptr));  // start-up may have done it already
  }
};

TEST_F(ShadowTest, InitializeRegistersTheClassOnlyOnce) {
  EXPECT_FALSE(CWndShadow::Initialize(GetModuleHandleW(nullptr)));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"DuskShadowWnd", &wc));
}

TEST_F(ShadowTest, BitmapIsClearUnderTheWindowFadesOutwardAndFollowsARoundedRegion) {
  Parent square(0, 0, 200, 120, false), rounded(0, 0, 200, 120, false);
  SetWindowRgn(rounded.hwnd, CreateRoundRectRgn(0, 0, 201, 121, 40, 40), FALSE);
  CWndShadow shadow;
  shadow.SetSize(kSize);
  shadow.SetPosition(0, 0);
  const Bitmap plain(shadow, square.hwnd), round(shadow, rounded.hwnd);
  ASSERT_EQ(plain.width, 208);
  ASSERT_EQ(plain.height, 128);
  // Nothing under the window; black premultiplied fading from the window's edge outward.
  const auto inside_rounded = std::unique_ptr<std::remove_pointer_t<HRGN>, decltype(&DeleteObject)>(
      CreateRoundRectRgn(0, 0, 201, 121, 40, 40), &DeleteObject);
  for (int y = kSize; y < 120 + kSize; ++y) {
    for (int x = kSize; x < 200 + kSize; ++x) {
      ASSERT_EQ(plain.at(x, y), 0u) << x << "," << y;
      if (PtInRegion(inside_rounded.get(), x - kSize, y - kSize)) {
        ASSERT_EQ(round.at(x, y), 0u) << x << "," << y;
      }
    }
  }
  // Alpha (1 - t / 6) x 150, truncated, at distance t from the outline shrunk by one pixel: the
  // fade ends at the shadow's outer edge (t = 5: 24.99... gives 24).
  EXPECT_EQ(plain.at(104, 3), 100u << 24);
  EXPECT_EQ(plain.at(104, 2), 75u << 24);
  EXPECT_EQ(plain.at(104, 0), 24u << 24);
  EXPECT_EQ(plain.at(0, 64), 24u << 24);
  EXPECT_EQ(plain.at(207, 64), 24u << 24);
  EXPECT_EQ(plain.at(104, 127), 24u << 24);
  // The rounded outline: the same straight edges, clear outer corners, and shadow where the
  // window's own corner is cut away.
  EXPECT_EQ(round.at(104, 0), plain.at(104, 0));
  EXPECT_GT(plain.alpha(2, 2), 0);
  EXPECT_EQ(round.alpha(2, 2), 0);
  ASSERT_FALSE(PtInRegion(inside_rounded.get(), 4, 4));
  EXPECT_EQ(plain.alpha(kSize + 4, kSize + 4), 0);
  EXPECT_GT(round.alpha(kSize + 4, kSize + 4), 0);
}

TEST_F(ShadowTest, OffsetShadowHasASolidPartOfTheDarkness) {
  Parent parent(0, 0, 200, 120, false);
  CWndShadow shadow;  // offsets 5, 5 by default: the shadow shows below and right of the window
  shadow.SetSize(kSize);
  const Bitmap bitmap(shadow, parent.hwnd);
  EXPECT_EQ(bitmap.at(104, 121), 150u << 24);  // below the window
  EXPECT_EQ(bitmap.at(201, 60), 150u << 24);   // right of it
  EXPECT_EQ(bitmap.at(100, 60), 0u);           // under it
  EXPECT_LT(bitmap.alpha(206, 60), 150);       // fading at the edge
}

TEST_F(ShadowTest, ShadowWindowFollowsItsParent) {
  Parent parent(100, 100, 200, 120, true);
  const LONG_PTR own_procedure = GetWindowLongPtrW(parent.hwnd, GWLP_WNDPROC);
  auto shadow = std::make_unique<CWndShadow>();
  Attach(*shadow, parent.hwnd);
  const HWND window = shadow->GetHWND();
  ASSERT_TRUE(IsWindow(window));
  wchar_t name[64] = {};
  GetClassNameW(window, name, 63);
  EXPECT_STREQ(name, L"DuskShadowWnd");
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_LAYERED | WS_EX_TRANSPARENT), WS_EX_LAYERED | WS_EX_TRANSPARENT);
  EXPECT_EQ(GetWindow(window, GW_OWNER), parent.hwnd);
  EXPECT_EQ(CWndShadow::FromParent(parent.hwnd), shadow.get());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(Text(ShadowRect(*shadow)), Text(Grown(parent.hwnd)));

  // Moving only moves the shadow; growing redraws at the next paint (the window's new region
  // is only there then); shrinking redraws at once.
  int drawn = shadow->update_count();
  SetWindowPos(parent.hwnd, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Text(ShadowRect(*shadow)), Text(Grown(parent.hwnd)));
  EXPECT_EQ(shadow->update_count(), drawn);
  SetWindowPos(parent.hwnd, nullptr, 0, 0, 250, 160, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(shadow->update_count(), drawn);
  UpdateWindow(parent.hwnd);
  EXPECT_EQ(shadow->update_count(), ++drawn);
  EXPECT_EQ(Text(ShadowRect(*shadow)), Text(Grown(parent.hwnd)));
  SetWindowPos(parent.hwnd, nullptr, 0, 0, 150, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(shadow->update_count(), ++drawn);
  EXPECT_EQ(Text(ShadowRect(*shadow)), Text(Grown(parent.hwnd)));

  // Maximised or minimised: no shadow; restored: back in place.
  for (int state : {SW_MAXIMIZE, SW_MINIMIZE}) {
    ShowWindow(parent.hwnd, state);
    EXPECT_FALSE(IsWindowVisible(window)) << state;
    ShowWindow(parent.hwnd, SW_RESTORE);
    UpdateWindow(parent.hwnd);
    EXPECT_TRUE(IsWindowVisible(window)) << state;
    EXPECT_EQ(Text(ShadowRect(*shadow)), Text(Grown(parent.hwnd))) << state;
  }

  // A shadow object that goes first hands the window its procedure back.
  EXPECT_NE(GetWindowLongPtrW(parent.hwnd, GWLP_WNDPROC), own_procedure);
  shadow.reset();
  EXPECT_EQ(GetWindowLongPtrW(parent.hwnd, GWLP_WNDPROC), own_procedure);
  EXPECT_EQ(CWndShadow::FromParent(parent.hwnd), nullptr);
  EXPECT_FALSE(IsWindow(window));
  SetWindowPos(parent.hwnd, nullptr, 10, 10, 90, 90, SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(ShadowTest, HiddenParentGetsItsShadowWhenShownAndTakesItAlongWhenDestroyed) {
  CWndShadow shadow;
  auto parent = std::make_unique<Parent>(120, 80, 300, 200, false);
  Attach(shadow, parent->hwnd);
  const HWND window = shadow.GetHWND();
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(shadow.update_count(), 0);
  ShowWindow(parent->hwnd, SW_SHOWNA);
  UpdateWindow(parent->hwnd);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(shadow.update_count(), 1);
  EXPECT_EQ(Text(ShadowRect(shadow)), Text(Grown(parent->hwnd)));
  ShowWindow(parent->hwnd, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(window));

  const HWND gone = parent->hwnd;
  parent.reset();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(CWndShadow::FromParent(gone), nullptr);
  EXPECT_EQ(shadow.GetHWND(), nullptr);
}

TEST_F(ShadowTest, EmptyAndGiantWindowsStayBounded) {
  // An empty window draws nothing, until it gets a size.
  Parent empty(50, 50, 0, 0, true);
  CWndShadow none;
  Attach(none, empty.hwnd);
  EXPECT_EQ(none.update_count(), 0);
  RECT rc = ShadowRect(none);
  EXPECT_TRUE(IsRectEmpty(&rc));
  SetWindowPos(empty.hwnd, nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateWindow(empty.hwnd);
  EXPECT_EQ(none.update_count(), 1);
  EXPECT_EQ(Text(ShadowRect(none)), Text(Grown(empty.hwnd)));

  // A window far larger than the screen: the bitmap covers only the screen and its margin.
  Parent giant(-5000, -5000, 30000, 30000, true);
  CWndShadow huge;
  Attach(huge, giant.hwnd);
  EXPECT_GT(huge.update_count(), 0);
  rc = ShadowRect(huge);
  EXPECT_LE(rc.right - rc.left, GetSystemMetrics(SM_CXVIRTUALSCREEN) + 512);
  EXPECT_LE(rc.bottom - rc.top, GetSystemMetrics(SM_CYVIRTUALSCREEN) + 512);
  EXPECT_GT(rc.right - rc.left, 0);
  // Such a shadow is redrawn when its window moves: another part of it comes into view.
  const int drawn = huge.update_count();
  SetWindowPos(giant.hwnd, nullptr, -20000, -100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(huge.update_count(), drawn + 1);
}
