// Lists: selection, notifications, clicks, scrolling and removal while events are running.
#include <gtest/gtest.h>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

const wchar_t kListSkin[] =
    L"<Window size=\"300,200\"><VerticalLayout>"
    L"<Edit name=\"edit\" height=\"30\"/>"
    L"<List name=\"list\" height=\"150\"/>"
    L"<Control/>"
    L"</VerticalLayout></Window>";

CListContainerElementUI* Row(int height = 30, const wchar_t* label = nullptr) {
  auto* row = new CListContainerElementUI;
  row->SetFixedHeight(height);
  if (label) {
    auto* l = new CLabelUI;
    l->SetText(label);
    row->Add(l);
  }
  return row;
}

struct ListFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(w.Open(300, 200));
    list = w.Find<CListUI>(L"list");
    ASSERT_NE(list, nullptr);
  }
  void AddRows(int n, bool labels = false) {
    for (int i = 0; i < n; ++i) list->Add(Row(30, labels ? L"row" : nullptr));
  }
  CListContainerElementUI* RowAt(int i) { return static_cast<CListContainerElementUI*>(list->GetItemAt(i)); }
  SkinWindow w{kListSkin};
  CListUI* list = nullptr;
};

TEST_F(ListFixture, AddCountAndItems) {
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(list->GetCurSel(), -1);
  AddRows(3);
  EXPECT_EQ(list->GetCount(), 3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(RowAt(i), nullptr);
    EXPECT_EQ(RowAt(i)->GetIndex(), i);
    EXPECT_EQ(RowAt(i)->GetOwner(), list);
  }
  EXPECT_EQ(list->GetItemAt(3), nullptr);
  EXPECT_EQ(list->GetItemAt(-1), nullptr);
  auto* first = Row();
  ASSERT_TRUE(list->AddAt(first, 0));
  EXPECT_EQ(list->GetItemAt(0), first);
  EXPECT_EQ(RowAt(3)->GetIndex(), 3);
  w.Layout();
  EXPECT_RECT(RowAt(0)->GetPos(), 0, 30, 300, 60);
  EXPECT_RECT(RowAt(1)->GetPos(), 0, 60, 300, 90);
}

TEST_F(ListFixture, SelectItemNotifiesOnceAndKeepsFocus) {
  AddRows(5);
  auto* edit = w.Find(L"edit");
  edit->SetFocus();
  Pump();
  ASSERT_EQ(w.PM().GetFocus(), edit);
  w.seen.clear();

  EXPECT_TRUE(list->SelectItem(2, false));
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_TRUE(RowAt(2)->IsSelected());
  ASSERT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMSELECT)->sender, list);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMSELECT)->wParam, 2u);
  EXPECT_EQ(static_cast<int>(w.Last(DUI_MSGTYPE_ITEMSELECT)->lParam), -1);
  EXPECT_EQ(w.PM().GetFocus(), edit);
  EXPECT_EQ(GetFocus(), edit->GetNativeWindow());
  EXPECT_EQ(w.Count(DUI_MSGTYPE_KILLFOCUS), 0);

  EXPECT_TRUE(list->SelectItem(2, false));
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 1);  // same row: nothing new

  EXPECT_TRUE(list->SelectItem(4, false));
  EXPECT_FALSE(RowAt(2)->IsSelected());
  EXPECT_TRUE(RowAt(4)->IsSelected());
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 2);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMSELECT)->wParam, 4u);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMSELECT)->lParam, 2);

  list->SelectItem(1, false, false);  // silently
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 2);

  // Rows that cannot be selected leave the selection alone.
  EXPECT_FALSE(list->SelectItem(99, false));
  RowAt(3)->SetEnabled(false);
  EXPECT_FALSE(list->SelectItem(3, false));
  RowAt(4)->SetVisible(false);
  EXPECT_FALSE(list->SelectItem(4, false));
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_TRUE(RowAt(1)->IsSelected());
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 2);

  // Clearing is a change of selection too.
  list->SelectItem(-1, false);
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_FALSE(RowAt(1)->IsSelected());
  ASSERT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 3);
  EXPECT_EQ(static_cast<int>(w.Last(DUI_MSGTYPE_ITEMSELECT)->wParam), -1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMSELECT)->lParam, 1);
  list->SelectItem(-1, false);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 3);
  EXPECT_EQ(w.PM().GetFocus(), edit);
}

