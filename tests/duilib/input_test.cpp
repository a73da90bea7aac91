// Mouse input as Windows delivers it: buttons, double clicks, the wheel, hiding and disabling.
#include <gtest/gtest.h>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

const wchar_t kSkin[] =
    L"<Window size=\"300,300\"><VerticalLayout>"
    L"<HorizontalLayout name=\"bar\" height=\"30\"><Button name=\"b1\" width=\"60\"/><Button name=\"b2\" width=\"60\"/>"
    L"<Edit name=\"edit\"/></HorizontalLayout>"
    L"<List name=\"list\" height=\"150\"/>"
    L"<Control/></VerticalLayout></Window>";

LPARAM At(POINT pt) { return MAKELPARAM(pt.x, pt.y); }

TEST(Input, ButtonClicksOnlyWhenReleasedOverIt) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  w.Layout();
  auto* b1 = w.Find(L"b1");
  auto* b2 = w.Find(L"b2");
  w.Click(Center(b1->GetPos()));
  ASSERT_EQ(w.Count(DUI_MSGTYPE_CLICK), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_CLICK)->sender, b1);

  // Pressed on b1, released over b2: no click at all.
  w.seen.clear();
  w.SendWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(Center(b1->GetPos())));
  w.SendWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, At(Center(b2->GetPos())));
  w.SendWindowMessage(WM_LBUTTONUP, 0, At(Center(b2->GetPos())));
  EXPECT_EQ(w.Count(DUI_MSGTYPE_CLICK), 0);

  // Disabled and hidden buttons do nothing.
  b1->SetEnabled(false);
  w.Click(Center(b1->GetPos()));
  EXPECT_EQ(w.Count(DUI_MSGTYPE_CLICK), 0);
  b1->SetEnabled(true);
  RECT where = b1->GetPos();
  b1->SetVisible(false);
  w.Layout();
  EXPECT_EQ(b2->GetPos().left, 0);  // b2 moved into the space
  w.Click(Center(where));
  ASSERT_EQ(w.Count(DUI_MSGTYPE_CLICK), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_CLICK)->sender, b2);
}

TEST(Input, DoubleClickActivatesARow) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  auto* list = w.Find<CListUI>(L"list");
  for (int i = 0; i < 3; ++i) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(30);
    list->Add(row);
  }
  w.Layout();
  POINT pt = Center(list->GetItemAt(1)->GetPos());
  w.SendWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(pt));
  w.SendWindowMessage(WM_LBUTTONUP, 0, At(pt));
  w.SendWindowMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, At(pt));
  w.SendWindowMessage(WM_LBUTTONUP, 0, At(pt));
  ASSERT_EQ(w.Count(DUI_MSGTYPE_ITEMACTIVATE), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMACTIVATE)->sender, list->GetItemAt(1));
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 1);
  EXPECT_EQ(list->GetCurSel(), 1);
}

TEST(Input, WheelScrollsTheListUnderTheMouse) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  auto* list = w.Find<CListUI>(L"list");
  for (int i = 0; i < 20; ++i) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(30);
    auto* label = new CLabelUI;
    label->SetText(L"row");
    row->Add(label);
    list->Add(row);
  }
  w.Layout();
  POINT client = Center(list->GetPos());
  POINT screen = client;
  ClientToScreen(w.GetHWND(), &screen);
  w.SendWindowMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), At(screen));
  int down = list->GetScrollPos().cy;
  EXPECT_GT(down, 0);
  w.SendWindowMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), At(screen));
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  // The wheel over another control leaves the list alone.
  POINT other = Center(w.Find(L"b1")->GetPos());
  ClientToScreen(w.GetHWND(), &other);
  w.SendWindowMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), At(other));
  EXPECT_EQ(list->GetScrollPos().cy, 0);
}

TEST(Input, HidingOrDisablingAContainerReachesNativeEdits) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  w.Layout();
  auto* bar = w.Find(L"bar");
  auto* edit = w.Find(L"edit");
  HWND native = edit->GetNativeWindow();
  ASSERT_NE(native, nullptr);
  EXPECT_TRUE(IsWindowVisible(native));
  bar->SetVisible(false);
  w.Layout();
  EXPECT_FALSE(edit->IsVisible());
  EXPECT_FALSE(IsWindowVisible(native));
  EXPECT_EQ(w.Find(L"list")->GetPos().top, 0);
  bar->SetVisible(true);
  w.Layout();
  EXPECT_TRUE(IsWindowVisible(native));
  bar->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(native));
  EXPECT_FALSE(w.Find(L"b1")->IsEnabled());
  bar->SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(native));

  // Removing the edit's container removes its native window from view at once.
  static_cast<CContainerUI*>(w.PM().GetRoot())->Remove(bar);
  EXPECT_FALSE(IsWindowVisible(native));
  Pump();
  EXPECT_EQ(w.Find(L"edit"), nullptr);
  EXPECT_FALSE(IsWindow(native));
}

}  // namespace

