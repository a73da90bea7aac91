// Wrapping text: estimated sizes agree with painting, and clicks on links report the right link.
#include <gtest/gtest.h>

#include <chrono>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

const wchar_t kTextSkin[] =
    L"<Window size=\"640,480\"><VerticalLayout name=\"root\">"
    L"<Text name=\"msg\" showhtml=\"true\" width=\"570\"/>"
    L"<Control name=\"rest\"/>"
    L"</VerticalLayout></Window>";

int LineHeight(CPaintManagerUI& pm, int font = -1) { return pm.GetFontInfo(font)->tm.tmHeight; }

CDuiString Words(int n) {
  CDuiString s;
  for (int i = 0; i < n; ++i) s += L"word" + std::to_wstring(i) + L" ";
  return s;
}

TEST(TextEstimate, LongerTextWrapsIntoWholeLines) {
  SkinWindow w(kTextSkin);
  ASSERT_TRUE(w.Open(640, 480));
  auto* text = w.Find<CTextUI>(L"msg");
  const int lh = LineHeight(w.PM());
  ASSERT_GT(lh, 0);

  text->SetText(L"short");
  SIZE one = text->EstimateSize(SIZE{570, 9999});
  EXPECT_EQ(one.cy, lh);

  int last = one.cy;
  for (int words : {30, 60, 120}) {
    text->SetText(Words(words));
    SIZE sz = text->EstimateSize(SIZE{570, 9999});
    EXPECT_GT(sz.cy, last) << words << " words";
    EXPECT_EQ(sz.cy % lh, 0) << words << " words";
    last = sz.cy;
  }

  // Explicit breaks count as lines too, empty ones included.
  text->SetText(L"a{n}b\nc{n}{n}d");
  EXPECT_EQ(text->EstimateSize(SIZE{570, 9999}).cy, 5 * lh);

  // Text padding adds to the height and narrows the wrapping width.
  text->SetText(Words(60));
  SIZE plain = text->EstimateSize(SIZE{570, 9999});
  text->SetTextPadding(RECT{10, 7, 10, 5});
  SIZE padded = text->EstimateSize(SIZE{570, 9999});
  EXPECT_GE(padded.cy, plain.cy + 12);
  EXPECT_EQ((padded.cy - 12) % lh, 0);
}

TEST(TextEstimate, ChineseTextWraps) {
  SkinWindow w(kTextSkin);
  ASSERT_TRUE(w.Open(640, 480));
  auto* text = w.Find<CTextUI>(L"msg");
  const int lh = LineHeight(w.PM());
  CDuiString chinese;
  for (int i = 0; i < 200; ++i) chinese += L"中文换行测试，";
  text->SetText(L"你好");
  EXPECT_EQ(text->EstimateSize(SIZE{570, 9999}).cy, lh);
  text->SetText(chinese);
  SIZE sz = text->EstimateSize(SIZE{570, 9999});
  EXPECT_GE(sz.cy, 3 * lh);
  EXPECT_EQ(sz.cy % lh, 0);
  // A long word without spaces wraps between characters instead of overflowing.
  text->SetText(CDuiString(2000, L'x'));
  EXPECT_GE(text->EstimateSize(SIZE{570, 9999}).cy, 3 * lh);
}