TEST_F(ListFixture, RemovalKeepsTheSelectionOnItsRow) {
  AddRows(5);
  list->SelectItem(3, false);
  ASSERT_TRUE(list->RemoveAt(1));
  EXPECT_EQ(list->GetCount(), 4);
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_TRUE(RowAt(2)->IsSelected());
  EXPECT_EQ(RowAt(2)->GetIndex(), 2);
  ASSERT_TRUE(list->RemoveAt(3));
  EXPECT_EQ(list->GetCurSel(), 2);
  ASSERT_TRUE(list->RemoveAt(2));
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_FALSE(list->RemoveAt(7));
  list->AddAt(Row(), 0);
  list->SelectItem(1, false);
  list->AddAt(Row(), 0);
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_TRUE(RowAt(2)->IsSelected());
  list->RemoveAll();
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(list->GetCurSel(), -1);
  Pump();
  w.Layout();
  EXPECT_EQ(list->GetScrollPos().cy, 0);
}

TEST_F(ListFixture, ClickingARowRaisesItemClickThenItemSelect) {
  AddRows(4, true);
  w.Layout();
  w.seen.clear();
  w.Click(Center(RowAt(2)->GetPos()));
  std::vector<CDuiString> types;
  for (const auto& s : w.seen)
    if (s.type == DUI_MSGTYPE_ITEMCLICK || s.type == DUI_MSGTYPE_ITEMSELECT) types.push_back(s.type);
  EXPECT_EQ(types, (std::vector<CDuiString>{DUI_MSGTYPE_ITEMCLICK, DUI_MSGTYPE_ITEMSELECT}));
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMCLICK)->sender, RowAt(2));
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMSELECT)->wParam, 2u);
  EXPECT_EQ(list->GetCurSel(), 2);

  // Clicking the selected row again: a click, but no new selection.
  w.seen.clear();
  w.Click(Center(RowAt(2)->GetPos()));
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMCLICK), 1);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 0);
}

TEST_F(ListFixture, RightClickNamesTheRow) {
  AddRows(3, true);
  w.Layout();
  w.seen.clear();
  POINT pt = Center(RowAt(1)->GetPos());
  w.RightClick(pt);
  ASSERT_EQ(w.Count(DUI_MSGTYPE_ITEMRCLICK), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_ITEMRCLICK)->sender, RowAt(1));
}

TEST_F(ListFixture, MouseDisabledRowsAreNotSelectedByClicks) {
  AddRows(2, true);
  list->Add(Row(30));
  RowAt(0)->SetMouseEnabled(false);
  RowAt(2)->SetMouseEnabled(false);
  w.Layout();
  w.seen.clear();
  w.Click(Center(RowAt(0)->GetPos()));  // a row with a label inside
  w.Click(Center(RowAt(2)->GetPos()));  // an empty row
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMSELECT), 0);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_ITEMCLICK), 0);
  w.Click(Center(RowAt(1)->GetPos()));
  EXPECT_EQ(list->GetCurSel(), 1);
}

TEST_F(ListFixture, ScrollPositionRightAfterAddingRows) {
  AddRows(20);  // 600 px of rows in a 150 px list: range 450
  list->SetScrollPos(SIZE{0, 200});
  EXPECT_EQ(list->GetScrollPos().cy, 200);
  w.Layout();
  EXPECT_EQ(list->GetScrollPos().cy, 200);
  EXPECT_EQ(list->GetScrollRange().cy, 450);
  EXPECT_EQ(RowAt(0)->GetPos().top, 30 - 200);
  EXPECT_EQ(RowAt(7)->GetPos().top, 30 + 7 * 30 - 200);

  list->EndDown();
  EXPECT_EQ(list->GetScrollPos().cy, 450);
  AddRows(5);
  list->EndDown();
  EXPECT_EQ(list->GetScrollPos().cy, 600);
  w.Layout();
  EXPECT_EQ(RowAt(24)->GetPos().bottom, 180);  // the last row ends at the list's bottom

  list->HomeUp();
  EXPECT_EQ(list->GetScrollPos().cy, 0);
  list->SetScrollPos(SIZE{0, 100000});
  EXPECT_EQ(list->GetScrollPos().cy, 600);
  list->SetScrollPos(SIZE{0, -5});
  EXPECT_EQ(list->GetScrollPos().cy, 0);
}

