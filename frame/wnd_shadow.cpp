#include "frame/wnd_shadow.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace {

using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);

constexpr wchar_t kShadowClass[] = L"DuskShadowWnd";
constexpr BYTE kEnabled = 1;
constexpr BYTE kVisible = 2;
constexpr BYTE kParentVisible = 4;
// A shadow that fits the virtual screen plus this margin on each side gets a whole bitmap. A
// larger one (a window bigger than any screen) gets one only for the part over the screen and
// the margin, and never more than kMaxSide pixels a side, so its bitmap stays bounded.
constexpr int kScreenMargin = 256;
constexpr long long kMaxSide = 16384;
// No real window is this large; beyond it nothing is drawn, which keeps all sums within int.
constexpr long long kMaxParentExtent = 1 << 24;

HINSTANCE g_instance = nullptr;
UpdateLayeredWindowFn g_updateLayeredWindow = nullptr;

// A subclassed parent: its shadow (null once the shadow object went while another procedure
// sat on top of ours, so ours could not be taken out) and the procedure ours passes messages to.
struct ParentLink {
  CWndShadow* shadow;
  WNDPROC original;
};

std::unordered_map<HWND, ParentLink>& Links() {
  static std::unordered_map<HWND, ParentLink> links;
  return links;
}

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using UniqueRegion = std::unique_ptr<std::remove_pointer_t<HRGN>, GdiObjectDeleter>;
struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

UINT32 Premultiplied(COLORREF color, int alpha) {
  const auto channel = [alpha](BYTE value) { return static_cast<UINT32>(value * alpha / 255); };
  return static_cast<UINT32>(alpha) << 24 | channel(GetRValue(color)) << 16 | channel(GetGValue(color)) << 8 |
         channel(GetBValue(color));
}

// The columns [left, right) of one row of an outline. An empty row is {width, 0}: as a
// neighbour it has the largest left end and the smallest right end, so the shrink empties the
// rows beside it and the stamping treats those rows as edge from end to end.
struct Span {
  int left;
  int right;
  bool empty() const { return left >= right; }
};

// For the parent rows [row0, row1) (within the window), the first column inside the window's
// region and one past the last, clipped to the window. A window without a region is its whole
// rectangle. One pass over the region's rectangles gives the same spans as testing every pixel.
std::vector<Span> RegionRows(HWND parent, int width, int row0, int row1) {
  std::vector<Span> rows(static_cast<size_t>(row1 - row0), Span{width, 0});
  const UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
  const int kind = region ? GetWindowRgn(parent, region.get()) : ERROR;
  if (kind == NULLREGION) return rows;
  const DWORD bytes = kind == ERROR ? 0 : GetRegionData(region.get(), 0, nullptr);
  std::vector<std::byte> data(bytes);
  auto* header = reinterpret_cast<RGNDATA*>(data.data());
  if (bytes < sizeof(RGNDATAHEADER) || GetRegionData(region.get(), bytes, header) == 0) {
    std::fill(rows.begin(), rows.end(), Span{0, width});  // no region of its own: the rectangle
    return rows;
  }
  const DWORD count = std::min<DWORD>(header->rdh.nCount, (bytes - sizeof(RGNDATAHEADER)) / sizeof(RECT));
  for (DWORD n = 0; n < count; ++n) {
    RECT rect;
    std::memcpy(&rect, header->Buffer + n * sizeof(RECT), sizeof rect);
    const int left = std::max<LONG>(rect.left, 0);
    const int right = std::min<LONG>(rect.right, width);
    if (left >= right) continue;
    for (int y = std::max<LONG>(rect.top, row0); y < std::min<LONG>(rect.bottom, row1); ++y) {
      Span& span = rows[static_cast<size_t>(y - row0)];
      span.left = std::min(span.left, left);
      span.right = std::max(span.right, right);
    }
  }
  return rows;
}

// Where a shadow goes: the screen position of its top-left corner and the part of it (in
// shadow coordinates) that gets a bitmap; an empty part means nothing to draw.
struct Placement {
  POINT origin;
  RECT part;
  bool partial;
};

