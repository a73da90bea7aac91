#pragma once
// A small XML reader for skins: elements, attributes, character references, comments,
// processing instructions. No DTDs, no namespaces. Errors carry their line number.
#include <memory>
#include <string>
#include <vector>

#include "UIString.h"

namespace DuiLib {

struct CMarkupNode {
  CDuiString name;
  std::vector<std::pair<CDuiString, CDuiString>> attributes;
  std::vector<std::unique_ptr<CMarkupNode>> children;
  int line = 0;

  const CDuiString* GetAttribute(const wchar_t* attrName) const;
};

class CMarkup {
 public:
  // Parses UTF-8 (with or without BOM) or UTF-16LE (with BOM) text.
  bool LoadFromBytes(const std::string& bytes);
  bool Load(const CDuiString& text);
  bool LoadFromFile(const CDuiString& path);  // UIMarkupFile.cpp: the only part that needs Windows
  const CMarkupNode* GetRoot() const { return m_root.get(); }
  const CDuiString& GetLastError() const { return m_error; }
  int GetErrorLine() const { return m_errorLine; }

 private:
  std::unique_ptr<CMarkupNode> m_root;
  CDuiString m_error;
  int m_errorLine = 0;
};

}  // namespace DuiLib
