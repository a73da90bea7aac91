#pragma once
// Lists: a scrolling vertical stack of selectable rows. Rows are CListContainerElementUI
// containers built in code (or in the skin) with fixed heights.
// Notifications: "itemselect" from the list (wParam new index, lParam old index) when the
// selection changes; "itemclick" and "itemrclick" from the row that was clicked;
// "itemactivate" from a row on double click.
#include "UIContainer.h"

namespace DuiLib {

class CListUI;

class CListContainerElementUI : public CHorizontalLayoutUI {
 public:
  CDuiString GetClass() const override { return L"ListContainerElementUI"; }
  void* GetInterface(const wchar_t* pstrName) override;

  CListUI* GetOwner() const { return m_pOwner; }
  void SetOwner(CListUI* pOwner) { m_pOwner = pOwner; }
  int GetIndex() const { return m_iIndex; }
  void SetIndex(int iIndex) { m_iIndex = iIndex; }
  bool IsSelected() const { return m_bSelected; }
  // Marks the row selected (and, through its list, unselects the others).
  bool Select(bool bSelect = true, bool bTriggerEvent = true);
  bool IsHot() const { return m_bHot; }

  void DoEvent(TEventUI& event) override;
  void PaintBkColor(HDC hDC) override;

 private:
  friend class CListUI;
  CListUI* m_pOwner = nullptr;
  int m_iIndex = -1;
  bool m_bSelected = false;
  bool m_bHot = false;
};

class CListUI : public CVerticalLayoutUI {
 public:
  CListUI();
  CDuiString GetClass() const override { return L"ListUI"; }
  void* GetInterface(const wchar_t* pstrName) override;

  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl) override;
  bool RemoveAt(int iIndex) override;
  void RemoveAll() override;

  int GetCurSel() const { return m_iCurSel; }
  // Selects the row at iIndex (-1 clears); raises "itemselect" when the selection changes and
  // bTriggerEvent is set. The focus stays where it is unless bTakeFocus.
  bool SelectItem(int iIndex, bool bTakeFocus = false, bool bTriggerEvent = true);
  void EnsureVisible(int iIndex);

  DWORD GetItemHotBkColor() const { return m_dwItemHotBkColor; }
  DWORD GetItemSelectedBkColor() const { return m_dwItemSelectedBkColor; }
  DWORD GetItemBkColor() const { return m_dwItemBkColor; }
  void SetItemSelectedBkColor(DWORD c) { m_dwItemSelectedBkColor = c; }
  void SetItemHotBkColor(DWORD c) { m_dwItemHotBkColor = c; }

  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;
  bool IsFocusable() const override { return true; }

 private:
  void Reindex(int from);
  int m_iCurSel = -1;
  DWORD m_dwItemBkColor = 0;
  DWORD m_dwItemHotBkColor = 0xFFF0F2F5;
  DWORD m_dwItemSelectedBkColor = 0xFFE2E8EE;
};

}  // namespace DuiLib
