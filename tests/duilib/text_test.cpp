// Wrapping text: estimated sizes agree with painting, clicks on links report the right link, linear-time layout.
#include <algorithm>
#include <chrono>

#include "dui_test_support.h"

struct TextFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(w.Open(640, 480));
    text = w.Find<CTextUI>(L"msg");
    lh = w.PM().GetFontInfo(-1)->tm.tmHeight;
  }
  static CDuiString Words(int n) {
    CDuiString s;
    for (int i = 0; i < n; ++i) s += L"word" + std::to_wstring(i) + L" ";
    return s;
  }
  // The first point of the text, row by row, on link i.
  POINT PointOnLink(int i) {
    const RECT pos = text->GetPos();
    for (int y = pos.top; y < pos.bottom; ++y)
      for (int x = pos.left; x < pos.right; ++x)
        if (text->LinkAt(POINT{x, y}) == i) return POINT{x + 2, y + 2};
    ADD_FAILURE() << "link " << i << " has no area";
    return POINT{-1, -1};
  }
  void Paint() { InvalidateRect(w.GetHWND(), nullptr, FALSE), UpdateWindow(w.GetHWND()); }
  SkinWindow w{L"<Window size=\"640,480\"><VerticalLayout name=\"root\"><Text name=\"msg\" showhtml=\"true\" width=\"570\"/>"
               L"<Text name=\"c\" showhtml=\"true\" align=\"center\" height=\"40\"/>"
               L"<Text name=\"r\" showhtml=\"true\" align=\"right\" height=\"40\"/><Control/></VerticalLayout></Window>"};
  CTextUI* text = nullptr;
  int lh = 0;
};

TEST_F(TextFixture, EstimatesAreWholeLinesOfTheWrappedText) {
  CDuiString chinese;
  for (int i = 0; i < 200; ++i) chinese += L"中文换行测试，";
  const struct { CDuiString text; int minLines, maxLines; } cases[] = {{L"你好", 1, 1}, {L"a{n}b\nc{n}{n}d", 5, 5},
      {Words(60), 2, 12}, {chinese, 3, 40}, {CDuiString(2000, L'x'), 3, 60}};  // long words wrap between characters
  for (const auto& c : cases) {
    text->SetText(c.text);
    int cy = text->EstimateSize(SIZE{570, 9999}).cy;
    EXPECT_TRUE(cy % lh == 0 && cy >= c.minLines * lh && cy <= c.maxLines * lh) << cy << c.text.substr(0, 9);
  }
  // Text padding adds to the height and narrows the wrapping width.
  const int plain = text->EstimateSize(SIZE{570, 9999}).cy;
  text->SetTextPadding(RECT{10, 7, 10, 5});
  const int padded = text->EstimateSize(SIZE{570, 9999}).cy;
  EXPECT_TRUE(padded >= plain + 12 && (padded - 12) % lh == 0) << padded;
}

// The estimate, the layout the window gives the text and the link rectangles agree, before and after painting,
// also when the text is centred or right-aligned.
TEST_F(TextFixture, LinksLieInsideTheEstimateWhereTheyArePainted) {
  text->SetTextPadding(RECT{6, 4, 6, 4});
  text->SetText(Words(80) + L"{a x=|link|http://first|}first link{/a} " + Words(40) +
                L"{c #DDDDDD}grey{/c} {a x=|link|http://second|}second link that is long{/a}");
  SIZE est = text->EstimateSize(SIZE{570, 9999});
  w.Layout();
  const RECT pos = text->GetPos();
  ASSERT_EQ(text->GetLinkCount(), 2);
  EXPECT_TRUE(pos.bottom - pos.top == est.cy && !text->GetLinkContent(2));
  for (int pass = 0; pass < 2; ++pass, Paint()) {
    for (int i = 0; i < 2; ++i) EXPECT_GE(PointOnLink(i).x, 0);
    for (int y = pos.top - 10; y < pos.bottom + 40; y += 2)
      for (int x = pos.left - 5; x < pos.right + 5; x += 3)
        EXPECT_TRUE(text->LinkAt(POINT{x, y}) < 0 ||
                    (y >= pos.top + 4 && y < pos.bottom - 4 && x >= pos.left + 6 && x < pos.right - 6)) << pass;
  }
  // Text that ends in a link on its last line: the link's bottom is the text's bottom.
  text->SetText(L"{a last}the end{/a}");
  w.Layout();
  EXPECT_EQ(text->GetHeight(), lh + 8);
  EXPECT_EQ(text->LinkAt(POINT{text->GetPos().left + 7, text->GetPos().bottom - 5}), 0);
  for (const wchar_t* name : {L"c", L"r"}) {
    auto* aligned = w.Find<CTextUI>(name);
    aligned->SetText(L"{a x}link{/a}");
    w.Layout();
    RECT rc = aligned->GetPos();
    POINT inside = name[0] == L'c' ? POINT{(rc.left + rc.right) / 2, rc.top + 10} : POINT{rc.right - 3, rc.top + 10};
    for (int pass = 0; pass < 2; ++pass, Paint()) {
      EXPECT_EQ(aligned->LinkAt(POINT{rc.left + 3, rc.top + 10}), -1) << pass << name;
      EXPECT_EQ(aligned->LinkAt(inside), 0) << pass << name;
    }
  }
}