Placement PlaceShadow(const RECT& parent, int size, int x_offset, int y_offset) {
  Placement place{{parent.left + x_offset - size, parent.top + y_offset - size}, {0, 0, 0, 0}, false};
  const long long parent_width = static_cast<long long>(parent.right) - parent.left;
  const long long parent_height = static_cast<long long>(parent.bottom) - parent.top;
  if (parent_width <= 0 || parent_height <= 0 || parent_width > kMaxParentExtent || parent_height > kMaxParentExtent) {
    return place;
  }
  const long long width = parent_width + 2 * size;
  const long long height = parent_height + 2 * size;
  if (width <= 0 || height <= 0) return place;
  const long long screen_x = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const long long screen_y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const long long limit_x = std::min<long long>(GetSystemMetrics(SM_CXVIRTUALSCREEN) + 2 * kScreenMargin, kMaxSide);
  const long long limit_y = std::min<long long>(GetSystemMetrics(SM_CYVIRTUALSCREEN) + 2 * kScreenMargin, kMaxSide);
  if (width <= limit_x && height <= limit_y) {
    place.part = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    return place;
  }
  place.partial = true;
  const long long left = std::max<long long>(screen_x - kScreenMargin - place.origin.x, 0);
  const long long top = std::max<long long>(screen_y - kScreenMargin - place.origin.y, 0);
  const long long right = std::min({screen_x - kScreenMargin + limit_x - place.origin.x, width, left + kMaxSide});
  const long long bottom = std::min({screen_y - kScreenMargin + limit_y - place.origin.y, height, top + kMaxSide});
  if (left < right && top < bottom) {
    place.part = {static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right), static_cast<LONG>(bottom)};
  }
  return place;
}

}  // namespace

bool CWndShadow::Initialize(HINSTANCE hInstance) {
  if (g_updateLayeredWindow) return false;
  HMODULE user32 = GetModuleHandleW(L"USER32.DLL");
  if (!user32) return false;
  g_updateLayeredWindow =
      reinterpret_cast<UpdateLayeredWindowFn>(reinterpret_cast<void*>(GetProcAddress(user32, "UpdateLayeredWindow")));
  if (!g_updateLayeredWindow) return false;
  g_instance = hInstance;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = hInstance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kShadowClass;
  RegisterClassExW(&wc);
  return true;
}

// The map is made before any shadow, so it is gone only after every shadow, static ones too.
CWndShadow::CWndShadow() { Links(); }

CWndShadow::~CWndShadow() {
  auto& links = Links();
  for (auto it = links.begin(); it != links.end(); ++it) {
    if (it->second.shadow != this) continue;
    const HWND parent = it->first;
    if (!IsWindow(parent)) {
      links.erase(it);
    } else if (GetWindowLongPtrW(parent, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ParentProc)) {
      SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.original));
      links.erase(it);
    } else {
      it->second.shadow = nullptr;  // ours stays in the chain and only passes messages on
    }
    break;
  }
  if (HasWindow()) DestroyWindow(m_hWnd);
}

CWndShadow* CWndShadow::FromParent(HWND hParent) {
  const auto it = Links().find(hParent);
  return it == Links().end() ? nullptr : it->second.shadow;
}

bool CWndShadow::HasWindow() const {
  return m_hWnd && m_hWnd != static_cast<HWND>(INVALID_HANDLE_VALUE) && IsWindow(m_hWnd);
}

void CWndShadow::Create(HWND hParent) {
  if (!g_updateLayeredWindow || !IsWindow(hParent) || HasWindow() || FromParent(hParent)) return;
  auto& links = Links();
  // A link left by an earlier shadow whose procedure could not be taken out is reused as it is.
  const bool subclassed = links.contains(hParent);
  links[hParent].shadow = this;
  // Never a window of its own to the user: disabled, Windows never activates it when the window above it closes
  // (the focus would stay with the shadow); without a system menu or a frame, Wine leaves it to no window manager.
  m_hWnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kShadowClass,
                           nullptr, WS_POPUP | WS_DISABLED, CW_USEDEFAULT, 0, 0, 0, hParent, nullptr, g_instance, nullptr);
  if (!m_hWnd) {
    m_hWnd = static_cast<HWND>(INVALID_HANDLE_VALUE);
    if (subclassed) {
      links[hParent].shadow = nullptr;
    } else {
      links.erase(hParent);
    }
    return;
  }
  const LONG style = GetWindowLongW(hParent, GWL_STYLE);
  if (!(style & WS_VISIBLE)) {
    m_Status = kEnabled;
  } else if (style & (WS_MAXIMIZE | WS_MINIMIZE)) {
    m_Status = kEnabled | kParentVisible;
  } else {
    ShowWindow(m_hWnd, SW_SHOWNA);
    m_Status = kEnabled | kVisible | kParentVisible;
    Update(hParent);
  }
  if (subclassed) {
    m_OriParentProc = reinterpret_cast<LONG_PTR>(links[hParent].original);
  } else {
    m_OriParentProc = SetWindowLongPtrW(hParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ParentProc));
    links[hParent].original = reinterpret_cast<WNDPROC>(m_OriParentProc);
  }
}