namespace {

TEST(Input, CaptionDragsOnlyWherePlainControlsAre) {
  SkinWindow w(L"<Window size=\"300,200\" caption=\"0,0,0,40\" sizebox=\"5,5,5,5\" mininfo=\"150,100\">"
               L"<VerticalLayout><HorizontalLayout height=\"40\"><Label name=\"title\" width=\"100\"/>"
               L"<Button name=\"b\" width=\"40\"/><Text name=\"t\" showhtml=\"true\" width=\"80\"/><Control/>"
               L"</HorizontalLayout><Control name=\"body\"/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  // A sizable window (the style bit alone: Wine without a window manager is slow to let go of
  // windows whose frame it was told about).
  SetWindowLongW(w.GetHWND(), GWL_STYLE, GetWindowLongW(w.GetHWND(), GWL_STYLE) | WS_THICKFRAME);
  w.Layout();
  auto hit = [&](int x, int y) {
    POINT pt{x, y};
    ClientToScreen(w.GetHWND(), &pt);
    return w.SendWindowMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
  };
  EXPECT_EQ(hit(50, 20), HTCAPTION);  // the title label
  EXPECT_EQ(hit(120, 20), HTCLIENT);  // the button
  EXPECT_EQ(hit(200, 20), HTCAPTION);  // text without links
  w.Find<CTextUI>(L"t")->SetText(L"{a x}link{/a}");
  w.Layout();
  EXPECT_EQ(hit(150, 20), HTCLIENT);  // text with links
  EXPECT_EQ(hit(150, 100), HTCLIENT);  // below the caption
  EXPECT_EQ(hit(2, 100), HTLEFT);
  EXPECT_EQ(hit(298, 198), HTBOTTOMRIGHT);
  EXPECT_EQ(hit(150, 2), HTTOP);

  MINMAXINFO mmi{};
  w.SendWindowMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  EXPECT_EQ(mmi.ptMinTrackSize.x, 150);
  EXPECT_EQ(mmi.ptMinTrackSize.y, 100);
}

TEST(Input, RichEditRightClickReportsWindowCoordinates) {
  SkinWindow w(L"<Window size=\"300,200\"><VerticalLayout><Control height=\"50\"/>"
               L"<RichEdit name=\"r\" height=\"100\" padding=\"20,0,0,0\"/><Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  w.Layout();
  auto* rich = w.Find(L"r");
  RECT native;
  GetWindowRect(rich->GetNativeWindow(), &native);
  MapWindowPoints(nullptr, w.GetHWND(), reinterpret_cast<POINT*>(&native), 2);
  SendMessageW(rich->GetNativeWindow(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(7, 9));
  SendMessageW(rich->GetNativeWindow(), WM_RBUTTONUP, 0, MAKELPARAM(7, 9));
  ASSERT_EQ(w.Count(DUI_MSGTYPE_RICHEDIT_CLICK), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_RICHEDIT_CLICK)->sender, rich);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_RICHEDIT_CLICK)->pt.x, native.left + 7);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_RICHEDIT_CLICK)->pt.y, native.top + 9);
  EXPECT_EQ(native.left, 20 + 4);
  EXPECT_EQ(native.top, 50 + 4);
}

}  // namespace

namespace {

TEST(Notify, AsyncNotificationsArriveAfterTheCurrentMessage) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  auto* b1 = w.Find(L"b1");
  w.PM().SendNotify(b1, L"later", 3, 4, true);
  EXPECT_EQ(w.Count(L"later"), 0);
  Pump();
  ASSERT_EQ(w.Count(L"later"), 1);
  EXPECT_EQ(w.Last(L"later")->sender, b1);
  EXPECT_EQ(w.Last(L"later")->wParam, 3u);
  EXPECT_EQ(w.Last(L"later")->lParam, 4);
}

