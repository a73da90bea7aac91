#pragma once
// The base of every control: position and size rules, colours, images, border, visibility,
// text, events and painting.
#include <map>
#include <memory>
#include <vector>

#include "UIDefine.h"

namespace DuiLib {

class CContainerUI;
struct TImageInfo;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual CDuiString GetClass() const { return L"ControlUI"; }
  // Returns this control viewed as the named interface ("Container", "List", ...), or null.
  virtual void* GetInterface(const wchar_t* pstrName);

  const CDuiString& GetName() const { return m_sName; }
  void SetName(const CDuiString& name);

  virtual CDuiString GetText() const { return m_sText; }
  virtual void SetText(const CDuiString& text);
  const CDuiString& GetToolTip() const { return m_sToolTip; }
  void SetToolTip(const CDuiString& text) { m_sToolTip = text; }
  const CDuiString& GetUserData() const { return m_sUserData; }
  void SetUserData(const CDuiString& data) { m_sUserData = data; }
  UINT_PTR GetTag() const { return m_pTag; }
  void SetTag(UINT_PTR tag) { m_pTag = tag; }

  // Tree.
  CPaintManagerUI* GetManager() const { return m_pManager; }
  CControlUI* GetParent() const { return m_pParent; }
  virtual void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true);

  // Visibility and input.
  bool IsVisible() const { return m_bVisible && m_bInternVisible; }
  virtual void SetVisible(bool bVisible = true);
  virtual void SetInternVisible(bool bVisible = true);
  bool IsEnabled() const { return m_bEnabled; }
  virtual void SetEnabled(bool bEnable = true);
  bool IsMouseEnabled() const { return m_bMouseEnabled; }
  void SetMouseEnabled(bool bEnable = true) { m_bMouseEnabled = bEnable; }
  bool IsKeyboardEnabled() const { return m_bKeyboardEnabled; }
  void SetKeyboardEnabled(bool bEnable = true) { m_bKeyboardEnabled = bEnable; }
  bool IsFocused() const { return m_bFocused; }
  virtual void SetFocus();
  virtual bool IsFocusable() const { return false; }
  bool IsFloat() const { return m_bFloat; }

  // Geometry. Fixed sizes of 0 mean "take what the parent gives".
  const RECT& GetPos() const { return m_rcItem; }
  virtual void SetPos(RECT rc, bool bNeedInvalidate = true);
  int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
  int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }
  RECT GetPadding() const { return m_rcPadding; }
  void SetPadding(RECT rc);
  int GetFixedWidth() const { return m_cxyFixed.cx; }
  void SetFixedWidth(int cx);
  int GetFixedHeight() const { return m_cxyFixed.cy; }
  void SetFixedHeight(int cy);
  int GetMinWidth() const { return m_cxyMin.cx; }
  void SetMinWidth(int cx);
  int GetMaxWidth() const { return m_cxyMax.cx; }
  void SetMaxWidth(int cx);
  int GetMinHeight() const { return m_cxyMin.cy; }
  void SetMinHeight(int cy);
  int GetMaxHeight() const { return m_cxyMax.cy; }
  void SetMaxHeight(int cy);
  RECT GetFloatPos() const { return m_rcFloat; }
  // The size this control wants when its parent offers szAvailable.
  virtual SIZE EstimateSize(SIZE szAvailable);

  // Appearance. Colours are ARGB; 0 means none.
  DWORD GetBkColor() const { return m_dwBackColor; }
  void SetBkColor(DWORD dwColor);
  const CDuiString& GetBkImage() const { return m_sBkImage; }
  void SetBkImage(const CDuiString& image);
  DWORD GetBorderColor() const { return m_dwBorderColor; }
  void SetBorderColor(DWORD dwColor);
  DWORD GetFocusBorderColor() const { return m_dwFocusBorderColor; }
  void SetFocusBorderColor(DWORD dwColor);
  int GetBorderSize() const { return m_rcBorderSize.left; }
  void SetBorderSize(int nSize);
  void SetBorderSize(RECT rc);
  SIZE GetBorderRound() const { return m_cxyBorderRound; }
  void SetBorderRound(SIZE cxyRound);

  // Attributes as a skin writes them.
  virtual void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue);
  // Applies a list such as: height="36" bkcolor="#FFFFFFFF"
  void SetAttributeList(const wchar_t* pstrList);

  // Painting and layout bookkeeping.
  virtual void Invalidate();
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  void NeedUpdate();
  void NeedParentUpdate();
  virtual void DoPaint(HDC hDC, const RECT& rcPaint);
  virtual void PaintBkColor(HDC hDC);
  virtual void PaintBkImage(HDC hDC);
  virtual void PaintStatusImage(HDC hDC);
  virtual void PaintText(HDC hDC);
  virtual void PaintBorder(HDC hDC);

  // Events from the paint manager. Unhandled mouse events travel up to the parent.
  virtual void DoEvent(TEventUI& event);
  void Event(TEventUI& event) { DoEvent(event); }

  // Hit testing: the topmost visible control under pt that accepts the mouse.
  virtual CControlUI* FindControlAt(POINT pt);
  // Calls fn for this control and every descendant, depth first; stops when fn returns true.
  virtual bool ForEach(const std::function<bool(CControlUI*)>& fn);

  // Native child window, for the controls that host one (edits); null otherwise.
  virtual HWND GetNativeWindow() const { return nullptr; }

 protected:
  // Draws an image attribute ("file.png" or "file='file.png' source='..' corner='..'"); an outside
  // picture not decoded yet, refused or broken draws a placeholder. False when nothing was drawn.
  bool DrawImage(HDC hDC, const CDuiString& image, const RECT* dest = nullptr);
  // An image attribute changes from oldImage to newImage: let go of the old picture and retry
  // a new one that failed before.
  void ImageChanged(const CDuiString& oldImage, const CDuiString& newImage);
  // Clip region for rounded borders; returns the previous clip state to restore.
  class RoundClip;

  CPaintManagerUI* m_pManager = nullptr;
  CControlUI* m_pParent = nullptr;
  CDuiString m_sName;
  CDuiString m_sText;
  CDuiString m_sToolTip;
  CDuiString m_sUserData;
  UINT_PTR m_pTag = 0;
  bool m_bVisible = true;
  bool m_bInternVisible = true;
  bool m_bEnabled = true;
  bool m_bMouseEnabled = true;
  bool m_bKeyboardEnabled = true;
  bool m_bFocused = false;
  bool m_bFloat = false;
  bool m_bUpdateNeeded = true;
  RECT m_rcItem{};
  RECT m_rcPadding{};
  RECT m_rcFloat{};
  SIZE m_cxyFixed{};
  SIZE m_cxyMin{};
  SIZE m_cxyMax{9999, 9999};
  DWORD m_dwBackColor = 0;
  DWORD m_dwBorderColor = 0;
  DWORD m_dwFocusBorderColor = 0;
  RECT m_rcBorderSize{};
  SIZE m_cxyBorderRound{};
  CDuiString m_sBkImage;
  RECT m_rcPaint{};
  // The pictures this control draws, by image attribute: held, the shared cache keeps them.
  std::map<CDuiString, std::shared_ptr<const TImageInfo>> m_mHeldImages;

 private:
  friend class CPaintManagerUI;
  // Listed in its manager's name index: from getting the manager until removed from the tree.
  bool m_bListed = false;
};

}  // namespace DuiLib
