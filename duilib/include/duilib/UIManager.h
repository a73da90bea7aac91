#pragma once
// One per window: owns the control tree, fonts and images of that window, lays out and paints it,
// turns window messages into control events and control events into notifications.
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "UIDefine.h"
#include "UIRender.h"

namespace DuiLib {

struct TFontInfo {
  HFONT hFont = nullptr;
  CDuiString sFontName;
  int iSize = 0;
  bool bBold = false;
  bool bUnderline = false;
  bool bItalic = false;
  TEXTMETRICW tm{};
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // Process-wide.
  static void SetInstance(HINSTANCE hInst);
  static HINSTANCE GetInstance();
  // The executable's folder, with a trailing backslash.
  static CDuiString GetInstancePath();
  // The folder skins and relative image paths are read from, with a trailing backslash.
  static void SetResourcePath(const CDuiString& path);
  static const CDuiString& GetResourcePath();
  // Offers a queued message to the toolkit before it is dispatched; true when it was consumed.
  static bool TranslateMessage(const LPMSG pMsg);
  // The manager of a window the toolkit paints, or null.
  static CPaintManagerUI* FromWindow(HWND hWnd);

  void Init(HWND hWnd);
  HWND GetPaintWindow() const { return m_hWndPaint; }
  HDC GetPaintDC() const { return m_hDcPaint; }

  // Window size and caption area from the skin's Window element.
  void SetInitSize(int cx, int cy);
  SIZE GetInitSize() const { return m_szInitWindowSize; }
  void SetCaptionRect(RECT rc) { m_rcCaption = rc; }
  RECT GetCaptionRect() const { return m_rcCaption; }
  void SetSizeBox(RECT rc) { m_rcSizeBox = rc; }
  RECT GetSizeBox() const { return m_rcSizeBox; }
  void SetRoundCorner(SIZE sz) { m_szRoundCorner = sz; }
  SIZE GetRoundCorner() const { return m_szRoundCorner; }
  void SetMinInfo(int cx, int cy) { m_szMinWindow = {cx, cy}; }
  SIZE GetMinInfo() const { return m_szMinWindow; }

  // Tree.
  bool AttachDialog(CControlUI* pControl);
  CControlUI* GetRoot() const { return m_pRoot.get(); }
  void InitControls(CControlUI* pControl, CControlUI* pParent = nullptr);
  void ReapObjects(CControlUI* pControl);
  // Controls removed from the tree while an event may still be on the stack are freed after
  // the current message has been handled.
  void AddDelayedCleanup(CControlUI* pControl);
  CControlUI* FindControl(const CDuiString& name) const;
  CControlUI* FindControl(POINT pt) const;
  CControlUI* FindControlByNativeWindow(HWND hWnd) const;
  void NameChanged(CControlUI* pControl, const CDuiString& oldName);

  // Layout and painting.
  void Invalidate(const RECT& rc);
  void NeedUpdate() { m_bUpdateNeeded = true; }
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  // Runs a pending layout now, so scroll ranges and positions are current.
  void UpdateLayout();
  // Paints the whole tree into hDC (a DIB of the client size); used by screenshots too.
  void Render(HDC hDC, const RECT& rcPaint);

  // Fonts by skin index; -1 or an unknown index gives the default font.
  void SetDefaultFont(const CDuiString& name, int size, bool bold, bool underline, bool italic);
  int AddFont(int id, const CDuiString& name, int size, bool bold, bool underline, bool italic);
  HFONT GetFont(int index);
  const TFontInfo* GetFontInfo(int index);
  // The font at index made bold and/or italic (itself when it already is). Made on first use
  // and freed with the font it was made from.
  HFONT GetStyledFont(int index, bool bold, bool italic);
  DWORD GetDefaultFontColor() const { return m_dwDefaultFontColor; }
  void SetDefaultFontColor(DWORD c) { m_dwDefaultFontColor = c; }
  DWORD GetDefaultDisabledColor() const { return m_dwDefaultDisabledColor; }
  void SetDefaultDisabledColor(DWORD c) { m_dwDefaultDisabledColor = c; }
  DWORD GetDefaultLinkFontColor() const { return m_dwDefaultLinkFontColor; }
  void SetDefaultLinkFontColor(DWORD c) { m_dwDefaultLinkFontColor = c; }
  DWORD GetDefaultLinkHoverFontColor() const { return m_dwDefaultLinkHoverFontColor; }
  void SetDefaultLinkHoverFontColor(DWORD c) { m_dwDefaultLinkHoverFontColor = c; }
  DWORD GetDefaultSelectedBkColor() const { return m_dwDefaultSelectedBkColor; }
  void SetDefaultSelectedBkColor(DWORD c) { m_dwDefaultSelectedBkColor = c; }

  // Images, shared by every window (see CImageCache); failures are remembered until the image is
  // set again or the file changes. A picture from the skin folder is decoded at once; one from
  // outside it is null until the decoder thread has decoded it, and this window then paints again.
  // GetImage's pointer is for immediate drawing; a holder of AcquireImage's keeps the image alive
  // and in the cache.
  const TImageInfo* GetImage(const CDuiString& file);
  std::shared_ptr<const TImageInfo> AcquireImage(const CDuiString& file);
  void ForgetFailedImage(const CDuiString& file);
  CDuiString ResolvePath(const CDuiString& file) const;
  // True for a picture that does not ship with the client: anything outside the resource folder.
  bool IsOutsideImage(const CDuiString& file) const;