void CWndShadow::SetSize(int nSize) {
  m_nSize = static_cast<signed char>(std::clamp(nSize, -128, 127));
  if (m_Status & kVisible) Update(GetWindow(m_hWnd, GW_OWNER));
}

void CWndShadow::SetPosition(int nXOffset, int nYOffset) {
  m_nxOffset = static_cast<signed char>(std::clamp(nXOffset, -128, 127));
  m_nyOffset = static_cast<signed char>(std::clamp(nYOffset, -128, 127));
  if (m_Status & kVisible) Update(GetWindow(m_hWnd, GW_OWNER));
}

LRESULT CALLBACK CWndShadow::ParentProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  auto& links = Links();
  const auto it = links.find(hwnd);
  if (it == links.end()) return DefWindowProcW(hwnd, uMsg, wParam, lParam);
  const WNDPROC original = it->second.original;
  if (uMsg == WM_SIZE) {
    // Afterwards: the window sets its new region while handling WM_SIZE, and a shrunk shadow is
    // drawn from that region at once.
    const LRESULT result = CallWindowProcW(original, hwnd, uMsg, wParam, lParam);
    if (CWndShadow* shadow = FromParent(hwnd)) shadow->OnParentSize(hwnd, wParam, lParam);
    return result;
  }
  if (CWndShadow* shadow = it->second.shadow) shadow->OnParentMessage(hwnd, uMsg, wParam, lParam);
  // Before the window's own handling, which may delete the window object and this shadow.
  if (uMsg == WM_NCDESTROY) links.erase(hwnd);
  return CallWindowProcW(original, hwnd, uMsg, wParam, lParam);
}

void CWndShadow::OnParentMessage(HWND hParent, UINT uMsg, WPARAM wParam, LPARAM) {
  switch (uMsg) {
    case WM_MOVE:
      if (!(m_Status & kVisible)) break;
      if (m_bPartial) {
        Update(hParent);  // another part of it is on screen now
      } else {
        MoveToParent(hParent);
      }
      break;
    case WM_PAINT:
      if (m_bUpdate) {
        Update(hParent);
        m_bUpdate = false;
      }
      break;
    case WM_EXITSIZEMOVE:
      if (m_Status & kVisible) Update(hParent);
      break;
    case WM_SHOWWINDOW:
      if (!(m_Status & kEnabled)) break;
      if (!wParam) {
        ShowWindow(m_hWnd, SW_HIDE);
        m_Status &= ~(kVisible | kParentVisible);
      } else if (!(m_Status & kParentVisible)) {
        m_bUpdate = true;
        ShowWindow(m_hWnd, SW_SHOWNA);
        m_Status |= kVisible | kParentVisible;
      }
      break;
    case WM_DESTROY:
      if (HasWindow()) DestroyWindow(m_hWnd);
      m_hWnd = nullptr;
      break;
    default:
      break;
  }
}

void CWndShadow::OnParentSize(HWND hParent, WPARAM wParam, LPARAM lParam) {
  if (!(m_Status & kEnabled)) return;
  if (wParam == SIZE_MAXIMIZED || wParam == SIZE_MINIMIZED) {
    ShowWindow(m_hWnd, SW_HIDE);
    m_Status &= ~kVisible;
  } else if (m_Status & kParentVisible) {
    // A grown window has its new region only when it paints next; a shrunk one has it now.
    if (LOWORD(lParam) > LOWORD(m_WndSize) || HIWORD(lParam) > HIWORD(m_WndSize)) {
      m_bUpdate = true;
    } else {
      Update(hParent);
    }
    if (!(m_Status & kVisible)) {
      ShowWindow(m_hWnd, SW_SHOWNA);
      m_Status |= kVisible;
    }
  }
  m_WndSize = lParam;
}

