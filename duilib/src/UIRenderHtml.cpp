// Layout and painting of marked-up text. Measuring (DT_CALCRECT) and painting share one layout
// pass, so an estimated size is exactly the painted one.
#include <algorithm>
#include <cstddef>

#include "duilib/UIManager.h"
#include "duilib/UIMarkupText.h"
#include "duilib/UIRender.h"

namespace DuiLib {
namespace {

COLORREF ToColorRef(DWORD argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

// Characters that may break a line on either side: CJK ideographs, kana, hangul, full-width
// forms and emoji planes.
bool IsBreakAnywhere(wchar_t ch) {
  return (ch >= 0x2E80 && ch <= 0x9FFF) || (ch >= 0xAC00 && ch <= 0xD7AF) ||
         (ch >= 0xF900 && ch <= 0xFAFF) || (ch >= 0xFF00 && ch <= 0xFFEF);
}

struct Style {
  HFONT font;
  TEXTMETRICW tm;
  DWORD color;
  bool underline;
  int link;
};

struct Run {
  int x;
  int width;
  int line;
  CDuiString text;
  Style style;
};

struct Line {
  int width = 0;
  int height = 0;
  int ascent = 0;
};

class Layout {
 public:
  Layout(HDC hdc, int maxWidth, bool singleLine) : m_hdc(hdc), m_maxWidth(maxWidth), m_single(singleLine) {
    m_lines.emplace_back();
  }

  void SetStyle(const Style& s) {
    m_style = s;
    SelectObject(m_hdc, s.font);
  }

  void Break() {
    if (m_single) return;
    CloseLine();
    m_lines.emplace_back();
    m_x = 0;
  }

  void AddText(const CDuiString& text) {
    size_t i = 0;
    while (i < text.size()) {
      size_t j = i;
      if (text[i] == L' ' || text[i] == L'\t') {
        while (j < text.size() && (text[j] == L' ' || text[j] == L'\t')) ++j;
      } else if (IsBreakAnywhere(text[i]) || IsHighSurrogate(text[i])) {
        j = i + (IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1);
      } else {
        while (j < text.size() && text[j] != L' ' && text[j] != L'\t' && !IsBreakAnywhere(text[j]) &&
               !IsHighSurrogate(text[j]))
          ++j;
      }
      AddSegment(text.substr(i, j - i));
      i = j;
    }
    TouchLine();
  }

  // Finishes the layout: every line's height and ascent are final.
  void Finish() {
    CloseLine();
  }

  const std::vector<Run>& Runs() const { return m_runs; }
  const std::vector<Line>& Lines() const { return m_lines; }
  int Height() const {
    int h = 0;
    for (const Line& l : m_lines) h += l.height;
    return h;
  }
  int Width() const {
    int w = 0;
    for (const Line& l : m_lines) w = std::max(w, l.width);
    return w;
  }

 private:
  static bool IsHighSurrogate(wchar_t ch) { return ch >= 0xD800 && ch <= 0xDBFF; }

  int Measure(const wchar_t* s, int n) {
    SIZE sz{};
    GetTextExtentPoint32W(m_hdc, s, n, &sz);
    return sz.cx;
  }

  void TouchLine() {
    Line& l = m_lines.back();
    l.height = std::max<int>(l.height, m_style.tm.tmHeight);
    l.ascent = std::max<int>(l.ascent, m_style.tm.tmAscent);
  }

  void CloseLine() { TouchLine(); }

  void Place(const CDuiString& s, int width) {
    if (!m_runs.empty()) {
      Run& last = m_runs.back();
      if (last.line == static_cast<int>(m_lines.size()) - 1 && last.style.font == m_style.font &&
          last.style.color == m_style.color && last.style.link == m_style.link &&
          last.style.underline == m_style.underline && last.x + last.width == m_x) {
        // GDI advances add up: extend the run by the piece's width instead of measuring the
        // whole run again, which made long single lines quadratic.
        last.text += s;
        last.width += width;
        m_x = last.x + last.width;
        m_lines.back().width = m_x;
        TouchLine();
        return;
      }
    }
    m_runs.push_back({m_x, width, static_cast<int>(m_lines.size()) - 1, s, m_style});
    m_x += width;
    m_lines.back().width = m_x;
    TouchLine();
  }

  void AddSegment(const CDuiString& seg) {
    bool space = seg[0] == L' ' || seg[0] == L'\t';
    int width = Measure(seg.c_str(), static_cast<int>(seg.size()));
    if (m_single || m_maxWidth <= 0 || m_x + width <= m_maxWidth) {
      Place(seg, width);
      return;
    }
    if (space) {
      // Spaces at the end of a line are dropped; the next word starts the next line.
      Break();
      return;
    }
    if (m_x > 0 && width <= m_maxWidth) {
      Break();
      Place(seg, width);
      return;
    }
    // A word wider than the line: break it between characters, each line taking the widest
    // prefix of the rest that fits. The word's partial extents, measured once, give every
    // prefix width by subtraction (GDI advances add up), so a long word costs linear time
    // instead of measuring the whole rest of it again for each line.
    std::vector<int> extents(seg.size());
    SIZE total{};
    GetTextExtentExPointW(m_hdc, seg.c_str(), static_cast<int>(seg.size()), 0, nullptr, extents.data(), &total);
    size_t i = 0;
    while (i < seg.size()) {
      const int room = m_maxWidth - m_x;
      const auto first = extents.begin() + static_cast<std::ptrdiff_t>(i);
      const long long limit = (i > 0 ? extents[i - 1] : 0LL) + room;
      int fit = room < 0 ? 0
                         : static_cast<int>(std::upper_bound(first, extents.end(), limit,
                                                             [](long long v, int e) { return v < e; }) - first);
      if (fit <= 0) {
        if (m_x > 0) {
          Break();
          continue;
        }
        fit = 1;  // at least one character per line
      }
      if (i + fit < seg.size() && IsHighSurrogate(seg[i + fit - 1])) {
        fit = fit > 1 ? fit - 1 : fit + 1;
      }
      CDuiString part = seg.substr(i, fit);
      Place(part, Measure(part.c_str(), static_cast<int>(part.size())));
      i += fit;
      if (i < seg.size()) Break();
    }
  }

  HDC m_hdc;
  int m_maxWidth;
  bool m_single;
  int m_x = 0;
  Style m_style{};
  std::vector<Run> m_runs;
  std::vector<Line> m_lines;
};

}  // namespace

void CRenderEngine::DrawHtmlText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const CDuiString& text,
                                 DWORD dwTextColor, int iFont, UINT uStyle,
                                 std::vector<TMarkupLink>* links, int hoverLink) {
  if (!pManager) return;
  const bool calc = (uStyle & DT_CALCRECT) != 0;
  const bool single = (uStyle & DT_SINGLELINE) != 0;
  if (links) links->clear();
  if (dwTextColor == 0) dwTextColor = pManager->GetDefaultFontColor();

  HGDIOBJ oldFont = SelectObject(hDC, pManager->GetFont(iFont));
  Layout layout(hDC, rc.right - rc.left, single);

  std::vector<int> fonts{iFont};
  std::vector<DWORD> colors{dwTextColor};
  int bold = 0, italic = 0, underline = 0;
  int link = -1;
  int linkCount = 0;
  std::vector<CDuiString> linkContents;

  auto apply = [&]() {
    Style s{};
    s.font = pManager->GetStyledFont(fonts.back(), bold > 0, italic > 0);
    SelectObject(hDC, s.font);
    GetTextMetricsW(hDC, &s.tm);
    s.link = link;
    s.color = link >= 0 ? (link == hoverLink ? pManager->GetDefaultLinkHoverFontColor()
                                             : pManager->GetDefaultLinkFontColor())
                        : colors.back();
    s.underline = underline > 0 || (link >= 0 && link == hoverLink);
    layout.SetStyle(s);
  };
  apply();

  for (const MarkupToken& t : ParseMarkup(text)) {
    switch (t.kind) {
      case MarkupToken::Text: layout.AddText(t.text); break;
      case MarkupToken::LineBreak: layout.Break(); break;
      case MarkupToken::LinkOpen:
        link = linkCount++;
        linkContents.push_back(t.text);
        apply();
        break;
      case MarkupToken::LinkClose: link = -1; apply(); break;
      case MarkupToken::ColorOpen: colors.push_back(t.color); apply(); break;
      case MarkupToken::ColorClose: if (colors.size() > 1) colors.pop_back(); apply(); break;
      case MarkupToken::BoldOpen: ++bold; apply(); break;
      case MarkupToken::BoldClose: if (bold > 0) --bold; apply(); break;
      case MarkupToken::ItalicOpen: ++italic; apply(); break;
      case MarkupToken::ItalicClose: if (italic > 0) --italic; apply(); break;
      case MarkupToken::UnderlineOpen: ++underline; apply(); break;
      case MarkupToken::UnderlineClose: if (underline > 0) --underline; apply(); break;
      case MarkupToken::FontOpen: fonts.push_back(t.font); apply(); break;
      case MarkupToken::FontClose: if (fonts.size() > 1) fonts.pop_back(); apply(); break;
    }
  }
  layout.Finish();

  const int totalHeight = layout.Height();
  int top = rc.top;
  if (single || (uStyle & (DT_VCENTER | DT_BOTTOM))) {
    int avail = rc.bottom - rc.top;
    if (uStyle & DT_VCENTER) top = rc.top + (avail - totalHeight) / 2;
    else if (uStyle & DT_BOTTOM) top = rc.bottom - totalHeight;
  }
  // Measuring keeps the alignment too: the link rectangles it lays out are the painted ones.

  // Line offsets.
  const auto& lines = layout.Lines();
  std::vector<int> lineTop(lines.size());
  std::vector<int> lineLeft(lines.size());
  int y = top;
  for (size_t i = 0; i < lines.size(); ++i) {
    lineTop[i] = y;
    y += lines[i].height;
    int slack = (rc.right - rc.left) - lines[i].width;
    lineLeft[i] = rc.left;
    if (slack > 0) {
      if (uStyle & DT_CENTER) lineLeft[i] += slack / 2;
      else if (uStyle & DT_RIGHT) lineLeft[i] += slack;
    }
  }

  if (links) {
    links->resize(linkContents.size());
    for (size_t i = 0; i < linkContents.size(); ++i) (*links)[i].content = linkContents[i];
  }

  if (!calc) SetBkMode(hDC, TRANSPARENT);
  for (const Run& r : layout.Runs()) {
    const Line& line = lines[r.line];
    int x = lineLeft[r.line] + r.x;
    int baseY = lineTop[r.line] + line.ascent;
    int ry = baseY - r.style.tm.tmAscent;
    RECT runRect{x, ry, x + r.width, ry + r.style.tm.tmHeight};
    if (links && r.style.link >= 0) {
      RECT lr{x, lineTop[r.line], x + r.width, lineTop[r.line] + line.height};
      (*links)[r.style.link].rects.push_back(lr);
    }
    if (calc) continue;
    SelectObject(hDC, r.style.font);
    SetTextColor(hDC, ToColorRef(r.style.color));
    RECT clip = rc;
    ExtTextOutW(hDC, x, ry, ETO_CLIPPED, &clip, r.text.c_str(), static_cast<UINT>(r.text.size()), nullptr);
    if (r.style.underline) {
      RECT ul{runRect.left, baseY + 1, runRect.right, baseY + 2};
      IntersectRect(&ul, &ul, &clip);
      SetBkColor(hDC, ToColorRef(r.style.color));
      ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &ul, nullptr, 0, nullptr);
    }
  }

  if (calc) {
    rc.bottom = rc.top + totalHeight;
    int w = layout.Width();
    if (w < rc.right - rc.left) rc.right = rc.left + w;
  }
  SelectObject(hDC, oldFont);
}

}  // namespace DuiLib