TEST_F(ListFixture, RowsFollowTheScrollPositionWhenTheRangeShrinks) {
  AddRows(20);
  list->EndDown();
  ASSERT_EQ(list->GetScrollPos().cy, 450);
  for (int i = 0; i < 10; ++i) list->RemoveAt(0);
  Pump();
  w.Layout();
  // 300 px of rows in 150 px: the position is clamped to 150 and the rows sit accordingly.
  EXPECT_EQ(list->GetScrollPos().cy, 150);
  EXPECT_EQ(RowAt(0)->GetPos().top, 30 - 150);
  EXPECT_EQ(RowAt(9)->GetPos().bottom, 180);
}

TEST_F(ListFixture, RowsRemovedInsideItemSelectDoNotCrash) {
  AddRows(6, true);
  w.Layout();
  w.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_ITEMSELECT) {
      list->RemoveAll();
      for (int i = 0; i < 2; ++i) list->Add(Row(30, L"new"));
    }
  };
  w.Click(Center(RowAt(3)->GetPos()));
  Pump();
  EXPECT_EQ(list->GetCount(), 2);
  EXPECT_EQ(list->GetCurSel(), -1);

  // The same from code, outside any message.
  list->SelectItem(1, false);
  w.onNotify = nullptr;
  Pump();
  EXPECT_EQ(list->GetCount(), 2);

  // Removing just the clicked row from its own click.
  w.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_ITEMCLICK) list->Remove(msg.pSender);
  };
  w.Layout();
  w.Click(Center(RowAt(0)->GetPos()));
  w.onNotify = nullptr;
  Pump();
  EXPECT_EQ(list->GetCount(), 1);
  w.Layout();
  w.Click(Center(RowAt(0)->GetPos()));
  EXPECT_EQ(list->GetCurSel(), 0);
}

TEST_F(ListFixture, KeyboardMovesTheSelection) {
  AddRows(10);
  list->SetFocus();
  list->SelectItem(0, true);
  ASSERT_EQ(w.PM().GetFocus(), list);
  w.SendWindowMessage(WM_KEYDOWN, VK_DOWN, 0);
  w.SendWindowMessage(WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(list->GetCurSel(), 2);
  w.SendWindowMessage(WM_KEYDOWN, VK_END, 0);
  EXPECT_EQ(list->GetCurSel(), 9);
  w.Layout();
  EXPECT_LE(RowAt(9)->GetPos().bottom, 180);  // scrolled into view
  EXPECT_GE(RowAt(9)->GetPos().top, 30);
  w.SendWindowMessage(WM_KEYDOWN, VK_HOME, 0);
  EXPECT_EQ(list->GetCurSel(), 0);
  EXPECT_EQ(list->GetScrollPos().cy, 0);
}

}  // namespace

namespace {

TEST_F(ListFixture, DraggingTheThumbScrollsTheRows) {
  AddRows(20);  // range 450 in a 150 px view
  w.Layout();
  CScrollBarUI* bar = list->GetVerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(bar->IsVisible());
  RECT track = bar->GetPos();
  EXPECT_EQ(track.right, 300);
  EXPECT_EQ(track.left, 300 - bar->GetBarWidth());
  EXPECT_EQ(RowAt(0)->GetPos().right, track.left);  // rows leave room for the bar
  POINT grab{(track.left + track.right) / 2, track.top + 5};
  w.SendWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, grab.y));
  w.SendWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y + 40));
  int mid = list->GetScrollPos().cy;
  EXPECT_GT(mid, 0);
  EXPECT_LT(mid, 450);
  w.SendWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y + 400));
  EXPECT_EQ(list->GetScrollPos().cy, 450);
  w.SendWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(grab.x, grab.y + 400));
  EXPECT_EQ(list->GetCurSel(), -1);  // dragging selects nothing
  // A click on the track above the thumb pages up.
  w.Click(POINT{grab.x, track.top + 2});
  EXPECT_EQ(list->GetScrollPos().cy, 450 - 120);
}

}  // namespace
