#include "duilib/UIManager.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwctype>

#include "duilib/UIContainer.h"
#include "duilib/UIControl.h"
#include "duilib/UIEdit.h"
#include "duilib/UIImageCache.h"

namespace DuiLib {
namespace {

HINSTANCE g_instance = nullptr;
CDuiString g_resourcePath;
std::map<HWND, CPaintManagerUI*>& Managers() {
  static std::map<HWND, CPaintManagerUI*> managers;
  return managers;
}

bool IsAbsolutePath(const CDuiString& p) {
  return (p.size() > 1 && p[1] == L':') || (p.size() > 1 && p[0] == L'\\' && p[1] == L'\\') ||
         (!p.empty() && p[0] == L'/');
}

HFONT MakeFont(const CDuiString& name, int size, bool bold, bool underline, bool italic) {
  LOGFONTW lf{};
  lf.lfHeight = -size;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = underline;
  lf.lfItalic = italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(lf.lfFaceName, name.c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectW(&lf);
}

void FillMetrics(TFontInfo& info) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, info.hFont);
  GetTextMetricsW(dc, &info.tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
}

}  // namespace

CPaintManagerUI::CPaintManagerUI() {
  m_DefaultFont.sFontName = L"微软雅黑";
  m_DefaultFont.iSize = 12;
  m_DefaultFont.hFont = MakeFont(m_DefaultFont.sFontName, 12, false, false, false);
  FillMetrics(m_DefaultFont);
}

CPaintManagerUI::~CPaintManagerUI() {
  if (m_hWndPaint) Managers().erase(m_hWndPaint);
  m_aNotifiers.clear();
  FlushDelayedCleanup();
  m_pFocus = m_pLastFocus = m_pEventHover = m_pEventClick = m_pEventRClick = nullptr;
  m_pRoot.reset();
  FlushDelayedCleanup();
  for (auto& [id, font] : m_mFonts) FreeFont(font.hFont);
  FreeFont(m_DefaultFont.hFont);
  if (m_hDcPaint && m_hWndPaint) ReleaseDC(m_hWndPaint, m_hDcPaint);
}

void CPaintManagerUI::SetInstance(HINSTANCE hInst) { g_instance = hInst; }
HINSTANCE CPaintManagerUI::GetInstance() { return g_instance; }

CDuiString CPaintManagerUI::GetInstancePath() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(g_instance, path, MAX_PATH);
  CDuiString p(path);
  size_t slash = p.find_last_of(L"\\/");
  return slash == CDuiString::npos ? CDuiString() : p.substr(0, slash + 1);
}

void CPaintManagerUI::SetResourcePath(const CDuiString& path) {
  g_resourcePath = path;
  if (!g_resourcePath.empty() && g_resourcePath.back() != L'\\' && g_resourcePath.back() != L'/')
    g_resourcePath += L'\\';
}

const CDuiString& CPaintManagerUI::GetResourcePath() { return g_resourcePath; }

CPaintManagerUI* CPaintManagerUI::FromWindow(HWND hWnd) {
  auto it = Managers().find(hWnd);
  return it == Managers().end() ? nullptr : it->second;
}