void CWndShadow::MoveToParent(HWND hParent) {
  RECT rc;
  if (!GetWindowRect(hParent, &rc)) return;
  SetWindowPos(m_hWnd, HWND_TOP, rc.left + m_nxOffset - m_nSize, rc.top + m_nyOffset - m_nSize, 0, 0,
               SWP_NOSIZE | SWP_NOACTIVATE);
}

void CWndShadow::Update(HWND hParent) {
  RECT rc;
  if (!g_updateLayeredWindow || !HasWindow() || !GetWindowRect(hParent, &rc)) return;
  const Placement place = PlaceShadow(rc, m_nSize, m_nxOffset, m_nyOffset);
  m_bPartial = place.partial;
  const int width = place.part.right - place.part.left;
  const int height = place.part.bottom - place.part.top;
  POINT at{place.origin.x + place.part.left, place.origin.y + place.part.top};
  if (width <= 0 || height <= 0) {
    MoveWindow(m_hWnd, at.x, at.y, 0, 0, FALSE);  // an empty window shows nothing
    return;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
  void* bits = nullptr;
  const UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !bits || !dc) return;
  std::memset(bits, 0, info.bmiHeader.biSizeImage);
  MakeShadow(static_cast<UINT32*>(bits), hParent, rc, place.part);
  const Selection selection(dc.get(), bitmap.get());
  MoveWindow(m_hWnd, at.x, at.y, width, height, FALSE);
  SIZE size{width, height};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  g_updateLayeredWindow(m_hWnd, nullptr, &at, &size, dc.get(), &source, 0, &blend, ULW_ALPHA);
  ++m_nUpdates;
}

void CWndShadow::MakeShadow(UINT32* pBits, HWND hParent, const RECT& rcParent) const {
  const RECT whole{0, 0, rcParent.right - rcParent.left + 2 * m_nSize, rcParent.bottom - rcParent.top + 2 * m_nSize};
  MakeShadow(pBits, hParent, rcParent, whole);
}

