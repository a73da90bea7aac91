#include "duilib/UIDlgBuilder.h"

#include "duilib/UIContainer.h"
#include "duilib/UIEdit.h"
#include "duilib/UILabel.h"
#include "duilib/UIList.h"
#include "duilib/UIManager.h"

namespace DuiLib {

CControlUI* CDialogBuilder::CreateControlByClass(const CDuiString& n) {
  if (n == L"Control") return new CControlUI;
  if (n == L"Container") return new CContainerUI;
  if (n == L"VerticalLayout") return new CVerticalLayoutUI;
  if (n == L"HorizontalLayout") return new CHorizontalLayoutUI;
  if (n == L"Label") return new CLabelUI;
  if (n == L"Text") return new CTextUI;
  if (n == L"Button") return new CButtonUI;
  if (n == L"Edit") return new CEditUI;
  if (n == L"RichEdit") return new CRichEditUI;
  if (n == L"List") return new CListUI;
  if (n == L"ListContainerElement") return new CListContainerElementUI;
  return nullptr;
}

CControlUI* CDialogBuilder::Create(STRINGorID xml, const wchar_t*, IDialogBuilderCallback* pCallback,
                                   CPaintManagerUI* pManager, CControlUI* pParent) {
  m_pCallback = pCallback;
  m_pManager = pManager;
  m_error.clear();
  CMarkup markup;
  CDuiString source = xml ? xml : L"";
  bool ok;
  if (!source.empty() && source[0] == L'<') {
    m_source = L"<inline skin>";
    ok = markup.Load(source);
  } else {
    m_source = CPaintManagerUI::GetResourcePath() + source;
    ok = markup.LoadFromFile(m_source);
  }
  if (!ok) {
    wchar_t line[32];
    swprintf(line, 32, L"%d", markup.GetErrorLine());
    m_error = L"skin " + m_source + L" line " + line + L": " + markup.GetLastError();
    Log(L"DuiLib: %ls", m_error.c_str());
    return nullptr;
  }
  const CMarkupNode* root = markup.GetRoot();
  if (root->name == L"Window") {
    if (pManager) {
      for (const auto& [name, value] : root->attributes) {
        if (name == L"size") {
          SIZE sz = ParseSize(value.c_str());
          pManager->SetInitSize(sz.cx, sz.cy);
        } else if (name == L"caption") {
          pManager->SetCaptionRect(ParseRect(value.c_str()));
        } else if (name == L"sizebox") {
          pManager->SetSizeBox(ParseRect(value.c_str()));
        } else if (name == L"roundcorner") {
          pManager->SetRoundCorner(ParseSize(value.c_str()));
        } else if (name == L"mininfo") {
          SIZE sz = ParseSize(value.c_str());
          pManager->SetMinInfo(sz.cx, sz.cy);
        } else if (name == L"defaultfontcolor") {
          pManager->SetDefaultFontColor(ParseColor(value.c_str()));
        } else if (name == L"linkfontcolor") {
          pManager->SetDefaultLinkFontColor(ParseColor(value.c_str()));
        } else if (name == L"linkhoverfontcolor") {
          pManager->SetDefaultLinkHoverFontColor(ParseColor(value.c_str()));
        } else if (name == L"selectedcolor") {
          pManager->SetDefaultSelectedBkColor(ParseColor(value.c_str()));
        } else if (name != L"showdirty" && name != L"maxinfo" && name != L"bktrans" && name != L"alpha") {
          Log(L"DuiLib: %ls line %d: unknown Window attribute '%ls' ignored", m_source.c_str(), root->line, name.c_str());
        }
      }
    }
    CControlUI* result = nullptr;
    for (const auto& child : root->children) {
      const CDuiString& n = child->name;
      if (n == L"Font") {
        if (!pManager) continue;
        const CDuiString* face = child->GetAttribute(L"name");
        const CDuiString* size = child->GetAttribute(L"size");
        const CDuiString* id = child->GetAttribute(L"id");
        auto flag = [&](const wchar_t* a) {
          const CDuiString* v = child->GetAttribute(a);
          return v && ParseBool(v->c_str());
        };
        CDuiString fontName = face ? *face : L"微软雅黑";
        int fontSize = size ? _wtoi(size->c_str()) : 12;
        if (fontSize <= 0 || fontSize > 200) fontSize = 12;
        if (flag(L"default")) {
          pManager->SetDefaultFont(fontName, fontSize, flag(L"bold"), flag(L"underline"), flag(L"italic"));
        } else {
          pManager->AddFont(id ? _wtoi(id->c_str()) : -1, fontName, fontSize, flag(L"bold"),
                            flag(L"underline"), flag(L"italic"));
        }
      } else if (n == L"Default") {
        const CDuiString* name = child->GetAttribute(L"name");
        const CDuiString* value = child->GetAttribute(L"value");
        if (pManager && name && value) pManager->AddDefaultAttributeList(*name, *value);
      } else if (n == L"Image" || n == L"Include") {
        // Images load on first use; includes are not used by our skins.
      } else if (!result) {
        result = Parse(child.get(), pParent);
        if (!result) return nullptr;
      } else {
        Log(L"DuiLib: %ls line %d: a second root control '%ls' ignored", m_source.c_str(), child->line, n.c_str());
      }
    }
    if (!result) {
      m_error = L"skin " + m_source + L": no root control";
      Log(L"DuiLib: %ls", m_error.c_str());
    }
    return result;
  }
  return Parse(root, pParent);
}

CControlUI* CDialogBuilder::Parse(const CMarkupNode* node, CControlUI* pParent) {
  CControlUI* control = CreateControlByClass(node->name);
  if (!control && m_pCallback) control = m_pCallback->CreateControl(node->name.c_str());
  if (!control) {
    Log(L"DuiLib: %ls line %d: unknown control '%ls' skipped", m_source.c_str(), node->line, node->name.c_str());
    return nullptr;
  }
  std::unique_ptr<CControlUI> owned(control);
  if (m_pManager) {
    if (const CDuiString* defaults = m_pManager->GetDefaultAttributeList(node->name))
      control->SetAttributeList(defaults->c_str());
  }
  for (const auto& [name, value] : node->attributes) control->SetAttribute(name.c_str(), value.c_str());

  if (!node->children.empty()) {
    auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container"));
    if (!container) {
      Log(L"DuiLib: %ls line %d: '%ls' cannot hold controls; its children are skipped", m_source.c_str(),
          node->line, node->name.c_str());
    } else {
      for (const auto& child : node->children) {
        if (CControlUI* c = Parse(child.get(), container)) container->Add(c);
      }
    }
  }
  (void)pParent;
  return owned.release();
}

}  // namespace DuiLib
