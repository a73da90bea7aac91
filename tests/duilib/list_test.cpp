// Lists: selection, notifications, clicks, scrolling and removal while events are running.
#include "dui_test_support.h"

struct ListFixture : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(w.Open()); list = w.Find<CListUI>(L"list"); }
  CControlUI* RowAt(int i) { return list->GetItemAt(i); }
  void ClickRow(int i, std::initializer_list<UINT> m = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
    w.Click(Center(RowAt(i)->GetPos()), m);
  }
  SkinWindow w{L"<Window size=\"300,200\"><VerticalLayout><Edit name=\"edit\" height=\"30\"/>"
               L"<List name=\"list\" height=\"150\"/><Control/></VerticalLayout></Window>"};
  CListUI* list = nullptr;
};

// Selecting from code notifies once per change (wParam new, lParam old), leaves the focus alone and follows its row.
TEST_F(ListFixture, SelectionNotifiesChangesKeepsFocusAndFollowsItsRow) {
  AddRows(list, 5);
  w.Find(L"edit")->SetFocus();
  Pump();
  w.seen.clear();
  const struct { int select; bool result; int cur; int notified; } steps[] = {
      {2, true, 2, 1}, {2, true, 2, 1}, {4, true, 4, 2}, {99, false, 4, 2}, {-1, true, -1, 3}, {-1, true, -1, 3}};
  for (const auto& s : steps) {
    const bool changed = list->SelectItem(s.select, false);
    EXPECT_TRUE(s.select < 0 || changed == s.result) << s.select;
    EXPECT_EQ(list->GetCurSel(), s.cur);
    EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), s.notified) << s.select;
  }
  const Seen* last = w.Last(DUI_MSGTYPE_ITEMSELECT);
  EXPECT_TRUE(last->sender == list && last->lParam == 4 && static_cast<int>(last->wParam) == -1);
  EXPECT_EQ(GetFocus(), w.Find(L"edit")->GetNativeWindow());
  list->SelectItem(1, false, false);  // silently
  RowAt(3)->SetEnabled(false);
  RowAt(4)->SetVisible(false);
  EXPECT_FALSE(list->SelectItem(3, false) || list->SelectItem(4, false));  // unselectable rows keep the selection
  EXPECT_TRUE(list->GetCurSel() == 1 && w.Count(DUI_MSGTYPE_ITEMSELECT) == 3);
  RowAt(3)->SetEnabled(true);
  list->SelectItem(3, false);
  list->RemoveAt(1);
  const int afterRemove = list->GetCurSel();
  list->AddAt(new CListContainerElementUI, 0);
  const int afterInsert = list->GetCurSel();
  list->RemoveAt(3);
  EXPECT_TRUE(afterRemove == 2 && afterInsert == 3 && list->GetCurSel() == -1);
  // The hidden row is last now: End walks back from it to the last row that can be selected.
  list->SetFocus();
  w.SendWindowMessage(WM_KEYDOWN, VK_END, 0);
  EXPECT_EQ(list->GetCurSel(), 2);
  list->AddAt(new CListContainerElementUI, 2);  // at the selection's index: the selected row moves down
  EXPECT_EQ(list->GetCurSel(), 3);
}

TEST_F(ListFixture, ClicksRightClicksAndMouseDisabledRows) {
  AddRows(list, 4, true);
  AddRows(list, 1);
  RowAt(0)->SetMouseEnabled(false);
  RowAt(4)->SetMouseEnabled(false);
  w.Layout();
  EXPECT_RECT(RowAt(1)->GetPos(), 0, 60, 300, 90);
  w.seen.clear();
  ClickRow(0);  // a row with a label inside, and an empty one: neither is clicked
  ClickRow(4);
  ClickRow(2);
  ClickRow(2);  // the selected row again: a click, no new selection
  EXPECT_EQ(w.Types({DUI_MSGTYPE_ITEMCLICK, DUI_MSGTYPE_ITEMSELECT}),
            (std::vector<CDuiString>{DUI_MSGTYPE_ITEMCLICK, DUI_MSGTYPE_ITEMSELECT, DUI_MSGTYPE_ITEMCLICK}));
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMCLICK)->sender, RowAt(2));
  // A double click activates a row, after selecting it once.
  ClickRow(3, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
  EXPECT_TRUE(w.Last(DUI_MSGTYPE_ITEMACTIVATE)->sender == RowAt(3) && w.Count(DUI_MSGTYPE_ITEMSELECT) == 2);
  ClickRow(1, {WM_RBUTTONDOWN, WM_RBUTTONUP});
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMRCLICK)->sender, RowAt(1));
}

