// Mouse input as Windows delivers it, window frame hit testing, and notifications.
#include "dui_test_support.h"

const wchar_t kSkin[] =
    L"<Window size=\"300,300\"><VerticalLayout name=\"root\">"
    L"<HorizontalLayout name=\"bar\" height=\"30\"><Button name=\"b1\" width=\"60\"/><Button name=\"b2\" width=\"60\"/>"
    L"<Edit name=\"edit\"/></HorizontalLayout><List name=\"list\" height=\"150\"/><Control/></VerticalLayout></Window>";

struct InputFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(w.Open(300, 300));
    list = w.Find<CListUI>(L"list");
    AddRows(list, 20, true);
    w.Layout();
  }
  SkinWindow w{kSkin};
  CListUI* list = nullptr;
};

TEST_F(InputFixture, ClicksOnlyWhenReleasedOverAnEnabledVisibleButtonAndTheWheelScrollsTheListUnderIt) {
  auto *b1 = w.Find(L"b1"), *b2 = w.Find(L"b2");
  w.Click(Center(b1->GetPos()));
  EXPECT_EQ(w.Last(DUI_MSGTYPE_CLICK)->sender, b1);
  w.seen.clear();
  w.Click(Center(b1->GetPos()), {WM_LBUTTONDOWN});  // pressed on b1, released on b2
  w.Click(Center(b2->GetPos()), {WM_MOUSEMOVE, WM_LBUTTONUP});
  b1->SetEnabled(false);
  w.Click(Center(b1->GetPos()));
  EXPECT_EQ(w.Count(DUI_MSGTYPE_CLICK), 0);
  RECT where = b1->GetPos();
  b1->SetVisible(false);
  w.Layout();
  w.Click(Center(where));  // b2 moved into the space
  EXPECT_EQ(w.Last(DUI_MSGTYPE_CLICK)->sender, b2);
  // The wheel scrolls the list under the mouse; scrolling notifies.
  auto wheel = [&](POINT client, short delta) {
    ClientToScreen(w.GetHWND(), &client);
    w.SendWindowMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), MAKELPARAM(client.x, client.y));
  };
  wheel(Center(list->GetPos()), -WHEEL_DELTA);
  EXPECT_GT(list->GetScrollPos().cy, 0);
  wheel(Center(list->GetPos()), WHEEL_DELTA);
  wheel(Center(b2->GetPos()), -WHEEL_DELTA);  // over another control: the list stays
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  w.seen.clear();
  list->SetScrollPos(SIZE{0, 40});
  list->SetScrollPos(SIZE{0, 40});  // no movement, no notification
  EXPECT_TRUE(w.Count(DUI_MSGTYPE_SCROLL) == 1 && w.Last(DUI_MSGTYPE_SCROLL)->sender == list);
  list->LineDown();
  EXPECT_EQ(list->GetScrollPos().cy, 70);
  list->PageUp();
  list->PageDown();
  EXPECT_EQ(list->GetScrollPos().cy, 120);
}

TEST_F(InputFixture, CursorsFollowTheControlsAndContainersReachNativeEdits) {
  // The pointer moves asynchronously on some displays: wait until Windows reports it there.
  auto setCursor = [&](POINT client, HWND target) {
    POINT screen = client, now{};
    ClientToScreen(w.GetHWND(), &screen);
    SetCursorPos(screen.x, screen.y);
    for (int i = 0; i < 100 && GetCursorPos(&now) && (now.x != screen.x || now.y != screen.y); ++i) Pump(1), Sleep(5);
    return w.SendWindowMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  };
  EXPECT_TRUE(setCursor(Center(w.Find(L"b1")->GetPos()), w.GetHWND()));
  EXPECT_TRUE(setCursor(Center(list->GetPos()), w.GetHWND()));
  // Over an edit the native control keeps its own I-beam: the window must leave it alone.
  auto* bar = w.Find(L"bar");
  HWND native = w.Find(L"edit")->GetNativeWindow();
  EXPECT_FALSE(setCursor(Center(w.Find(L"edit")->GetPos()), native));
  // Hiding, disabling or removing a container reaches the native edits in it.
  bar->SetVisible(false);
  w.Layout();
  EXPECT_TRUE(!IsWindowVisible(native) && list->GetPos().top == 0);
  bar->SetVisible(true);
  bar->SetEnabled(false);
  w.Layout();
  EXPECT_TRUE(IsWindowVisible(native) && !IsWindowEnabled(native) && !w.Find(L"b1")->IsEnabled());
  bar->SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(native));
  w.Find<CContainerUI>(L"root")->Remove(bar);
  EXPECT_FALSE(IsWindowVisible(native));  // at once, freed after the current message
  Pump();
  EXPECT_FALSE(IsWindow(native));
}