// The estimate, the layout the window gives the text and the painted link rectangles agree.
TEST(TextEstimate, LinksFallInsideTheEstimatedHeight) {
  SkinWindow w(kTextSkin);
  ASSERT_TRUE(w.Open(640, 480));
  auto* text = w.Find<CTextUI>(L"msg");
  text->SetTextPadding(RECT{6, 4, 6, 4});
  CDuiString markup = Words(80) + L"{a x=|link|http://first|}first link{/a} " + Words(40) +
                      L"{c #DDDDDD}grey{/c} {a x=|link|http://second|}second link that is long{/a}";
  text->SetText(markup);
  SIZE est = text->EstimateSize(SIZE{570, 9999});
  w.Layout();
  const RECT pos = text->GetPos();
  EXPECT_EQ(pos.bottom - pos.top, est.cy);
  EXPECT_EQ(pos.right - pos.left, 570);
  ASSERT_EQ(text->GetLinkCount(), 2);
  EXPECT_EQ(*text->GetLinkContent(0), L"x=|link|http://first|");
  EXPECT_EQ(*text->GetLinkContent(1), L"x=|link|http://second|");
  EXPECT_EQ(text->GetLinkContent(2), nullptr);
  EXPECT_EQ(text->GetLinkContent(-1), nullptr);

  auto checkInside = [&](const char* when) {
    for (int i = 0; i < text->GetLinkCount(); ++i) {
      POINT inside{-1, -1};
      for (int y = pos.top; y < pos.bottom && inside.x < 0; ++y)
        for (int x = pos.left; x < pos.right; x += 2)
          if (text->LinkAt(POINT{x, y}) == i) {
            inside = POINT{x, y};
            break;
          }
      EXPECT_GE(inside.x, 0) << when << ": link " << i << " has no area";
      for (int y = pos.top; y < pos.bottom + 40; y += 1)
        for (int x = pos.left - 5; x < pos.right + 5; x += 3)
          if (text->LinkAt(POINT{x, y}) == i) {
            EXPECT_GE(y, pos.top + 4) << when;
            EXPECT_LT(y, pos.bottom - 4) << when;
            EXPECT_GE(x, pos.left + 6) << when;
            EXPECT_LT(x, pos.right - 6) << when;
          }
    }
  };
  checkInside("after layout");
  InvalidateRect(w.GetHWND(), nullptr, FALSE);
  UpdateWindow(w.GetHWND());
  checkInside("after painting");

  // Text that ends in a link on its last line: the link's bottom is the text's bottom.
  text->SetText(L"{a last}the end{/a}");
  w.Layout();
  EXPECT_EQ(text->GetHeight(), LineHeight(w.PM()) + 8);
  EXPECT_EQ(text->LinkAt(POINT{text->GetPos().left + 7, text->GetPos().top + 5}), 0);
  EXPECT_EQ(text->LinkAt(POINT{text->GetPos().left + 7, text->GetPos().bottom - 5}), 0);
}

