#pragma once
// Message content (the service's formatted text) to the toolkit's rich text, and clicked links
// back to what they stand for.
//
// Every item the core's formatter recognises becomes a link whose content is
// "x=|" kind "|" value "|" with kind "link", "user", "channel" or "command". Everything else
// the user wrote is escaped, so braces or tags typed in a message show exactly as typed and
// cannot forge links, colours or layout.
#include <string>

namespace veltrinawnd {

// Rich text of the content; with plain_out, also the text with each item replaced by its
// display text (no markup, nothing escaped). Linear in the content.
std::wstring ConvertMessageMarkup(const std::string& content, std::wstring* plain_out = nullptr);

// "{a x=|link|" url "|}" text "{/a}" with url and text escaped.
std::wstring BuildLinkMarkup(const std::string& url, const std::string& text);

// Link kinds of a link's content: 0 link, 1 user, 2 channel, 3 command, 6 anything else.
enum LinkKind { kLinkWeb = 0, kLinkUser = 1, kLinkChannel = 2, kLinkCommand = 3, kLinkOther = 6 };
int DecodeLink(const std::wstring& link_text, std::wstring* value_out = nullptr);

// What a click on a link does: a web link (absolute http, https or mailto) opens in the browser;
// everything else does nothing (anything that is not such an address is logged and ignored).
// Returns the decoded kind.
int PerformLinkAction(const std::wstring& link_text);

}  // namespace veltrinawnd
