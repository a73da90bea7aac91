// The cards' text from hostile fields: the only links are the ones a card builds itself (to the
// file, to the mail's page on a team site that is a real host label, to a share's or an
// attachment's own address) and those its formatted content makes on its own; every field shows
// exactly as given; emoji never leave a link.
//
// Input: the fields separated by 0x1F, in the order of Field.
#include <string>
#include <vector>

#include "app/constants.h"
#include "app/storage.h"
#include "app/team_site.h"
#include "conversation/card_text.h"
#include "conversation/markup.h"
#include "duilib/UIMarkupText.h"
#include "formatted_text.h"
#include "fuzz_check.h"

namespace {

using namespace veltrinawnd;
enum Field { kSubdomain, kEntityId, kSubject, kFrom, kTitle, kComment, kContent, kPath, kExtension, kUrl, kLinkText, kCount };

FormattedItems Items(const std::string& content) {
  static const veltrina::internal::FormattedTextNames names{[](const std::string& uid) { return "<@" + uid + ">"; },
                                                            [](const std::string& id) { return "[http://" + id + "]"; }};
  return veltrina::internal::ReadFormattedText(content, names);
}

const card_text::Converter kConvert = [](const std::string& content, std::wstring* plain) {
  return MarkupOfItems(content, Items(content), plain);
};

// The decoded value of every link, in order; each must be a kind the view knows.
std::vector<std::wstring> Links(const std::wstring& rich) {
  std::vector<std::wstring> out;
  for (const DuiLib::MarkupToken& token : DuiLib::ParseMarkup(rich)) {
    if (token.kind != DuiLib::MarkupToken::LinkOpen) continue;
    std::wstring value;
    DecodeLink(token.text, &value);
    out.push_back(value);
  }
  return out;
}

bool AddressChars(const std::string& s) {
  for (unsigned char c : s)
    if (c <= 0x20 || c >= 0x7F || c == '|' || c == '{' || c == '}') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::vector<std::string> f(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0x1F && f.size() < kCount) f.emplace_back();
    else f.back() += static_cast<char>(data[i]);
  }
  f.resize(kCount);
  const bool has_cr = std::string(reinterpret_cast<const char*>(data), size).find('\r') != std::string::npos;

  // Mail: one link, to "/files/" on the team's own site, only for a real host label.
  card_text::RichText mail = card_text::MailBody(f[kSubdomain], f[kEntityId], f[kSubject], f[kFrom]);
  std::vector<std::wstring> links = Links(mail.rich);
  const std::string site = "https://" + f[kSubdomain] + "." + kServiceDomain + "/files/";
  if (!IsHostLabel(f[kSubdomain])) {
    FUZZ_CHECK(links.empty());
  } else {
    FUZZ_CHECK(links.size() == 1);
    const std::string target = Utf16ToUtf8(links[0]);
    FUZZ_CHECK(target.compare(0, site.size(), site) == 0 && AddressChars(target));
    FUZZ_CHECK(target.find('/', site.size()) == std::string::npos && target.find('?') == std::string::npos);
  }
  if (!has_cr) FUZZ_CHECK(DuiLib::MarkupToPlainText(mail.rich) == mail.plain);

  // Image and file cards: one link, to the file box.
  const std::string file = card_text::FileAddress(f[kPath], f[kExtension]);
  FUZZ_CHECK(file.compare(0, kFileBoxHost.size() + 1, kFileBoxHost + "/") == 0 && AddressChars(file));
  const std::wstring label = card_text::CreatedLabel(f[kContent], file, kConvert);
  links = Links(label);
  FUZZ_CHECK(links.size() == 1 && links[0] == Utf8ToUtf16(file));
  if (!has_cr) FUZZ_CHECK(DuiLib::MarkupToPlainText(label) == L"创建了: " + card_text::CreatedTitle(f[kContent], kConvert));

  // Comment card: the file's link, then only the comment's own items.
  const std::wstring comment = card_text::CommentText(f[kTitle], f[kComment], file, kConvert);
  links = Links(comment);
  FUZZ_CHECK(links.size() == 1 + Items(f[kComment]).size() && links[0] == Utf8ToUtf16(file));

  // Share and attachment lines: at most a link to the address given, which must be one.
  for (const std::wstring& line : {card_text::ShareLinkLine(f[kUrl]), card_text::LinkOrText(f[kUrl], f[kLinkText])}) {
    links = Links(line);
    FUZZ_CHECK(links.size() == (card_text::IsLinkAddress(f[kUrl]) ? 1u : 0u));
  }

  // Emoji come out of the plain stretches only: the links stay as they were, whole.
  const FormattedItems items = Items(f[kComment]);
  EmojiSplit split = MarkupAndEmojiOfItems(f[kComment], items);
  FUZZ_CHECK(Links(split.rest) == Links(MarkupOfItems(f[kComment], items)));
  return 0;
}
