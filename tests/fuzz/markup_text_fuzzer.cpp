// The toolkit's text markup: any input parses, and escaped text shows exactly as typed.
#include <string>

#include "duilib/UIMarkupText.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace DuiLib;
  CDuiString text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
  int links = 0;
  for (const MarkupToken& token : ParseMarkup(text)) {
    if (token.kind == MarkupToken::LinkOpen) FUZZ_CHECK(++links == 1);
    if (token.kind == MarkupToken::LinkClose) FUZZ_CHECK(--links == 0);
  }
  FUZZ_CHECK(links == 0);
  CDuiString typed;
  for (wchar_t c : text)
    if (c != L'\r') typed += c;
  FUZZ_CHECK(MarkupToPlainText(EscapeMarkup(text)) == typed);
  return 0;
}
