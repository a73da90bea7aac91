// Layout in a real window: exact rectangles of vertical and horizontal stacks, hit testing.
#include "dui_test_support.h"

TEST(Layout, VerticalFixedStretchPaddingInsetFloatAndVisibility) {
  SkinWindow w(
      L"<Window size=\"300,200\"><VerticalLayout name=\"root\" inset=\"10,5,20,15\" childpadding=\"4\">"
      L"<Control name=\"a\" height=\"30\"/><Control name=\"b\"/>"
      L"<Control name=\"c\" height=\"20\" width=\"100\" padding=\"7,3,0,2\"/>"
      L"<Control name=\"hidden\" height=\"50\" visible=\"false\"/><Control name=\"d\"/>"
      L"<Control name=\"f\" float=\"true\" pos=\"5,6,25,36\"/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(100, 100));  // the skin's size wins
  w.Layout();
  // Content: x 10..280, y 5..185. Fixed 30 + (3+20+2), three gaps of 4: the stretch children share 113.
  EXPECT_RECT(w.Find(L"a")->GetPos(), 10, 5, 280, 35);
  EXPECT_RECT(w.Find(L"b")->GetPos(), 10, 39, 280, 96);
  EXPECT_RECT(w.Find(L"c")->GetPos(), 17, 103, 117, 123);
  EXPECT_RECT(w.Find(L"d")->GetPos(), 10, 129, 280, 185);
  EXPECT_RECT(w.Find(L"f")->GetPos(), 5, 6, 25, 36);
  // Showing the hidden child takes its space from the stretch children; an attribute change re-lays the parent.
  w.Find(L"hidden")->SetVisible(true);
  w.Find(L"a")->SetAttributeList(L"height=\"36\"");
  w.Layout();
  EXPECT_TRUE(w.Find(L"hidden")->GetHeight() == 50 && w.Find(L"b")->GetPos().top == 45);
  EXPECT_EQ(w.Find(L"b")->GetHeight() + w.Find(L"d")->GetHeight(), 113 - 50 - 4 - 6);
  EXPECT_EQ(w.PM().FindControl(POINT{15, 15}), w.Find(L"f"));  // floats are on top
  w.Find(L"f")->SetVisible(false);
  w.Layout();
  EXPECT_EQ(w.PM().FindControl(POINT{15, 15}), w.Find(L"a"));
}

TEST(Layout, HorizontalMinMaxNestingResizeAndMouseTransparency) {
  SkinWindow w(
      L"<Window size=\"400,100\"><VerticalLayout><HorizontalLayout name=\"row\" inset=\"4,6,4,6\" childpadding=\"10\">"
      L"<Control name=\"a\" width=\"50\"/><Control name=\"gone\" width=\"70\" visible=\"false\"/><Control name=\"b\"/>"
      L"<Control name=\"c\" width=\"60\" height=\"30\" padding=\"5,8,3,0\"/><Control name=\"d\"/></HorizontalLayout>"
      L"<HorizontalLayout name=\"clamp\" height=\"20\"><Control name=\"max\" maxwidth=\"50\"/>"
      L"<Control name=\"ghost\" mouse=\"false\"/></HorizontalLayout></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(400, 100));
  w.Layout();
  // Row content: x 4..396, y 6..74. Fixed 50 + (5+60+3), three gaps of 10: 122 for each stretch child.
  EXPECT_RECT(w.Find(L"a")->GetPos(), 4, 6, 54, 74);
  EXPECT_RECT(w.Find(L"b")->GetPos(), 64, 6, 186, 74);
  EXPECT_RECT(w.Find(L"c")->GetPos(), 201, 14, 261, 44);
  EXPECT_RECT(w.Find(L"d")->GetPos(), 274, 6, 396, 74);
  EXPECT_RECT(w.Find(L"max")->GetPos(), 0, 80, 50, 100);
  EXPECT_EQ(w.PM().FindControl(POINT{200, 90}), w.Find(L"clamp"));  // ghost ignores the mouse
  SetWindowPos(w.GetHWND(), nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  Pump();
  w.Layout();
  EXPECT_RECT(w.Find(L"d")->GetPos(), 324, 6, 496, 274);
  EXPECT_TRUE(w.Find(L"ghost")->GetPos().left == 50 && w.Find(L"ghost")->GetPos().top == 280);
}

// In a scrolling layout, text taller than the view keeps its height and the layout scrolls.
TEST(Layout, TallTextInAScrollingLayoutKeepsItsHeight) {
  SkinWindow w(L"<Window size=\"300,200\"><VerticalLayout>"
               L"<VerticalLayout name=\"view\" vscrollbar=\"true\" height=\"100\">"
               L"<Text name=\"t\"/><Control name=\"after\" height=\"20\"/></VerticalLayout>"
               L"<Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  auto* text = w.Find<CTextUI>(L"t");
  auto* view = w.Find<CContainerUI>(L"view");
  CDuiString words;
  while (words.size() < 1000) words += L"word ";
  text->SetText(words);
  w.Layout();
  int full = text->EstimateSize(SIZE{text->GetWidth(), 9999}).cy;
  ASSERT_GT(full, 100);
  EXPECT_TRUE(text->GetHeight() == full && view->GetScrollRange().cy == full + 20 - 100);
  view->EndDown();
  w.Layout();
  EXPECT_EQ(w.Find(L"after")->GetPos().bottom, 100);
}

namespace {
// A row that counts how often the layout estimates and places it.
class CountedRow : public DuiLib::CControlUI {
 public:
  SIZE EstimateSize(SIZE available) override {
    ++estimated;
    return CControlUI::EstimateSize(available);
  }
  void SetPos(RECT rc, bool bNeedInvalidate) override {
    ++placed;
    CControlUI::SetPos(rc, bNeedInvalidate);
  }
  int estimated = 0, placed = 0;
};
}  // namespace

// A list that comes to need its scroll bar (or no longer needs it) learns that from its rows'
// heights and places each row once, at the width that is left: thousands of rows are not laid
// out twice.
TEST(Layout, AScrollingListPlacesEachRowOnceWhenItsScrollBarComesOrGoes) {
  SkinWindow w(L"<Window size=\"300,200\"><VerticalLayout name=\"view\" vscrollbar=\"true\"/></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  w.Layout();
  auto* view = static_cast<DuiLib::CContainerUI*>(w.Find(L"view"));
  std::vector<CountedRow*> rows;
  for (int i = 0; i < 20; ++i) {
    rows.push_back(new CountedRow);
    rows.back()->SetFixedHeight(30);
    view->Add(rows.back());
  }
  w.Layout();
  const int bar = view->GetVerticalScrollBar()->GetBarWidth();
  ASSERT_TRUE(view->GetVerticalScrollBar()->IsVisible());
  for (CountedRow* row : rows) {
    EXPECT_EQ(row->placed, 1);
    EXPECT_EQ(row->estimated, 2);  // at the whole width, then at the width beside the bar
    EXPECT_EQ(row->GetWidth(), 300 - bar);
  }
  EXPECT_EQ(rows[19]->GetPos().bottom, 600);
  // Scrolled to the end, most rows go: the bar goes and the position comes back to the top.
  view->EndDown();
  for (size_t i = 3; i < rows.size(); ++i) rows[i]->SetVisible(false);
  for (CountedRow* row : rows) row->placed = 0;
  w.Layout();
  EXPECT_FALSE(view->GetVerticalScrollBar()->IsVisible());
  EXPECT_EQ(view->GetScrollPos().cy, 0);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i]->placed, 1);
    EXPECT_EQ(rows[i]->GetWidth(), 300);
    EXPECT_EQ(rows[i]->GetPos().top, static_cast<LONG>(30 * i));
  }
}