TEST_F(TextFixture, ClickingALinkReportsItsOwnContent) {
  text->SetText(L"Open {a x=|link|http://one|}the first{/a} or {a x=|link|http://two|}the second{/a} page");
  w.Layout();
  const POINT first = PointOnLink(0), second = PointOnLink(1);
  w.Click(second);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_LINK)->sender, text);
  EXPECT_EQ(*text->GetLinkContent(static_cast<int>(w.Last(DUI_MSGTYPE_LINK)->wParam)), L"x=|link|http://two|");
  Paint();  // hover colours and all
  w.Click(first);
  EXPECT_EQ(*text->GetLinkContent(static_cast<int>(w.Last(DUI_MSGTYPE_LINK)->wParam)), L"x=|link|http://one|");
  // Through the message queue as well.
  w.PostWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(second.x, second.y));
  w.PostWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(second.x, second.y));
  Pump();
  EXPECT_EQ(w.Last(DUI_MSGTYPE_LINK)->wParam, 1u);
  // Plain words are not links; a disabled text raises nothing.
  w.Click(POINT{text->GetPos().left + 2, first.y});
  text->SetEnabled(false);
  w.Click(second);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_LINK), 3);
}

TEST_F(TextFixture, LongTextMeasuresQuicklyAndLabelsMeasureAsGdiDraws) {
  CDuiString big, line;
  while (big.size() < 100 * 1024) big += L"some words {b}bold{/b} and {a x=|link|y|}a link{/a} ";
  while (line.size() < 30 * 1024) line += L"plain words in one long line ";
  auto* label = new CLabelUI;
  label->SetShowHtml(true);
  label->SetAutoCalcWidth(true);
  w.Find<CContainerUI>(L"root")->Add(label);
  text->SetText(big);
  label->SetText(line);
  auto start = std::chrono::steady_clock::now();
  EXPECT_GT(text->EstimateSize(SIZE{570, 99999}).cy, 100);
  EXPECT_GT(label->EstimateSize(SIZE{0, 30}).cx, 1000);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
  const CDuiString shortText = L"Hello, world 你好 again";
  label->SetText(shortText);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, w.PM().GetFont(-1));
  SIZE extent{};
  GetTextExtentPoint32W(dc, shortText.c_str(), static_cast<int>(shortText.size()), &extent);
  DeleteDC(dc);
  EXPECT_EQ(label->EstimateSize(SIZE{0, 30}).cx, extent.cx);
}

// A word wider than the line breaks where its characters stop fitting (the widest prefix of the rest, at least one
// character), and a 32 KB word lays out in linear time.
TEST(TextWrap, LongWordsBreakAtTheWidestFittingPrefixInLinearTime) {
  CPaintManagerUI pm;
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, pm.GetFont(-1));
  auto extent = [&](const CDuiString& s) {
    SIZE sz{};
    GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &sz);
    return static_cast<int>(sz.cx);
  };
  auto expected = [&](const CDuiString& prefix, const CDuiString& word, int width) {
    std::vector<int> parts;
    for (size_t i = 0, room = width - extent(prefix); i < word.size(); room = width) {
      int fit = 0;
      SIZE sz{};
      GetTextExtentExPointW(dc, word.c_str() + i, static_cast<int>(word.size() - i), static_cast<int>(room), &fit, nullptr, &sz);
      if (fit <= 0 && static_cast<int>(room) < width) continue;  // the rest of the line is too short
      fit = std::max(fit, 1);
      parts.push_back(extent(word.substr(i, fit)));
      i += fit;
    }
    return parts;
  };
  auto laidOut = [&](const CDuiString& prefix, const CDuiString& word, int width) {
    std::vector<TMarkupLink> links;
    RECT rc{0, 0, width, 1 << 30};
    CRenderEngine::DrawHtmlText(dc, &pm, rc, prefix + L"{a x}" + word + L"{/a}", 0, -1, DT_CALCRECT, &links);
    std::vector<int> parts;
    for (const RECT& r : links.at(0).rects) parts.push_back(r.right - r.left);
    return parts;
  };
  const CDuiString mixed = L"iWmlI1wWMmiiiWWWllmmQ0OoWiWiWimmmmmmmmmmmmmmmmmmm";
  const struct { const wchar_t* prefix; CDuiString word; int width; } cases[] = {
      {L"", mixed, 40}, {L"", mixed, 97}, {L"ab ", mixed, 60}, {L"abcdef ", mixed, 50},
      {L"", CDuiString(300, L'x'), 123}, {L"", L"WWW", 3}, {L"", mixed + mixed, 5000}};
  for (const auto& c : cases) EXPECT_EQ(laidOut(c.prefix, c.word, c.width), expected(c.prefix, c.word, c.width)) << c.width;
  RECT rc{0, 0, 40, 1 << 30};
  auto start = std::chrono::steady_clock::now();
  CRenderEngine::DrawHtmlText(dc, &pm, rc, CDuiString(32768, L'm'), 0, -1, DT_CALCRECT);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.5);
  EXPECT_GT(rc.bottom, 1000);
  DeleteDC(dc);
}