// Where the text is centred or right-aligned, the links are where they are painted, before
// and after the first paint.
TEST(TextEstimate, AlignedLinksAreWhereTheyArePainted) {
  SkinWindow w(L"<Window size=\"640,480\"><VerticalLayout>"
               L"<Text name=\"c\" showhtml=\"true\" align=\"center\" height=\"40\"/>"
               L"<Text name=\"r\" showhtml=\"true\" align=\"right\" height=\"40\"/>"
               L"<Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(640, 480));
  for (const wchar_t* name : {L"c", L"r"}) {
    auto* text = w.Find<CTextUI>(name);
    text->SetText(L"{a x}link{/a}");
    w.Layout();
    RECT pos = text->GetPos();
    POINT left{pos.left + 3, pos.top + 10};
    POINT right{pos.right - 3, pos.top + 10};
    POINT middle{(pos.left + pos.right) / 2, pos.top + 10};
    bool centre = wcscmp(name, L"c") == 0;
    auto check = [&](const char* when) {
      EXPECT_EQ(text->LinkAt(left), -1) << when << " " << Narrow(name);
      if (centre) EXPECT_EQ(text->LinkAt(middle), 0) << when;
      else EXPECT_EQ(text->LinkAt(right), 0) << when;
    };
    check("before painting");
    InvalidateRect(w.GetHWND(), nullptr, FALSE);
    UpdateWindow(w.GetHWND());
    check("after painting");
  }
}

TEST(TextEstimate, LongTextMeasuresQuickly) {
  SkinWindow w(kTextSkin);
  ASSERT_TRUE(w.Open(640, 480));
  auto* text = w.Find<CTextUI>(L"msg");
  CDuiString big;
  while (big.size() < 100 * 1024) big += L"some words {b}bold{/b} and {a x=|link|y|}a link{/a} ";
  text->SetText(big);
  auto start = std::chrono::steady_clock::now();
  SIZE sz = text->EstimateSize(SIZE{570, 99999});
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(sz.cy, 100);
  EXPECT_LT(secs, 2.0);

  // One long single-line label: measuring its width stays fast.
  CLabelUI* label = new CLabelUI;
  label->SetShowHtml(true);
  label->SetAutoCalcWidth(true);
  static_cast<CContainerUI*>(w.Find(L"root"))->Add(label);
  CDuiString plainWords;
  while (plainWords.size() < 30 * 1024) plainWords += L"plain words in one long line ";
  label->SetText(plainWords);
  start = std::chrono::steady_clock::now();
  SIZE lsz = label->EstimateSize(SIZE{0, 30});
  secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(lsz.cx, 1000);
  EXPECT_LT(secs, 2.0);

  // The measured width is the width of the whole string as GDI draws it.
  const CDuiString shortText = L"Hello, world 你好 again";
  label->SetText(shortText);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, w.PM().GetFont(-1));
  SIZE extent{};
  GetTextExtentPoint32W(dc, shortText.c_str(), static_cast<int>(shortText.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  EXPECT_EQ(label->EstimateSize(SIZE{0, 30}).cx, extent.cx);
}

TEST(TextLinks, ClickingTheSecondLinkReportsItsContent) {
  SkinWindow w(kTextSkin);
  ASSERT_TRUE(w.Open(640, 480));
  auto* text = w.Find<CTextUI>(L"msg");
  text->SetText(L"Open {a x=|link|http://one|}the first{/a} or {a x=|link|http://two|}the second{/a} page");
  w.Layout();
  RECT pos = text->GetPos();
  POINT second{-1, -1};
  POINT first{-1, -1};
  for (int x = pos.left; x < pos.right; ++x) {
    POINT p{x, pos.top + text->GetHeight() / 2};
    int at = text->LinkAt(p);
    if (at == 0 && first.x < 0) first = p;
    if (at == 1 && second.x < 0) second = POINT{x + 3, p.y};
  }
  ASSERT_GE(second.x, 0);
  ASSERT_GE(first.x, 0);

  w.seen.clear();
  w.Click(second);
  ASSERT_EQ(w.Count(DUI_MSGTYPE_LINK), 1);
  const Seen* link = w.Last(DUI_MSGTYPE_LINK);
  EXPECT_EQ(link->sender, text);
  ASSERT_NE(text->GetLinkContent(static_cast<int>(link->wParam)), nullptr);
  EXPECT_EQ(*text->GetLinkContent(static_cast<int>(link->wParam)), L"x=|link|http://two|");

  // After painting (hover colours and all) the first link still reports its own content.
  InvalidateRect(w.GetHWND(), nullptr, FALSE);
  UpdateWindow(w.GetHWND());
  w.seen.clear();
  w.Click(POINT{first.x + 2, first.y});
  ASSERT_EQ(w.Count(DUI_MSGTYPE_LINK), 1);
  EXPECT_EQ(*text->GetLinkContent(static_cast<int>(w.Last(DUI_MSGTYPE_LINK)->wParam)), L"x=|link|http://one|");

  // Plain words are not links; a disabled text raises nothing.
  w.seen.clear();
  w.Click(POINT{pos.left + 2, first.y});
  EXPECT_EQ(w.Count(DUI_MSGTYPE_LINK), 0);
  text->SetEnabled(false);
  w.Click(second);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_LINK), 0);
}

TEST(TextLinks, PostedClicksThroughTheMessageQueue) {
  SkinWindow w(kTextSkin);
  ASSERT_TRUE(w.Open(640, 480));
  auto* text = w.Find<CTextUI>(L"msg");
  text->SetText(L"{a one}AAAA{/a} {a two}BBBB{/a}");
  w.Layout();
  POINT target{-1, -1};
  for (int x = text->GetPos().left; x < text->GetPos().right && target.x < 0; ++x)
    if (text->LinkAt(POINT{x, text->GetPos().top + 5}) == 1) target = POINT{x + 2, text->GetPos().top + 5};
  ASSERT_GE(target.x, 0);
  w.PostWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(target.x, target.y));
  w.PostWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(target.x, target.y));
  Pump();
  ASSERT_EQ(w.Count(DUI_MSGTYPE_LINK), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_LINK)->wParam, 1u);
  EXPECT_EQ(*text->GetLinkContent(1), L"two");
}

}  // namespace
