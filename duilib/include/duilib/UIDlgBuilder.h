#pragma once
// Builds a control tree from a skin: a file under the resource path, or XML text that starts
// with "<". The root element is Window (its attributes size, caption, sizebox, roundcorner,
// mininfo go to the paint manager) holding Font, Default and one root control.
#include "UIDefine.h"
#include "UIMarkup.h"

namespace DuiLib {

class CDialogBuilder {
 public:
  // Returns the root control, or null when the skin is missing or malformed (logged with the
  // file and line). Unknown controls and attributes are logged and skipped.
  CControlUI* Create(STRINGorID xml, const wchar_t* type = nullptr,
                     IDialogBuilderCallback* pCallback = nullptr, CPaintManagerUI* pManager = nullptr,
                     CControlUI* pParent = nullptr);
  const CDuiString& GetLastError() const { return m_error; }

  // A control of the toolkit by its skin element name ("Button"), or null.
  static CControlUI* CreateControlByClass(const CDuiString& name);

 private:
  CControlUI* Parse(const CMarkupNode* node, CControlUI* pParent);
  CDuiString m_source;
  CDuiString m_error;
  IDialogBuilderCallback* m_pCallback = nullptr;
  CPaintManagerUI* m_pManager = nullptr;
};

}  // namespace DuiLib