TEST_F(ListFixture, ScrollPositionKeysAndThumb) {
  AddRows(list, 20);  // 600 px of rows in a 150 px list: range 450
  list->SetScrollPos(SIZE{0, 200});
  w.Layout();
  EXPECT_EQ(RowAt(7)->GetPos().top, 30 + 7 * 30 - 200);
  AddRows(list, 5);
  list->EndDown();  // right after adding rows, before any layout
  EXPECT_EQ(list->GetScrollPos().cy, 600);
  w.Layout();
  EXPECT_EQ(RowAt(24)->GetPos().bottom, 180);
  // When the range shrinks the position is clamped and the rows follow it.
  for (int i = 0; i < 15; ++i) list->RemoveAt(0);
  Pump();
  w.Layout();
  EXPECT_TRUE(list->GetScrollPos().cy == 150 && RowAt(9)->GetPos().bottom == 180);
  AddRows(list, 10);
  list->SetFocus();
  list->SelectItem(0, true);
  for (UINT key : {VK_DOWN, VK_DOWN}) w.SendWindowMessage(WM_KEYDOWN, key, 0);
  EXPECT_EQ(list->GetCurSel(), 2);
  w.SendWindowMessage(WM_KEYDOWN, VK_END, 0);
  w.Layout();
  EXPECT_EQ(RowAt(19)->GetPos().bottom, 180);  // selected and scrolled into view
  w.SendWindowMessage(WM_KEYDOWN, VK_HOME, 0);
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  w.Layout();
  // Dragging the thumb scrolls without selecting; a click on the track pages.
  RECT track = list->GetVerticalScrollBar()->GetPos();
  EXPECT_EQ(RowAt(0)->GetPos().right, track.left);  // rows leave room for the bar
  POINT grab{(track.left + track.right) / 2, track.top + 5};
  w.SendWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, grab.y));
  w.SendWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y + 40));
  EXPECT_GT(list->GetScrollPos().cy, 0);
  w.SendWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y + 400));
  EXPECT_EQ(list->GetScrollPos().cy, 450);
  w.SendWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(grab.x, grab.y + 400));
  w.Click(POINT{grab.x, track.top + 2});
  EXPECT_TRUE(list->GetCurSel() == 0 && list->GetScrollPos().cy == 450 - 120);
}

// Rows removed by a handler of their own click or selection are freed after the event.
TEST_F(ListFixture, RowsRemovedInsideTheirOwnEventsDoNotCrash) {
  AddRows(list, 6, true);
  w.Layout();
  int stage = 0;
  w.onNotify = [&](TNotifyUI& msg) {
    if (stage == 0 && msg.sType == DUI_MSGTYPE_ITEMSELECT) list->RemoveAll(), AddRows(list, 2, true);
    if (stage == 1 && msg.sType == DUI_MSGTYPE_ITEMCLICK) list->Remove(msg.pSender);
  };
  ClickRow(3);
  list->SelectItem(1, false);  // the same from code, outside any message
  Pump();
  w.Layout();
  stage = 1;
  ClickRow(0);
  stage = 2;
  Pump();
  w.Layout();
  ClickRow(0);
  EXPECT_TRUE(list->GetCount() == 1 && list->GetCurSel() == 0);
}
