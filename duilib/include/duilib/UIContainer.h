#pragma once
// Containers own their children and lay them out; vertical and horizontal layouts stack them.
#include "UIControl.h"

namespace DuiLib {

class CScrollBarUI;

class CContainerUI : public CControlUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  CDuiString GetClass() const override { return L"ContainerUI"; }
  void* GetInterface(const wchar_t* pstrName) override;

  // Children: the container takes ownership on Add.
  virtual CControlUI* GetItemAt(int iIndex) const;
  virtual int GetItemIndex(CControlUI* pControl) const;
  virtual int GetCount() const { return static_cast<int>(m_items.size()); }
  virtual bool Add(CControlUI* pControl);
  virtual bool AddAt(CControlUI* pControl, int iIndex);
  // Removes and frees the child (freed after the current message when a manager is attached).
  virtual bool Remove(CControlUI* pControl);
  virtual bool RemoveAt(int iIndex);
  virtual void RemoveAll();

  RECT GetInset() const { return m_rcInset; }
  void SetInset(RECT rc);
  int GetChildPadding() const { return m_iChildPadding; }
  void SetChildPadding(int iPadding);

  void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
  void SetVisible(bool bVisible = true) override;
  void SetInternVisible(bool bVisible = true) override;
  void SetEnabled(bool bEnable = true) override;
  void SetPos(RECT rc, bool bNeedInvalidate = true) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;
  CControlUI* FindControlAt(POINT pt) override;
  bool ForEach(const std::function<bool(CControlUI*)>& fn) override;

  // Scrolling (only with a scroll bar enabled).
  virtual SIZE GetScrollPos() const;
  virtual SIZE GetScrollRange() const;
  virtual void SetScrollPos(SIZE szPos);
  virtual void LineUp();
  virtual void LineDown();
  virtual void PageUp();
  virtual void PageDown();
  virtual void HomeUp();
  virtual void EndDown();
  virtual void EnableScrollBar(bool bEnableVertical = true, bool bEnableHorizontal = false);
  CScrollBarUI* GetVerticalScrollBar() const { return m_pVerticalScrollBar.get(); }

 protected:
  // Lays the children out inside rc (already without inset); returns the content height.
  virtual int LayoutChildren(RECT rc);
  // The content height LayoutChildren(rc) would return, without moving any child; -1 when this
  // kind of container can learn it only by laying out.
  virtual int MeasureChildren(RECT) { return -1; }
  void ProcessScrollBar(RECT rc, int cyRequired);
  RECT ContentRect() const;
  // The area children are drawn in: the item minus inset and scroll bar.
  RECT ClientArea() const;

  std::vector<std::unique_ptr<CControlUI>> m_items;
  RECT m_rcInset{};
  int m_iChildPadding = 0;
  std::unique_ptr<CScrollBarUI> m_pVerticalScrollBar;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  CDuiString GetClass() const override { return L"VerticalLayoutUI"; }
  void* GetInterface(const wchar_t* pstrName) override;
 protected:
  int LayoutChildren(RECT rc) override;
  int MeasureChildren(RECT rc) override;

 private:
  // The children's heights for an area (0: stretches), and the content height they add up to.
  struct Heights {
    int width = -1, avail = -1;
    std::vector<int> cy;
    int fixedTotal = 0, stretchCount = 0, total = 0;
  };
  void Measure(RECT rc, Heights& out);
  // What MeasureChildren found, for the LayoutChildren of the same area right after it: a
  // scrolling list learns its height before it places its rows, and estimates each row once.
  Heights m_measured;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  CDuiString GetClass() const override { return L"HorizontalLayoutUI"; }
  void* GetInterface(const wchar_t* pstrName) override;
 protected:
  int LayoutChildren(RECT rc) override;
};

// A thin vertical scroll bar: a rounded thumb on a light track, dragged with the mouse.
class CScrollBarUI : public CControlUI {
 public:
  CDuiString GetClass() const override { return L"ScrollBarUI"; }
  void SetOwner(CContainerUI* pOwner) { m_pOwner = pOwner; }
  int GetScrollRange() const { return m_nRange; }
  void SetScrollRange(int nRange);
  int GetScrollPos() const { return m_nScrollPos; }
  void SetScrollPos(int nPos);
  int GetLineSize() const { return m_nLineSize; }
  void SetLineSize(int n) { m_nLineSize = n; }
  int GetBarWidth() const { return m_nBarWidth; }
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;

 private:
  RECT ThumbRect() const;
  CContainerUI* m_pOwner = nullptr;
  int m_nRange = 0;
  int m_nScrollPos = 0;
  int m_nLineSize = 30;
  int m_nBarWidth = 8;
  DWORD m_dwThumbColor = 0xFFC8CDD2;
  DWORD m_dwThumbHotColor = 0xFFA9B0B7;
  bool m_bHot = false;
  bool m_bDragging = false;
  POINT m_ptDragStart{};
  int m_nDragStartPos = 0;
};

}  // namespace DuiLib