TEST(Frame, CaptionSizeBoxMinimumMaximizeAndRichEditClicks) {
  SkinWindow w(L"<Window size=\"300,200\" caption=\"0,0,0,40\" sizebox=\"5,5,5,5\" mininfo=\"150,100\">"
               L"<VerticalLayout><HorizontalLayout height=\"40\"><Label width=\"100\"/><Button name=\"maxbtn\" width=\"40\"/>"
               L"<Button name=\"restorebtn\" width=\"40\" visible=\"false\"/><Text name=\"t\" showhtml=\"true\" width=\"80\"/>"
               L"<Control/></HorizontalLayout><RichEdit name=\"r\" height=\"100\" padding=\"20,10,0,0\"/><Control/>"
               L"</VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  // Sizable by the style bit alone: Wine without a window manager is slow to free windows with a frame.
  SetWindowLongW(w.GetHWND(), GWL_STYLE, GetWindowLongW(w.GetHWND(), GWL_STYLE) | WS_THICKFRAME);
  w.Layout();
  auto hit = [&](int x, int y) {
    POINT pt{x, y};
    ClientToScreen(w.GetHWND(), &pt);
    return w.SendWindowMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
  };
  // The caption drags only where plain controls are: labels and text without links.
  const struct { int x, y; LRESULT hit; } cases[] = {{50, 20, HTCAPTION}, {120, 20, HTCLIENT}, {180, 20, HTCAPTION},
      {150, 100, HTCLIENT}, {2, 100, HTLEFT}, {298, 198, HTBOTTOMRIGHT}, {150, 2, HTTOP}};
  for (const auto& c : cases) EXPECT_EQ(hit(c.x, c.y), c.hit) << c.x << "," << c.y;
  w.Find<CTextUI>(L"t")->SetText(L"{a x}link{/a}");
  w.Layout();
  EXPECT_EQ(hit(180, 20), HTCLIENT);
  MINMAXINFO mmi{};
  w.SendWindowMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  EXPECT_EQ(mmi.ptMinTrackSize.x + mmi.ptMinTrackSize.y, 250);
  // A right click in the rich edit reports window coordinates.
  for (UINT m : {WM_RBUTTONDOWN, WM_RBUTTONUP}) SendMessageW(w.Find(L"r")->GetNativeWindow(), m, 0, MAKELPARAM(7, 9));
  ASSERT_EQ(w.Count(DUI_MSGTYPE_RICHEDIT_CLICK), 1);
  const POINT rclick = w.Last(DUI_MSGTYPE_RICHEDIT_CLICK)->pt;
  EXPECT_TRUE(rclick.x == 20 + 4 + 7 && rclick.y == 50 + 4 + 9);
  // Maximize and restore swap their buttons and lay out for the new size.
  auto* maxbtn = w.Find(L"maxbtn");
  w.Click(Center(maxbtn->GetPos()));
  ASSERT_TRUE(IsZoomed(w.GetHWND()));
  w.Layout();
  RECT client;
  GetClientRect(w.GetHWND(), &client);
  EXPECT_TRUE(!maxbtn->IsVisible() && w.Find(L"restorebtn")->IsVisible() && client.right > 300);
  w.Click(Center(w.Find(L"restorebtn")->GetPos()));
  EXPECT_TRUE(!IsZoomed(w.GetHWND()) && maxbtn->IsVisible() && !w.Find(L"restorebtn")->IsVisible());
}

TEST(Notify, ListenersRemovedDuringANotificationAreNotCalled) {
  struct Listener : INotifyUI {
    CPaintManagerUI* pm = nullptr;
    INotifyUI* drop = nullptr;
    int calls = 0;
    void Notify(TNotifyUI&) override { ++calls, drop && pm->RemoveNotifier(drop); }
  } second, first;
  CPaintManagerUI pm;
  first.pm = &pm, first.drop = &second;
  EXPECT_TRUE(pm.AddNotifier(&first) && !pm.AddNotifier(&first) && pm.AddNotifier(&second));
  pm.SendNotify(nullptr, L"x");
  EXPECT_EQ(first.calls + 10 * second.calls, 1);
}

// An asynchronous notification arrives after the current message, and is dropped when its sender leaves the tree
// before delivery, even when another notification of its batch removes it.
TEST_F(InputFixture, AsyncNotificationsAreDeliveredLaterUnlessTheirSenderWasRemoved) {
  CControlUI *b1 = w.Find(L"b1"), *b2 = w.Find(L"b2");
  w.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == L"late" && msg.pSender == b2) w.Find<CContainerUI>(L"root")->Remove(list);
  };
  for (CControlUI* c : {b1, b2, static_cast<CControlUI*>(list)}) w.PM().SendNotify(c, L"late", 3, 4, true);
  w.Find<CContainerUI>(L"bar")->Remove(b1);
  EXPECT_EQ(w.Count(L"late"), 0);
  Pump();
  ASSERT_EQ(w.Count(L"late"), 1);
  EXPECT_TRUE(w.Last(L"late")->sender == b2 && w.Last(L"late")->wParam + w.Last(L"late")->lParam == 7u);
}
