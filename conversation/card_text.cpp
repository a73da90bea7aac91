#include "conversation/card_text.h"

#include "app/constants.h"
#include "app/storage.h"
#include "app/team_site.h"
#include "conversation/markup.h"
#include "duilib/UIMarkupText.h"

namespace veltrinawnd::card_text {
namespace {

std::wstring Escaped(const std::string& utf8) { return DuiLib::EscapeMarkup(Utf8ToUtf16(utf8)); }

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size()) return false;
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A link to one of the card's own addresses, with text already decoded.
std::wstring OwnLink(const std::string& address, const std::wstring& text) {
  return L"{a x=|link|" + Escaped(address) + L"|}" + DuiLib::EscapeMarkup(text) + L"{/a}";
}

}  // namespace

std::string EncodePathPart(const std::string& value, bool keep_slash) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                c == '_' || c == '~' || (keep_slash && c == '/');
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

bool IsLinkAddress(const std::string& address) {
  size_t scheme = StartsWithNoCase(address, "https://") ? 8
                  : StartsWithNoCase(address, "http://") ? 7
                  : StartsWithNoCase(address, "mailto:") ? 7
                                                         : 0;
  if (scheme == 0 || address.size() == scheme) return false;
  for (unsigned char c : address)
    if (c <= 0x20 || c == 0x7F) return false;
  return true;
}

std::wstring LinkOrText(const std::string& address, const std::string& text) {
  if (!IsLinkAddress(address)) return Escaped(text);
  std::string whole;
  for (char c : address) whole += c == '|' ? std::string("%7C") : std::string(1, c);
  return BuildLinkMarkup(whole, text);
}

std::string FileAddress(const std::string& path, const std::string& extension) {
  return kFileBoxHost + "/" + EncodePathPart(path, true) + "." + EncodePathPart(extension, false);
}

std::wstring ShareLinkLine(const std::string& public_url) { return LinkOrText(public_url, public_url); }

std::wstring CreatedTitle(const std::string& content, const Converter& convert) {
  std::wstring plain;
  convert(content, &plain);
  size_t colon = plain.find(L':');
  return colon == std::wstring::npos ? plain : plain.substr(colon + 1);
}

std::wstring CreatedLabel(const std::string& content, const std::string& file_address, const Converter& convert) {
  return L"创建了: " + OwnLink(file_address, CreatedTitle(content, convert));
}

std::wstring CommentText(const std::string& title, const std::string& comment, const std::string& file_address,
                         const Converter& convert) {
  // The title is shown as its plain text: links do not nest, so one inside the file's link
  // would take the click from it.
  std::wstring shown_title;
  convert(title, &shown_title);
  return L"评论了: " + OwnLink(file_address, shown_title) + L"\n" + convert(comment, nullptr);
}

std::string MailAddress(const std::string& subdomain, const std::string& entity_id) {
  return TeamSiteAddress(subdomain, "/files/" + EncodePathPart(entity_id, false));
}

RichText MailBody(const std::string& subdomain, const std::string& entity_id, const std::string& subject,
                  const std::string& from) {
  const std::string address = MailAddress(subdomain, entity_id);
  const std::string shown = subject.empty() && !address.empty() ? address : subject;  // a link is never empty
  RichText out;
  out.rich = L"标题：" + (address.empty() ? Escaped(shown) : OwnLink(address, Utf8ToUtf16(shown))) + L"\n来自：" + Escaped(from);
  out.plain = L"标题：" + Utf8ToUtf16(shown) + L"\n来自：" + Utf8ToUtf16(from);
  return out;
}

}  // namespace veltrinawnd::card_text
