// The toolkit's skin XML reader on raw file bytes (UTF-8, UTF-8 with BOM, UTF-16LE with BOM).
#include <string>

#include "duilib/UIMarkup.h"
#include "fuzz_check.h"

namespace {
size_t Count(const DuiLib::CMarkupNode& node) {
  size_t n = 1;
  for (const auto& child : node.children) n += Count(*child);
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  DuiLib::CMarkup markup;
  bool ok = markup.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(ok == (markup.GetRoot() != nullptr) && ok == markup.GetLastError().empty());
  if (ok) {
    FUZZ_CHECK(Count(*markup.GetRoot()) <= size);
    markup.GetRoot()->GetAttribute(L"name");
  } else {
    FUZZ_CHECK(markup.GetErrorLine() >= 1);
  }
  return 0;
}