TEST(Notify, ListenersRemovedDuringANotificationAreNotCalled) {
  struct Listener : INotifyUI {
    CPaintManagerUI* pm = nullptr;
    INotifyUI* drop = nullptr;
    int calls = 0;
    void Notify(TNotifyUI&) override {
      ++calls;
      if (drop) pm->RemoveNotifier(drop);
    }
  };
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  Listener first, second;
  first.pm = second.pm = &w.PM();
  first.drop = &second;
  EXPECT_TRUE(w.PM().AddNotifier(&first));
  EXPECT_FALSE(w.PM().AddNotifier(&first));
  EXPECT_TRUE(w.PM().AddNotifier(&second));
  w.PM().SendNotify(w.Find(L"b1"), L"x");
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(second.calls, 0);
  EXPECT_TRUE(w.PM().RemoveNotifier(&first));
  EXPECT_FALSE(w.PM().RemoveNotifier(&second));
}

TEST(Notify, ScrollingRaisesScroll) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  auto* list = w.Find<CListUI>(L"list");
  for (int i = 0; i < 10; ++i) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(30);
    list->Add(row);
  }
  list->SetScrollPos(SIZE{0, 40});
  ASSERT_EQ(w.Count(DUI_MSGTYPE_SCROLL), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_SCROLL)->sender, list);
  list->SetScrollPos(SIZE{0, 40});
  EXPECT_EQ(w.Count(DUI_MSGTYPE_SCROLL), 1);  // no movement, no notification
  list->LineDown();
  EXPECT_EQ(list->GetScrollPos().cy, 70);
  list->PageUp();
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  list->PageDown();
  EXPECT_EQ(list->GetScrollPos().cy, 120);
}

}  // namespace

namespace {

TEST(Input, MaximizeAndRestoreSwapTheirButtons) {
  SkinWindow w(L"<Window size=\"300,200\" caption=\"0,0,0,30\"><VerticalLayout><HorizontalLayout height=\"30\">"
               L"<Control/><Button name=\"maxbtn\" width=\"30\"/><Button name=\"restorebtn\" width=\"30\" visible=\"false\"/>"
               L"</HorizontalLayout><Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  w.Layout();
  w.Click(Center(w.Find(L"maxbtn")->GetPos()));
  ASSERT_TRUE(IsZoomed(w.GetHWND()));
  EXPECT_FALSE(w.Find(L"maxbtn")->IsVisible());
  EXPECT_TRUE(w.Find(L"restorebtn")->IsVisible());
  w.Layout();
  RECT client;
  GetClientRect(w.GetHWND(), &client);
  EXPECT_GT(client.right, 300);
  EXPECT_EQ(w.Find(L"restorebtn")->GetPos().right, client.right);  // laid out for the new size
  w.Click(Center(w.Find(L"restorebtn")->GetPos()));
  EXPECT_FALSE(IsZoomed(w.GetHWND()));
  EXPECT_TRUE(w.Find(L"maxbtn")->IsVisible());
  EXPECT_FALSE(w.Find(L"restorebtn")->IsVisible());
  GetClientRect(w.GetHWND(), &client);
  EXPECT_EQ(client.right, 300);
}

}  // namespace

namespace {

TEST(Input, CursorsFollowTheControlsUnderTheMouse) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(300, 300));
  w.Layout();
  // The pointer moves asynchronously on some displays: wait until Windows reports it there.
  auto movePointer = [&](POINT client) {
    POINT screen = client;
    ClientToScreen(w.GetHWND(), &screen);
    SetCursorPos(screen.x, screen.y);
    for (int i = 0; i < 100; ++i) {
      POINT now{};
      GetCursorPos(&now);
      if (now.x == screen.x && now.y == screen.y) return;
      Pump(1);
      Sleep(5);
    }
    ADD_FAILURE() << "the pointer did not move";
  };
  auto setCursor = [&](POINT client, HWND target) {
    movePointer(client);
    return w.SendWindowMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  };
  // Over the toolkit's own controls the window sets the cursor (a hand on buttons).
  EXPECT_TRUE(setCursor(Center(w.Find(L"b1")->GetPos()), w.GetHWND()));
  EXPECT_TRUE(setCursor(Center(w.Find(L"list")->GetPos()), w.GetHWND()));
  // Over an edit the native control keeps its own (I-beam) cursor: asked by the edit's default
  // handling first, the window must leave it alone.
  auto* edit = w.Find(L"edit");
  EXPECT_FALSE(setCursor(Center(edit->GetPos()), edit->GetNativeWindow()));
}

}  // namespace