void CWndShadow::MakeShadow(UINT32* pBits, HWND hParent, const RECT& rcParent, const RECT& rcPart) const {
  const long long parent_width = static_cast<long long>(rcParent.right) - rcParent.left;
  const long long parent_height = static_cast<long long>(rcParent.bottom) - rcParent.top;
  if (!pBits || parent_width <= 0 || parent_height <= 0 || parent_width > kMaxParentExtent ||
      parent_height > kMaxParentExtent) {
    return;
  }
  const int pw = static_cast<int>(parent_width);
  const int ph = static_cast<int>(parent_height);
  const int z = m_nSize;
  const int s = m_nSharpness;
  const int d = m_nDarkness;
  const int width = pw + 2 * z;
  const int height = ph + 2 * z;
  const RECT part = rcPart;
  if (width <= 0 || height <= 0 || part.left < 0 || part.top < 0 || part.right > width || part.bottom > height ||
      part.left >= part.right || part.top >= part.bottom) {
    return;
  }
  const int part_width = part.right - part.left;
  const auto line = [&](int y) { return pBits + static_cast<size_t>(part.bottom - 1 - y) * part_width; };

  const int k = std::max(s, z);
  const int passes = std::max(s - z, 0);
  const int r = z > s ? z - s : 0;

  // The outline rows the part depends on: a stamp reaches k rows, a stamped row looks at its
  // neighbours, and each shrink pass looks one row further.
  const int reach = k + 1 + passes;
  const int row0 = std::max<int>(0, part.top - reach);
  const int row1 = std::min<int>(height, part.bottom + reach);
  // The parent rows behind those outline rows and under the part's rows.
  const int p0 = std::max(0, std::min<int>(row0 - z, part.top - z + m_nyOffset));
  const int p1 = std::min(ph, std::max<int>(row1 - z, part.bottom - z + m_nyOffset));
  const std::vector<Span> parent_rows = p0 < p1 ? RegionRows(hParent, pw, p0, p1) : std::vector<Span>{};
  const auto parent_row = [&](int p) { return p >= p0 && p < p1 ? parent_rows[static_cast<size_t>(p - p0)] : Span{pw, 0}; };

  // 1. The parent's outline in shadow columns; the z rows above and below it are empty.
  const Span none{width, 0};
  std::vector<Span> rows(static_cast<size_t>(row1 - row0), none);
  for (int i = row0; i < row1; ++i) {
    const Span inside = parent_row(i - z);
    const Span span{std::max(inside.left + z, 0), std::min(inside.right + z, width)};
    if (!inside.empty() && !span.empty()) rows[static_cast<size_t>(i - row0)] = span;
  }
  const auto row = [&](int i) -> const Span& { return i >= row0 && i < row1 ? rows[static_cast<size_t>(i - row0)] : none; };

  // 2. Shrink the outline so that the blur ends where the size says.
  std::vector<Span> next(rows.size());
  for (int pass = 0; pass < passes; ++pass) {
    for (int i = row0; i < row1; ++i) {
      const Span &above = row(i - 1), &here = row(i), &below = row(i + 1);
      const Span shrunk{std::max({above.left, here.left, below.left}) + 1,
                        std::min({above.right, here.right, below.right}) - 1};
      next[static_cast<size_t>(i - row0)] = shrunk.empty() ? none : shrunk;
    }
    rows.swap(next);
  }

  // 3. The kernel: solid within r of its centre, fading to the edge k.
  const int side = 2 * k + 1;
  std::vector<UINT32> kernel(static_cast<size_t>(side) * side, 0);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double t = std::sqrt(static_cast<double>((x - k) * (x - k) + (y - k) * (y - k)));
      UINT32& cell = kernel[static_cast<size_t>(y) * side + x];
      if (t < r) {
        cell = Premultiplied(m_Color, d);
      } else if (t <= k) {
        cell = Premultiplied(m_Color, static_cast<int>((1.0 - (t - r) / (s + 1)) * d));
      }
    }
  }

  // 4. Stamp the kernel along the outline's edges, keeping the darker pixel.
  const auto stamp = [&](int i, int from, int to) {
    from = std::max<int>(from, part.left - k);
    to = std::min<int>(to, part.right + k);
    const int y0 = std::max<int>(i - k, part.top);
    const int y1 = std::min<int>(i + k + 1, part.bottom);
    for (int j = from; j < to; ++j) {
      const int x0 = std::max<int>(j - k, part.left);
      const int x1 = std::min<int>(j + k + 1, part.right);
      for (int y = y0; y < y1; ++y) {
        const UINT32* cells = &kernel[static_cast<size_t>(y - i + k) * side];
        UINT32* pixels = line(y);
        for (int x = x0; x < x1; ++x) {
          UINT32& pixel = pixels[x - part.left];
          pixel = std::max(pixel, cells[x - j + k]);
        }
      }
    }
  };
  const int stamp0 = std::max<int>(k, part.top - k);
  const int stamp1 = std::min<int>(height - k, part.bottom + k);
  for (int i = stamp0; i < stamp1; ++i) {
    const Span &here = row(i), &above = row(i - 1), &below = row(i + 1);
    if (here.empty()) continue;
    const int left_end = std::max(here.left, std::min(std::max(above.left, below.left) + 1, here.right));
    stamp(i, here.left, left_end);
    stamp(i, std::max(left_end, std::min(above.right, below.right) - 1), here.right);
  }

  // 5. Fill the inside solid, except under the window itself, which stays clear.
  const UINT32 solid = Premultiplied(m_Color, d);
  const auto fill = [&](int y, int from, int to, UINT32 value) {
    from = std::max<int>(from, part.left);
    to = std::min<int>(to, part.right);
    if (from < to) std::fill(line(y) + (from - part.left), line(y) + (to - part.left), value);
  };
  const int fill0 = std::max({std::min(k, std::max(z - m_nyOffset, 0)), 0, static_cast<int>(part.top)});
  const int fill1 = std::min({std::max(height - k, std::min(ph + z - m_nyOffset, ph + 2 * z)), height,
                              static_cast<int>(part.bottom)});
  for (int i = fill0; i < fill1; ++i) {
    const Span& span = row(i);
    const int p = i - z + m_nyOffset;
    const Span inside = p >= 0 && p < ph ? parent_row(p) : Span{pw, 0};
    if (inside.empty()) {
      fill(i, span.left, span.right, solid);
      continue;
    }
    const Span under{inside.left + z - m_nxOffset, inside.right + z - m_nxOffset};
    fill(i, span.left, std::min(under.left, span.right), solid);
    fill(i, under.left, under.right, 0);
    fill(i, std::max(under.right, span.left), span.right, solid);
  }
}
