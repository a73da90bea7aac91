// Layout in a real window: exact rectangles of vertical and horizontal stacks.
#include <gtest/gtest.h>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

TEST(Layout, VerticalFixedStretchPaddingInsetChildPadding) {
  SkinWindow w(
      L"<Window size=\"300,200\"><VerticalLayout name=\"root\" inset=\"10,5,20,15\" childpadding=\"4\">"
      L"<Control name=\"a\" height=\"30\"/>"
      L"<Control name=\"b\"/>"
      L"<Control name=\"c\" height=\"20\" width=\"100\" padding=\"7,3,0,2\"/>"
      L"<Control name=\"hidden\" height=\"50\" visible=\"false\"/>"
      L"<Control name=\"d\"/>"
      L"<Control name=\"f\" float=\"true\" pos=\"5,6,25,36\"/>"
      L"</VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  w.Layout();
  EXPECT_RECT(w.Find(L"root")->GetPos(), 0, 0, 300, 200);
  // Content: x 10..280, y 5..185 (180 high). Fixed: 30 + (3+20+2) = 55, three gaps of 4 = 12,
  // so the two stretch children share 180 - 67 = 113: 57 and 56.
  EXPECT_RECT(w.Find(L"a")->GetPos(), 10, 5, 280, 35);
  EXPECT_RECT(w.Find(L"b")->GetPos(), 10, 39, 280, 96);
  EXPECT_RECT(w.Find(L"c")->GetPos(), 17, 103, 117, 123);
  EXPECT_RECT(w.Find(L"d")->GetPos(), 10, 129, 280, 185);
  EXPECT_RECT(w.Find(L"f")->GetPos(), 5, 6, 25, 36);

  // Showing the hidden child takes its space from the stretch children.
  w.Find(L"hidden")->SetVisible(true);
  w.Layout();
  EXPECT_RECT(w.Find(L"a")->GetPos(), 10, 5, 280, 35);
  EXPECT_EQ(w.Find(L"hidden")->GetHeight(), 50);
  EXPECT_EQ(w.Find(L"b")->GetHeight() + w.Find(L"d")->GetHeight(), 113 - 50 - 4);
  EXPECT_EQ(w.Find(L"d")->GetPos().bottom, 185);

  // Changing a fixed height through attributes re-lays the parent.
  w.Find(L"a")->SetAttributeList(L"height=\"36\"");
  w.Layout();
  EXPECT_RECT(w.Find(L"a")->GetPos(), 10, 5, 280, 41);
  EXPECT_EQ(w.Find(L"b")->GetPos().top, 45);
}

TEST(Layout, HorizontalFixedStretchPaddingAndInvisible) {
  SkinWindow w(
      L"<Window size=\"400,100\"><HorizontalLayout name=\"root\" inset=\"4,6,4,6\" childpadding=\"10\">"
      L"<Control name=\"a\" width=\"50\"/>"
      L"<Control name=\"gone\" width=\"70\" visible=\"false\"/>"
      L"<Control name=\"b\"/>"
      L"<Control name=\"c\" width=\"60\" height=\"30\" padding=\"5,8,3,0\"/>"
      L"<Control name=\"d\"/>"
      L"</HorizontalLayout></Window>");
  ASSERT_TRUE(w.Open(400, 100));
  w.Layout();
  // Content: x 4..396 (392 wide), y 6..94. Fixed 50 + (5+60+3) = 118, three gaps = 30,
  // stretch share 392 - 148 = 244: 122 each.
  EXPECT_RECT(w.Find(L"a")->GetPos(), 4, 6, 54, 94);
  EXPECT_RECT(w.Find(L"b")->GetPos(), 64, 6, 186, 94);
  EXPECT_RECT(w.Find(L"c")->GetPos(), 201, 14, 261, 44);
  EXPECT_RECT(w.Find(L"d")->GetPos(), 274, 6, 396, 94);
}

TEST(Layout, NestedLayoutsAndWindowResize) {
  SkinWindow w(
      L"<Window size=\"300,200\"><VerticalLayout>"
      L"<HorizontalLayout name=\"top\" height=\"40\"><Control name=\"icon\" width=\"40\"/><Label name=\"t\"/>"
      L"</HorizontalLayout>"
      L"<HorizontalLayout name=\"body\"><VerticalLayout name=\"side\" width=\"80\">"
      L"<Control name=\"s1\" height=\"25\"/><Control name=\"s2\"/></VerticalLayout>"
      L"<Control name=\"main\"/></HorizontalLayout>"
      L"</VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  w.Layout();
  EXPECT_RECT(w.Find(L"t")->GetPos(), 40, 0, 300, 40);
  EXPECT_RECT(w.Find(L"side")->GetPos(), 0, 40, 80, 200);
  EXPECT_RECT(w.Find(L"s2")->GetPos(), 0, 65, 80, 200);
  EXPECT_RECT(w.Find(L"main")->GetPos(), 80, 40, 300, 200);

  SetWindowPos(w.GetHWND(), nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  Pump();
  w.Layout();
  EXPECT_RECT(w.Find(L"main")->GetPos(), 80, 40, 500, 300);
  EXPECT_RECT(w.Find(L"t")->GetPos(), 40, 0, 500, 40);
}

TEST(Layout, MinAndMaxClampStretch) {
  SkinWindow w(
      L"<Window size=\"300,100\"><HorizontalLayout>"
      L"<Control name=\"a\" maxwidth=\"50\"/><Control name=\"b\" minwidth=\"10\"/>"
      L"</HorizontalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 100));
  w.Layout();
  EXPECT_EQ(w.Find(L"a")->GetWidth(), 50);
  EXPECT_EQ(w.Find(L"a")->GetPos().left, 0);
  EXPECT_EQ(w.Find(L"b")->GetPos().left, 50);
}

TEST(Layout, HitTestingFindsTheTopmostVisibleControl) {
  SkinWindow w(
      L"<Window size=\"200,100\"><HorizontalLayout name=\"root\">"
      L"<Control name=\"a\" width=\"100\"/><Control name=\"b\" mouse=\"false\"/>"
      L"<Control name=\"f\" float=\"true\" pos=\"10,10,30,30\"/>"
      L"</HorizontalLayout></Window>");
  ASSERT_TRUE(w.Open(200, 100));
  w.Layout();
  EXPECT_EQ(w.PM().FindControl(POINT{50, 50}), w.Find(L"a"));
  EXPECT_EQ(w.PM().FindControl(POINT{15, 15}), w.Find(L"f"));
  EXPECT_EQ(w.PM().FindControl(POINT{150, 50}), w.Find(L"root"));  // b ignores the mouse
  w.Find(L"f")->SetVisible(false);
  w.Layout();
  EXPECT_EQ(w.PM().FindControl(POINT{15, 15}), w.Find(L"a"));
}

}  // namespace

namespace {

// In a scrolling layout, text taller than the view keeps its height and the layout scrolls.
TEST(Layout, TallTextInAScrollingLayoutKeepsItsHeight) {
  SkinWindow w(L"<Window size=\"300,200\"><VerticalLayout>"
               L"<VerticalLayout name=\"view\" vscrollbar=\"true\" height=\"100\">"
               L"<Text name=\"t\"/><Control name=\"after\" height=\"20\"/></VerticalLayout>"
               L"<Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  auto* text = w.Find<CTextUI>(L"t");
  CDuiString words;
  for (int i = 0; i < 200; ++i) words += L"word ";
  text->SetText(words);
  w.Layout();
  auto* view = w.Find<CContainerUI>(L"view");
  int width = text->GetWidth();
  int full = text->EstimateSize(SIZE{width, 9999}).cy;
  ASSERT_GT(full, 100);
  EXPECT_EQ(text->GetHeight(), full);
  EXPECT_EQ(view->GetScrollRange().cy, full + 20 - 100);
  view->EndDown();
  w.Layout();
  EXPECT_EQ(w.Find(L"after")->GetPos().bottom, 100);
}

}  // namespace