void CPaintManagerUI::Init(HWND hWnd) {
  if (m_hWndPaint) Managers().erase(m_hWndPaint);
  // A manager may serve a second window of the same object: nothing of the first one carries over.
  m_szLastRegion = {};
  m_bMouseTracking = false;
  m_bMouseCapture = false;
  m_hWndPaint = hWnd;
  m_hDcPaint = GetDC(hWnd);
  Managers()[hWnd] = this;
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
  m_szInitWindowSize = {cx, cy};
  if (m_hWndPaint && cx > 0 && cy > 0)
    SetWindowPos(m_hWndPaint, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

bool CPaintManagerUI::AttachDialog(CControlUI* pControl) {
  if (!pControl) return false;
  m_pFocus = m_pLastFocus = m_pEventHover = m_pEventClick = m_pEventRClick = nullptr;
  if (m_pRoot) AddDelayedCleanup(m_pRoot.release());
  m_pRoot.reset(pControl);
  m_bUpdateNeeded = true;
  InitControls(pControl);
  if (m_hWndPaint) InvalidateRect(m_hWndPaint, nullptr, FALSE);
  return true;
}

void CPaintManagerUI::InitControls(CControlUI* pControl, CControlUI* pParent) {
  if (!pControl) return;
  if (pControl->GetManager() != this || pControl->GetParent() != pParent) {
    pControl->SetManager(this, pParent ? pParent : pControl->GetParent(), false);
    if (auto* container = static_cast<CContainerUI*>(pControl->GetInterface(L"Container"))) {
      for (int i = 0; i < container->GetCount(); ++i) InitControls(container->GetItemAt(i), container);
    }
  }
}

void CPaintManagerUI::ReapObjects(CControlUI* pControl) { ControlRemoved(pControl); }

void CPaintManagerUI::ControlAdded(CControlUI* pControl) {
  pControl->m_bListed = true;
  if (!pControl->GetName().empty()) m_mNamed[pControl->GetName()].push_back(pControl);
}

void CPaintManagerUI::Unlist(CControlUI* pControl) {
  if (!pControl->m_bListed) return;
  pControl->m_bListed = false;
  if (auto it = m_mNamed.find(pControl->GetName()); it != m_mNamed.end()) {
    std::erase(it->second, pControl);
    if (it->second.empty()) m_mNamed.erase(it);
  }
}

void CPaintManagerUI::ControlRemoved(CControlUI* pControl) {
  // Removed from the tree or freed: a later lookup by name must not find it.
  Unlist(pControl);
  // Its queued notifications would reach the window with a pointer to a freed control.
  std::erase_if(m_aAsyncNotify, [pControl](const QueuedNotify& q) { return q.msg.pSender == pControl; });
  if (pControl == m_pFocus) m_pFocus = nullptr;
  if (pControl == m_pLastFocus) m_pLastFocus = nullptr;
  if (pControl == m_pEventHover) m_pEventHover = nullptr;
  if (pControl == m_pEventClick) m_pEventClick = nullptr;
  if (pControl == m_pEventRClick) m_pEventRClick = nullptr;
  if (pControl == m_pTooltipControl) m_pTooltipControl = nullptr;
}

void CPaintManagerUI::AddDelayedCleanup(CControlUI* pControl) {
  if (!pControl) return;
  // Detach the whole subtree from input state now; free it when no event is on the stack.
  pControl->ForEach([this](CControlUI* c) {
    ControlRemoved(c);
    if (HWND native = c->GetNativeWindow()) ShowWindow(native, SW_HIDE);
    return false;
  });
  // One wake-up is enough: the next message handled frees the whole list. Removing thousands of
  // rows would otherwise post thousands of messages.
  const bool first = m_aDelayedCleanup.empty();
  m_aDelayedCleanup.push_back(pControl);
  if (first && m_nMessageDepth == 0 && m_hWndPaint) ::PostMessageW(m_hWndPaint, WM_APP + 1, 0, 0);
}

void CPaintManagerUI::FlushDelayedCleanup() {
  while (!m_aDelayedCleanup.empty()) {
    std::vector<CControlUI*> doomed;
    doomed.swap(m_aDelayedCleanup);
    for (CControlUI* c : doomed) delete c;
  }
}

namespace {

// The chain from the root down to the control.
std::vector<CControlUI*> Ancestry(CControlUI* pControl) {
  std::vector<CControlUI*> chain;
  for (CControlUI* c = pControl; c; c = c->GetParent()) chain.push_back(c);
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// Whether a comes before b in a walk of the tree (a container before its children).
bool WalkedBefore(CControlUI* a, CControlUI* b) {
  std::vector<CControlUI*> pa = Ancestry(a), pb = Ancestry(b);
  size_t i = 0;
  while (i < pa.size() && i < pb.size() && pa[i] == pb[i]) ++i;
  if (i == pa.size() || i == pb.size()) return pa.size() < pb.size();  // one holds the other
  auto* parent = static_cast<CContainerUI*>(pa[i - 1]->GetInterface(L"Container"));
  return parent->GetItemIndex(pa[i]) < parent->GetItemIndex(pb[i]);
}

}  // namespace

bool CPaintManagerUI::InTree(CControlUI* pControl) const {
  // A control may have this manager without being reachable from the root (given the manager
  // directly, or a container's scroll bar, which the walk does not visit).
  for (CControlUI* c = pControl; c; c = c->GetParent()) {
    if (c == m_pRoot.get()) return true;
    auto* parent = c->GetParent() ? static_cast<CContainerUI*>(c->GetParent()->GetInterface(L"Container")) : nullptr;
    if (!parent || static_cast<CControlUI*>(parent->GetVerticalScrollBar()) == c) return false;
  }
  return false;
}

CControlUI* CPaintManagerUI::FindControl(const CDuiString& name) const {
  if (!m_pRoot || name.empty()) return nullptr;
  auto it = m_mNamed.find(name);
  if (it == m_mNamed.end()) return nullptr;
  // The answer of a walk of the tree: when names repeat, the first control the walk meets.
  CControlUI* found = nullptr;
  for (CControlUI* c : it->second)
    if (InTree(c) && (!found || WalkedBefore(c, found))) found = c;
  return found;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  return m_pRoot ? m_pRoot->FindControlAt(pt) : nullptr;
}

CControlUI* CPaintManagerUI::FindControlByNativeWindow(HWND hWnd) const {
  if (!m_pRoot || !hWnd) return nullptr;
  CControlUI* found = nullptr;
  m_pRoot->ForEach([&](CControlUI* c) {
    if (c->GetNativeWindow() == hWnd) {
      found = c;
      return true;
    }
    return false;
  });
  return found;
}

void CPaintManagerUI::NameChanged(CControlUI* pControl, const CDuiString& oldName) {
  // Only a listed control moves: one already removed from the tree stays out.
  if (!pControl->m_bListed) return;
  if (auto it = m_mNamed.find(oldName); it != m_mNamed.end()) {
    std::erase(it->second, pControl);
    if (it->second.empty()) m_mNamed.erase(it);
  }
  ControlAdded(pControl);
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
  if (!m_hWndPaint) return;
  // Painting covers the bounding box of what is invalid anyway: invalidate that box, and nothing
  // inside it again until it was painted.
  RECT both;
  if (!UnionRect(&both, &m_rcInvalid, &rc) || EqualRect(&both, &m_rcInvalid)) return;
  m_rcInvalid = both;
  InvalidateRect(m_hWndPaint, &both, FALSE);
}

void CPaintManagerUI::UpdateLayout() {
  if (!m_pRoot || !m_hWndPaint) return;
  RECT client;
  GetClientRect(m_hWndPaint, &client);
  if (m_bUpdateNeeded || m_pRoot->IsUpdateNeeded() || !EqualRect(&client, &m_pRoot->GetPos())) {
    m_bUpdateNeeded = false;
    m_pRoot->SetPos(client, true);
    InvalidateRect(m_hWndPaint, nullptr, FALSE);
  }
}

void CPaintManagerUI::Render(HDC hDC, const RECT& rcPaint) {
  UpdateLayout();
  if (!m_pRoot) return;
  m_pRoot->DoPaint(hDC, rcPaint);
}

void CPaintManagerUI::PaintWindow() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWndPaint, &ps);
  m_rcInvalid = RECT{};  // painted now; what the layout below invalidates is painted next time
  RECT client;
  GetClientRect(m_hWndPaint, &client);
  RECT rc = ps.rcPaint;
  if (rc.right > rc.left && rc.bottom > rc.top && client.right > 0 && client.bottom > 0) {
    UpdateLayout();
    // Paint off screen, then copy, so nothing flickers.
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(mem, bmp);
    IntersectClipRect(mem, rc.left, rc.top, rc.right, rc.bottom);
    if (m_pRoot) m_pRoot->DoPaint(mem, rc);
    BitBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, rc.left, rc.top, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
  }
  EndPaint(m_hWndPaint, &ps);
}

void CPaintManagerUI::ApplyWindowRegion() {
  if (m_szRoundCorner.cx <= 0 || m_szRoundCorner.cy <= 0 || !m_hWndPaint) return;
  RECT rc;
  GetWindowRect(m_hWndPaint, &rc);
  SIZE sz{rc.right - rc.left, rc.bottom - rc.top};
  if (sz.cx == m_szLastRegion.cx && sz.cy == m_szLastRegion.cy) return;
  m_szLastRegion = sz;
  if (IsZoomed(m_hWndPaint)) {
    SetWindowRgn(m_hWndPaint, nullptr, TRUE);
    return;
  }
  HRGN rgn = CreateRoundRectRgn(0, 0, sz.cx + 1, sz.cy + 1, m_szRoundCorner.cx, m_szRoundCorner.cy);
  SetWindowRgn(m_hWndPaint, rgn, TRUE);  // the window owns the region now
}

// ---- fonts ----

void CPaintManagerUI::SetDefaultFont(const CDuiString& name, int size, bool bold, bool underline, bool italic) {
  HFONT font = MakeFont(name, size, bold, underline, italic);
  if (!font) return;
  FreeFont(m_DefaultFont.hFont);
  m_DefaultFont = TFontInfo{font, name, size, bold, underline, italic, {}};
  FillMetrics(m_DefaultFont);
  NeedUpdate();
}

int CPaintManagerUI::AddFont(int id, const CDuiString& name, int size, bool bold, bool underline, bool italic) {
  HFONT font = MakeFont(name, size, bold, underline, italic);
  if (!font) return -1;
  if (id < 0) id = m_mFonts.empty() ? 0 : m_mFonts.rbegin()->first + 1;
  auto it = m_mFonts.find(id);
  if (it != m_mFonts.end()) FreeFont(it->second.hFont);
  TFontInfo info{font, name, size, bold, underline, italic, {}};
  FillMetrics(info);
  m_mFonts[id] = info;
  return id;
}

HFONT CPaintManagerUI::GetFont(int index) {
  auto it = m_mFonts.find(index);
  return it == m_mFonts.end() ? m_DefaultFont.hFont : it->second.hFont;
}

const TFontInfo* CPaintManagerUI::GetFontInfo(int index) {
  auto it = m_mFonts.find(index);
  return it == m_mFonts.end() ? &m_DefaultFont : &it->second;
}

HFONT CPaintManagerUI::GetStyledFont(int index, bool bold, bool italic) {
  const TFontInfo* info = GetFontInfo(index);
  bold = bold && !info->bBold;
  italic = italic && !info->bItalic;
  if (!bold && !italic) return info->hFont;
  HFONT& variant = m_mFontVariants[info->hFont][(bold ? 1 : 0) + (italic ? 2 : 0) - 1];
  if (!variant) {
    LOGFONTW lf{};
    GetObjectW(info->hFont, sizeof lf, &lf);
    if (bold) lf.lfWeight = FW_BOLD;
    if (italic) lf.lfItalic = TRUE;
    variant = CreateFontIndirectW(&lf);
  }
  return variant ? variant : info->hFont;
}

void CPaintManagerUI::FreeFont(HFONT font) {
  auto it = m_mFontVariants.find(font);
  if (it != m_mFontVariants.end()) {
    for (HFONT variant : it->second)
      if (variant) DeleteObject(variant);
    m_mFontVariants.erase(it);
  }
  DeleteObject(font);
}

// ---- images ----

CDuiString CPaintManagerUI::ResolvePath(const CDuiString& file) const {
  if (IsAbsolutePath(file)) return file;
  return g_resourcePath + file;
}

const TImageInfo* CPaintManagerUI::GetImage(const CDuiString& file) { return AcquireImage(file).get(); }

bool CPaintManagerUI::IsOutsideImage(const CDuiString& file) const {
  auto normal = [](CDuiString path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : static_cast<wchar_t>(towlower(c));
    return path;
  };
  // A ".." component after from may lead out of the folder.
  auto climbs = [](const CDuiString& path, size_t from) {
    for (size_t at = path.find(L"..", from); at != CDuiString::npos; at = path.find(L"..", at + 1)) {
      const bool starts = at == from || path[at - 1] == L'\\';
      const bool ends = at + 2 == path.size() || path[at + 2] == L'\\';
      if (starts && ends) return true;
    }
    return false;
  };
  const CDuiString path = normal(file);
  if (!IsAbsolutePath(file)) return climbs(path, 0);
  const CDuiString folder = normal(g_resourcePath);
  if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return true;
  return climbs(path, folder.size());
}

std::shared_ptr<const TImageInfo> CPaintManagerUI::AcquireImage(const CDuiString& file) {
  if (file.empty()) return nullptr;
  const bool outside = IsOutsideImage(file);
  return CImageCache::Shared().Get(ResolvePath(file), outside ? CImageCache::Origin::Outside : CImageCache::Origin::Skin,
                                   outside ? m_hWndPaint : nullptr);
}

void CPaintManagerUI::ForgetFailedImage(const CDuiString& file) {
  if (!file.empty()) CImageCache::Shared().ForgetFailed(ResolvePath(file));
}

void CPaintManagerUI::AddDefaultAttributeList(const CDuiString& controlClass, const CDuiString& list) {
  m_mDefaultAttrs[controlClass] = list;
}

const CDuiString* CPaintManagerUI::GetDefaultAttributeList(const CDuiString& controlClass) const {
  auto it = m_mDefaultAttrs.find(controlClass);
  return it == m_mDefaultAttrs.end() ? nullptr : &it->second;
}

// ---- focus and capture ----

void CPaintManagerUI::NativeFocusChanged(CControlUI* pControl) {
  if (pControl == m_pFocus) return;
  if (CControlUI* old = m_pFocus) {
    m_pFocus = nullptr;
    TEventUI e;
    e.Type = UIEVENT_KILLFOCUS;
    e.pSender = pControl;
    e.dwTimestamp = GetTickCount();
    old->Event(e);
  }
  m_pFocus = pControl;
  if (pControl) {
    m_pLastFocus = pControl;
    TEventUI e;
    e.Type = UIEVENT_SETFOCUS;
    e.pSender = pControl;
    e.dwTimestamp = GetTickCount();
    pControl->Event(e);
  }
}

void CPaintManagerUI::SetFocus(CControlUI* pControl) {
  if (!m_hWndPaint) return;
  if (pControl && pControl->GetNativeWindow()) {
    HWND native = pControl->GetNativeWindow();
    if (::GetFocus() != native) ::SetFocus(native);  // its WM_SETFOCUS records the change
    else NativeFocusChanged(pControl);
    return;
  }
  if (::GetFocus() != m_hWndPaint) {
    // The window's own WM_SETFOCUS must not hand the focus on to the last control meanwhile.
    const bool outer = !m_bFocusing;
    m_bFocusing = true;
    ::SetFocus(m_hWndPaint);
    if (outer) m_bFocusing = false;
  }
  if (pControl && !pControl->IsVisible()) pControl = nullptr;
  NativeFocusChanged(pControl);
}

bool CPaintManagerUI::RestoreFocus() {
  CControlUI* last = m_pLastFocus;
  if (!m_hWndPaint || !last || last == m_pFocus || !InTree(last)) return false;
  for (CControlUI* c = last; c; c = c->GetParent())
    if (!c->IsVisible() || !c->IsEnabled()) return false;
  if (HWND native = last->GetNativeWindow(); native && (!::IsWindowVisible(native) || !::IsWindowEnabled(native)))
    return false;
  SetFocus(last);
  return true;
}

bool CPaintManagerUI::SetNextTabControl(bool bForward) {
  if (!m_pRoot) return false;
  std::vector<CControlUI*> order;
  m_pRoot->ForEach([&](CControlUI* c) {
    if (c->GetNativeWindow() && c->IsVisible() && c->IsEnabled() && c->IsKeyboardEnabled()) order.push_back(c);
    return false;
  });
  if (order.empty()) return false;
  auto it = std::find(order.begin(), order.end(), m_pFocus);
  size_t index;
  if (it == order.end()) index = bForward ? 0 : order.size() - 1;
  else if (bForward) index = (static_cast<size_t>(it - order.begin()) + 1) % order.size();
  else index = (static_cast<size_t>(it - order.begin()) + order.size() - 1) % order.size();
  SetFocus(order[index]);
  return true;
}

void CPaintManagerUI::SetCapture() {
  ::SetCapture(m_hWndPaint);
  m_bMouseCapture = true;
}

void CPaintManagerUI::ReleaseCapture() {
  if (m_bMouseCapture && ::GetCapture() == m_hWndPaint) ::ReleaseCapture();
  m_bMouseCapture = false;
}

// ---- notifications ----

namespace {
// Listener lists hold each listener once.
template <typename T>
bool AddOnce(std::vector<T*>& list, T* item) {
  if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}
template <typename T>
bool RemoveOnce(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}
}  // namespace

bool CPaintManagerUI::AddNotifier(INotifyUI* p) { return AddOnce(m_aNotifiers, p); }
bool CPaintManagerUI::RemoveNotifier(INotifyUI* p) { return RemoveOnce(m_aNotifiers, p); }

void CPaintManagerUI::SendNotify(TNotifyUI& Msg, bool bAsync) {
  if (Msg.dwTimestamp == 0) Msg.dwTimestamp = GetTickCount();
  if (bAsync && m_hWndPaint) {
    m_aAsyncNotify.push_back({Msg, m_nNextNotify++});
    ::PostMessageW(m_hWndPaint, WM_APP + 1, 0, 0);
    return;
  }
  ++m_nMessageDepth;
  // A notifier may remove itself or others while we iterate: walk a copy.
  std::vector<INotifyUI*> notifiers = m_aNotifiers;
  for (INotifyUI* n : notifiers) {
    if (std::find(m_aNotifiers.begin(), m_aNotifiers.end(), n) == m_aNotifiers.end()) continue;
    n->Notify(Msg);
  }
  if (--m_nMessageDepth == 0 && !m_aDelayedCleanup.empty() && m_hWndPaint)
    ::PostMessageW(m_hWndPaint, WM_APP + 1, 0, 0);
}

void CPaintManagerUI::SendNotify(CControlUI* pControl, const wchar_t* pstrMessage, WPARAM wParam,
                                 LPARAM lParam, bool bAsync) {
  TNotifyUI msg;
  msg.sType = pstrMessage;
  msg.pSender = pControl;
  msg.wParam = wParam;
  msg.lParam = lParam;
  if (m_hWndPaint) {
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(m_hWndPaint, &pt);
    msg.ptMouse = pt;
  }
  SendNotify(msg, bAsync);
}

void CPaintManagerUI::DeliverAsyncNotify() {
  // What was queued before now, taken one at a time from the queue itself: a notifier that
  // removes a control also drops that control's notifications still waiting in this batch.
  const uint64_t end = m_nNextNotify;
  while (!m_aAsyncNotify.empty() && m_aAsyncNotify.front().serial < end) {
    TNotifyUI msg = std::move(m_aAsyncNotify.front().msg);
    m_aAsyncNotify.pop_front();
    SendNotify(msg, false);
  }
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* f) { return AddOnce(m_aPreMessageFilters, f); }
bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* f) { return RemoveOnce(m_aPreMessageFilters, f); }
bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* f) { return AddOnce(m_aMessageFilters, f); }
bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* f) { return RemoveOnce(m_aMessageFilters, f); }