  // Default attributes for a control class, from the skin's Default elements.
  void AddDefaultAttributeList(const CDuiString& controlClass, const CDuiString& list);
  const CDuiString* GetDefaultAttributeList(const CDuiString& controlClass) const;

  // Focus and capture.
  CControlUI* GetFocus() const { return m_pFocus; }
  void SetFocus(CControlUI* pControl);
  // Focus moved to a native child by Windows (clicks, Tab): record it without moving it again.
  void NativeFocusChanged(CControlUI* pControl);
  // The control that had the focus last, kept while the focus is elsewhere (another window, a
  // popup, the window itself after a click on a plain control); null once it is gone.
  CControlUI* GetLastFocus() const { return m_pLastFocus; }
  // Gives the focus back to that control when it can take it and nothing else has it; the window
  // does so itself whenever it is activated or the focus comes to it from another window.
  bool RestoreFocus();
  bool SetNextTabControl(bool bForward = true);
  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return m_bMouseCapture; }
  CControlUI* GetHoverControl() const { return m_pEventHover; }

  // Notifications.
  bool AddNotifier(INotifyUI* pControl);
  bool RemoveNotifier(INotifyUI* pControl);
  void SendNotify(TNotifyUI& Msg, bool bAsync = false);
  void SendNotify(CControlUI* pControl, const wchar_t* pstrMessage, WPARAM wParam = 0,
                  LPARAM lParam = 0, bool bAsync = false);

  bool AddPreMessageFilter(IMessageFilterUI* pFilter);
  bool RemovePreMessageFilter(IMessageFilterUI* pFilter);
  bool AddMessageFilter(IMessageFilterUI* pFilter);
  bool RemoveMessageFilter(IMessageFilterUI* pFilter);

  // Filters run before the window's own handling; MessageHandler runs the toolkit's.
  bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

  // Key preview: a key message for a native child is first offered to the top-level window.
  // The window's base handler calls MarkKeyPreviewUnhandled() when no override consumed it.
  bool IsInKeyPreview() const { return m_bInKeyPreview; }
  void MarkKeyPreviewUnhandled() { m_bKeyPreviewUnhandled = true; }

 private:
  friend class CControlUI;
  bool PreviewKey(const MSG& msg);
  void FireMouseEvent(int type, CControlUI* target, POINT pt, WPARAM wParam, LPARAM lParam);
  void SetHover(CControlUI* pControl, POINT pt, WPARAM wParam);
  void FlushDelayedCleanup();
  void ControlAdded(CControlUI* pControl);
  void Unlist(CControlUI* pControl);
  void ControlRemoved(CControlUI* pControl);
  bool InTree(CControlUI* pControl) const;
  void PaintWindow();
  void DeliverAsyncNotify();
  void FreeFont(HFONT font);
  void ApplyWindowRegion();

  HWND m_hWndPaint = nullptr;
  HDC m_hDcPaint = nullptr;
  std::unique_ptr<CControlUI> m_pRoot;
  CControlUI* m_pFocus = nullptr;
  CControlUI* m_pLastFocus = nullptr;
  CControlUI* m_pEventHover = nullptr;
  CControlUI* m_pEventClick = nullptr;
  CControlUI* m_pEventRClick = nullptr;
  bool m_bMouseCapture = false;
  bool m_bFocusing = false;  // SetFocus is moving the focus to the window itself
  bool m_bMouseTracking = false;
  bool m_bUpdateNeeded = true;
  bool m_bInKeyPreview = false;
  bool m_bKeyPreviewUnhandled = false;
  int m_nMessageDepth = 0;
  SIZE m_szInitWindowSize{};
  SIZE m_szMinWindow{};
  SIZE m_szRoundCorner{};
  RECT m_rcCaption{};
  RECT m_rcSizeBox{};
  SIZE m_szLastRegion{};
  // What was invalidated since the last paint began: adding many rows invalidates their list
  // once, not once per row (every invalidation is a round trip to the window system).
  RECT m_rcInvalid{};
  std::vector<INotifyUI*> m_aNotifiers;
  std::vector<IMessageFilterUI*> m_aPreMessageFilters;
  std::vector<IMessageFilterUI*> m_aMessageFilters;
  std::vector<CControlUI*> m_aDelayedCleanup;
  // Named controls of this manager by name, so that FindControl need not walk the tree. A control
  // enters when it gets this manager and leaves when it is removed from the tree or freed.
  std::unordered_map<CDuiString, std::vector<CControlUI*>> m_mNamed;
  struct QueuedNotify {
    TNotifyUI msg;
    uint64_t serial = 0;
  };
  std::deque<QueuedNotify> m_aAsyncNotify;
  uint64_t m_nNextNotify = 0;
  std::map<CDuiString, CDuiString> m_mDefaultAttrs;
  std::map<int, TFontInfo> m_mFonts;
  // Bold, italic and bold italic variants by the font they were made from.
  std::map<HFONT, std::array<HFONT, 3>> m_mFontVariants;
  TFontInfo m_DefaultFont;
  DWORD m_dwDefaultFontColor = 0xFF000000;
  DWORD m_dwDefaultDisabledColor = 0xFFA7A6AA;
  DWORD m_dwDefaultLinkFontColor = 0xFF0000FF;
  DWORD m_dwDefaultLinkHoverFontColor = 0xFFD3215F;
  DWORD m_dwDefaultSelectedBkColor = 0xFFBAE4FF;
  HWND m_hwndTooltip = nullptr;
  CControlUI* m_pTooltipControl = nullptr;
};

}  // namespace DuiLib
