#pragma once
// Text controls: CLabelUI (one line or marked-up text), CTextUI (wrapping text with links),
// CButtonUI (clickable, with state images).
#include "UIControl.h"
#include "UIRender.h"

namespace DuiLib {

class CLabelUI : public CControlUI {
 public:
  CDuiString GetClass() const override { return L"LabelUI"; }
  void* GetInterface(const wchar_t* pstrName) override;

  void SetTextStyle(UINT uStyle);
  UINT GetTextStyle() const { return m_uTextStyle; }
  void SetTextColor(DWORD dwTextColor);
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetDisabledTextColor(DWORD dwTextColor);
  void SetFont(int index);
  int GetFont() const { return m_iFont; }
  RECT GetTextPadding() const { return m_rcTextPadding; }
  void SetTextPadding(RECT rc);
  bool IsShowHtml() const { return m_bShowHtml; }
  void SetShowHtml(bool bShowHtml = true);
  void SetAutoCalcWidth(bool b) { m_bAutoCalcWidth = b; }

  SIZE EstimateSize(SIZE szAvailable) override;
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;
  void PaintText(HDC hDC) override;
  void SetText(const CDuiString& text) override;

 protected:
  DWORD EffectiveTextColor() const;
  UINT m_uTextStyle = DT_DEFAULT_LABEL;
  DWORD m_dwTextColor = 0;
  DWORD m_dwDisabledTextColor = 0;
  int m_iFont = -1;
  RECT m_rcTextPadding{};
  bool m_bShowHtml = false;
  bool m_bAutoCalcWidth = false;
};

// Multi-line text that wraps at its width; with show-html its links raise "link" notifications
// (wParam: the link's index) and GetLinkContent(index) returns the clicked link's content.
class CTextUI : public CLabelUI {
 public:
  CTextUI();
  CDuiString GetClass() const override { return L"TextUI"; }
  void* GetInterface(const wchar_t* pstrName) override;

  const CDuiString* GetLinkContent(int iIndex) const;
  int GetLinkCount() const { return static_cast<int>(m_links.size()); }
  // The index of the link at pt, or -1.
  int LinkAt(POINT pt) const;

  SIZE EstimateSize(SIZE szAvailable) override;
  void DoEvent(TEventUI& event) override;
  void PaintText(HDC hDC) override;
  void SetText(const CDuiString& text) override;
  void SetPos(RECT rc, bool bNeedInvalidate = true) override;

 private:
  std::vector<TMarkupLink> m_links;
  int m_nHoverLink = -1;
};

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  CDuiString GetClass() const override { return L"ButtonUI"; }
  void* GetInterface(const wchar_t* pstrName) override;
  bool IsFocusable() const override { return false; }

  const CDuiString& GetNormalImage() const { return m_sNormalImage; }
  void SetNormalImage(const CDuiString& image);
  void SetHotImage(const CDuiString& image);
  void SetPushedImage(const CDuiString& image);
  void SetDisabledImage(const CDuiString& image);
  void SetHotBkColor(DWORD c) { m_dwHotBkColor = c; Invalidate(); }
  void SetPushedBkColor(DWORD c) { m_dwPushedBkColor = c; Invalidate(); }
  void SetHotTextColor(DWORD c) { m_dwHotTextColor = c; Invalidate(); }
  bool IsHot() const { return m_bHot; }

  // Raises "click" as if the user clicked it.
  virtual bool Activate();

  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;
  void PaintBkColor(HDC hDC) override;
  void PaintStatusImage(HDC hDC) override;
  void PaintText(HDC hDC) override;

 private:
  void SetStateImage(CDuiString& slot, const CDuiString& image);

  CDuiString m_sNormalImage;
  CDuiString m_sHotImage;
  CDuiString m_sPushedImage;
  CDuiString m_sDisabledImage;
  DWORD m_dwHotBkColor = 0;
  DWORD m_dwPushedBkColor = 0;
  DWORD m_dwHotTextColor = 0;
  bool m_bHot = false;
  bool m_bPushed = false;
};

}  // namespace DuiLib
