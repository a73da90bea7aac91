#pragma once
// Edit boxes host a native edit window, so caret, selection, IME input and the clipboard behave
// exactly as Windows users expect. Notifications: "setfocus", "killfocus", "textchanged" (user
// edits only), "return" (Enter; the edit itself ignores it).
#include "UILabel.h"

namespace DuiLib {

class CNativeEditHost : public CLabelUI {
 public:
  ~CNativeEditHost() override;
  bool IsFocusable() const override { return true; }
  HWND GetNativeWindow() const override { return m_hWnd; }

  CDuiString GetText() const override;
  void SetText(const CDuiString& text) override;
  void SetReadOnly(bool bReadOnly);
  bool IsReadOnly() const { return m_bReadOnly; }
  void SetMaxChar(int n);
  void SetSel(long nStartChar, long nEndChar);

  void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
  void SetPos(RECT rc, bool bNeedInvalidate = true) override;
  void SetVisible(bool bVisible = true) override;
  void SetInternVisible(bool bVisible = true) override;
  void SetEnabled(bool bEnable = true) override;
  void SetFocus() override;
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;
  void PaintText(HDC) override {}
  void DoEvent(TEventUI& event) override;

  // Called by the paint manager for the native window's notifications and colours.
  virtual void OnNativeCommand(WORD code);
  HBRUSH OnCtlColor(HDC hdc);

 protected:
  virtual HWND CreateNativeWindow(HWND parent) = 0;
  void DestroyNativeWindow();
  void UpdateNativeWindow();
  RECT NativeRect() const;
  static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR refData);
  // Returns true when the message was consumed.
  virtual bool OnNativeMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

  HWND m_hWnd = nullptr;
  HBRUSH m_hBkBrush = nullptr;
  DWORD m_dwBrushColor = 0;
  bool m_bReadOnly = false;
  int m_nMaxChar = 0;
  bool m_bSettingText = false;
};

class CEditUI : public CNativeEditHost {
 public:
  CEditUI();
  CDuiString GetClass() const override { return L"EditUI"; }
  void* GetInterface(const wchar_t* pstrName) override;
  void SetPasswordMode(bool bPassword);
  bool IsPasswordMode() const { return m_bPassword; }
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;
  SIZE EstimateSize(SIZE szAvailable) override;

 protected:
  HWND CreateNativeWindow(HWND parent) override;
  bool OnNativeMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) override;

 private:
  bool m_bPassword = false;
};

// A multi-line rich edit. Its text uses "\n" for line breaks, whatever the native control keeps.
// A right click raises "richedit_click" (for an edit menu) with the mouse in window coordinates.
class CRichEditUI : public CNativeEditHost {
 public:
  CRichEditUI();
  CDuiString GetClass() const override { return L"RichEditUI"; }
  void* GetInterface(const wchar_t* pstrName) override;

  CDuiString GetText() const override;
  void SetText(const CDuiString& text) override;
  // Appends at the end of the text and keeps the caret there.
  void AppendText(const CDuiString& text, bool bCanUndo = false);
  // Inserts at the caret, replacing the selection.
  void ReplaceSel(const CDuiString& text);
  void Copy();
  void Cut();
  void Paste();
  void SetTextColor(DWORD dwTextColor);
  void SetWantReturn(bool b) { m_bWantReturn = b; }
  void SetAttribute(const wchar_t* pstrName, const wchar_t* pstrValue) override;

 protected:
  HWND CreateNativeWindow(HWND parent) override;
  bool OnNativeMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) override;
  void ApplyTextColor();

 private:
  bool m_bMultiLine = true;
  bool m_bVScroll = true;
  bool m_bWantReturn = true;
};

}  // namespace DuiLib