// ---- message routing ----

bool CPaintManagerUI::TranslateMessage(const LPMSG pMsg) {
  if (!pMsg->hwnd) return false;
  HWND root = GetAncestor(pMsg->hwnd, GA_ROOT);
  CPaintManagerUI* pm = FromWindow(root);
  if (!pm) return false;
  const UINT m = pMsg->message;
  if (m < WM_KEYFIRST || m > WM_KEYLAST) return false;
  LRESULT lRes = 0;
  if (pm->PreMessageHandler(m, pMsg->wParam, pMsg->lParam, lRes)) return true;
  if (pMsg->hwnd != root && (m == WM_KEYDOWN || m == WM_SYSKEYDOWN)) return pm->PreviewKey(*pMsg);
  return false;
}

bool CPaintManagerUI::PreviewKey(const MSG& msg) {
  // Offer the key to the top-level window first, as if it had the focus; when its handler
  // leaves it to the base, the native control gets it as usual.
  m_bInKeyPreview = true;
  m_bKeyPreviewUnhandled = false;
  ::SendMessageW(m_hWndPaint, msg.message, msg.wParam, msg.lParam);
  bool consumed = !m_bKeyPreviewUnhandled;
  m_bInKeyPreview = false;
  m_bKeyPreviewUnhandled = false;
  return consumed;
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  std::vector<IMessageFilterUI*> filters = m_aPreMessageFilters;
  for (IMessageFilterUI* f : filters) {
    bool handled = false;
    LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
    if (handled) {
      lRes = r;
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::FireMouseEvent(int type, CControlUI* target, POINT pt, WPARAM wParam, LPARAM lParam) {
  if (!target) return;
  TEventUI e;
  e.Type = type;
  e.pSender = target;
  e.ptMouse = pt;
  e.wParam = wParam;
  e.lParam = lParam;
  e.wKeyState = static_cast<WORD>(wParam);
  e.dwTimestamp = GetTickCount();
  target->Event(e);
}

void CPaintManagerUI::SetHover(CControlUI* pControl, POINT pt, WPARAM wParam) {
  if (pControl == m_pEventHover) return;
  CControlUI* old = m_pEventHover;
  m_pEventHover = pControl;
  if (old) FireMouseEvent(UIEVENT_MOUSELEAVE, old, pt, wParam, 0);
  if (pControl && m_pEventHover == pControl) FireMouseEvent(UIEVENT_MOUSEENTER, pControl, pt, wParam, 0);
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (!m_hWndPaint) return false;
  struct Depth {
    CPaintManagerUI* pm;
    explicit Depth(CPaintManagerUI* p) : pm(p) { ++pm->m_nMessageDepth; }
    ~Depth() {
      if (--pm->m_nMessageDepth == 0 && !pm->m_aDelayedCleanup.empty()) pm->FlushDelayedCleanup();
    }
  } depth(this);

  {
    std::vector<IMessageFilterUI*> filters = m_aMessageFilters;
    for (IMessageFilterUI* f : filters) {
      bool handled = false;
      LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
      if (handled) {
        lRes = r;
        return true;
      }
    }
  }

  if (uMsg == CImageCache::DecodedMessage()) {
    // A picture this window asked for was decoded (or failed): paint it instead of its placeholder.
    InvalidateRect(m_hWndPaint, nullptr, FALSE);
    lRes = 0;
    return true;
  }

  switch (uMsg) {
    case WM_APP + 1:
      DeliverAsyncNotify();
      lRes = 0;
      return true;
    case WM_ERASEBKGND:
      lRes = 1;
      return true;
    case WM_PAINT:
      PaintWindow();
      lRes = 0;
      return true;
    case WM_SIZE:
      if (m_pRoot) m_pRoot->NeedUpdate();
      m_bUpdateNeeded = true;
      ApplyWindowRegion();
      return false;
    case WM_MOUSEMOVE: {
      if (!m_bMouseTracking) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hWndPaint, 0};
        TrackMouseEvent(&tme);
        m_bMouseTracking = true;
      }
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      UpdateLayout();
      CControlUI* over = FindControl(pt);
      if (m_pEventClick) {
        FireMouseEvent(UIEVENT_MOUSEMOVE, m_pEventClick, pt, wParam, lParam);
      } else {
        SetHover(over, pt, wParam);
        if (m_pEventHover) FireMouseEvent(UIEVENT_MOUSEMOVE, m_pEventHover, pt, wParam, lParam);
      }
      // Tool tips follow the control under the mouse.
      CControlUI* tipControl = over && !over->GetToolTip().empty() ? over : nullptr;
      if (tipControl != m_pTooltipControl) {
        m_pTooltipControl = tipControl;
        if (!m_hwndTooltip) {
          m_hwndTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                          m_hWndPaint, nullptr, g_instance, nullptr);
        }
        if (m_hwndTooltip) {
          TTTOOLINFOW ti{};
          ti.cbSize = sizeof ti;
          ti.hwnd = m_hWndPaint;
          ti.uId = 1;
          ::SendMessageW(m_hwndTooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
          if (tipControl) {
            ti.uFlags = TTF_SUBCLASS;
            ti.rect = tipControl->GetPos();
            ti.lpszText = const_cast<wchar_t*>(tipControl->GetToolTip().c_str());
            ::SendMessageW(m_hwndTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
          }
        }
      }
      return false;
    }
    case WM_MOUSELEAVE: {
      m_bMouseTracking = false;
      POINT pt{-1, -1};
      if (!m_pEventClick) SetHover(nullptr, pt, 0);
      return false;
    }
    case WM_SETCURSOR: {
      // A native child (an edit's I-beam) sets its own cursor.
      if (LOWORD(lParam) != HTCLIENT || reinterpret_cast<HWND>(wParam) != m_hWndPaint) return false;
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClient(m_hWndPaint, &pt);
      CControlUI* c = FindControl(pt);
      if (!c) return false;
      HCURSOR before = ::GetCursor();
      ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
      FireMouseEvent(UIEVENT_SETCURSOR, c, pt, 0, 0);
      (void)before;
      lRes = TRUE;
      return true;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      UpdateLayout();
      CControlUI* c = FindControl(pt);
      if (!c) return false;
      // A click elsewhere takes the focus away from an edit, as Windows users expect.
      if (m_pFocus && m_pFocus != c && !c->IsFocusable()) SetFocus(nullptr);
      if (c->IsFocusable()) SetFocus(c);
      m_pEventClick = c;
      SetCapture();
      FireMouseEvent(uMsg == WM_LBUTTONDBLCLK ? UIEVENT_DBLCLICK : UIEVENT_BUTTONDOWN, c, pt, wParam, lParam);
      return false;
    }
    case WM_LBUTTONUP: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // Take the pressed control before releasing the capture: the WM_CAPTURECHANGED that
      // ReleaseCapture sends would otherwise end the press at (-1,-1), off every control.
      CControlUI* c = m_pEventClick;
      m_pEventClick = nullptr;
      ReleaseCapture();
      if (c) FireMouseEvent(UIEVENT_BUTTONUP, c, pt, wParam, lParam);
      return false;
    }
    case WM_RBUTTONDOWN: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      UpdateLayout();
      CControlUI* c = FindControl(pt);
      m_pEventRClick = c;
      if (c) FireMouseEvent(UIEVENT_RBUTTONDOWN, c, pt, wParam, lParam);
      return false;
    }
    case WM_RBUTTONUP: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      CControlUI* c = m_pEventRClick;
      m_pEventRClick = nullptr;
      if (c) FireMouseEvent(UIEVENT_RBUTTONUP, c, pt, wParam, lParam);
      return false;
    }
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != m_hWndPaint) {
        m_bMouseCapture = false;
        if (CControlUI* c = m_pEventClick) {
          m_pEventClick = nullptr;
          POINT pt{-1, -1};
          FireMouseEvent(UIEVENT_BUTTONUP, c, pt, 0, 0);
        }
      }
      return false;
    case WM_MOUSEWHEEL: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(m_hWndPaint, &pt);
      CControlUI* c = FindControl(pt);
      if (!c) return false;
      FireMouseEvent(UIEVENT_SCROLLWHEEL, c, pt, wParam, lParam);
      lRes = 0;
      return true;
    }
    case WM_KEYDOWN:
    case WM_CHAR: {
      if (!m_pFocus || m_pFocus->GetNativeWindow()) return false;
      TEventUI e;
      e.Type = uMsg == WM_KEYDOWN ? UIEVENT_KEYDOWN : UIEVENT_CHAR;
      e.pSender = m_pFocus;
      e.chKey = static_cast<wchar_t>(wParam);
      e.wParam = wParam;
      e.lParam = lParam;
      e.dwTimestamp = GetTickCount();
      m_pFocus->Event(e);
      return false;
    }
    case WM_COMMAND: {
      HWND child = reinterpret_cast<HWND>(lParam);
      if (!child) return false;
      if (auto* host = dynamic_cast<CNativeEditHost*>(FindControlByNativeWindow(child))) {
        host->OnNativeCommand(HIWORD(wParam));
        lRes = 0;
        return true;
      }
      return false;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      auto* host = dynamic_cast<CNativeEditHost*>(FindControlByNativeWindow(reinterpret_cast<HWND>(lParam)));
      if (!host) return false;
      lRes = reinterpret_cast<LRESULT>(host->OnCtlColor(reinterpret_cast<HDC>(wParam)));
      return true;
    }
    case WM_ACTIVATE:
      // Activation would give the focus to the window itself. Under a window manager Wine may
      // have moved the focus before the deactivation is told, so the control to give it back to
      // is the one remembered all along, not whatever has the focus at WA_INACTIVE.
      if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam) || !RestoreFocus()) return false;
      lRes = 0;
      return true;
    case WM_SETFOCUS:
      // The window itself never keeps the focus that Windows gives it (activation, a closed
      // dialog handing it to its owner): on to the control that had it, as dialog boxes do. Only
      // the toolkit puts it on the window on purpose (a click on a plain control leaves the edit).
      if (!m_bFocusing) RestoreFocus();
      return false;
    case WM_DESTROY:
      if (m_hwndTooltip) {
        DestroyWindow(m_hwndTooltip);
        m_hwndTooltip = nullptr;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace DuiLib
