#pragma once
// Message content (the service's formatted text) to the toolkit's rich text, and clicked links
// back to what they stand for.
//
// Every item the core's formatter recognises becomes a link whose content is
// "x=|" kind "|" value "|" with kind "link", "user", "channel" or "command". Everything else
// the user wrote is escaped, so braces or tags typed in a message show exactly as typed and
// cannot forge links, colours or layout.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversation/emoji_split.h"
#include "veltrina/message_formatter.h"

namespace veltrinawnd {

using FormattedItems = std::vector<std::unique_ptr<veltrina::MessageCheckingResult>>;

// The items of a content handed one by one to a visitor, in text order (the core's formatter
// reading them, or a list read before).
using ItemVisitor = std::function<void(const veltrina::MessageCheckingResult&)>;
using ItemSource = std::function<void(const ItemVisitor&)>;
// The items of a list; the list must outlive the source.
ItemSource ItemsOf(const FormattedItems& items);

// Rich text of the content, given the items the core's formatter read from it; with plain_out,
// also the text with each item replaced by its display text (no markup, nothing escaped).
// Linear in the content. Needs no Windows call, so it is fuzzed natively.
std::wstring MarkupOfReadItems(const std::string& content, const ItemSource& read, std::wstring* plain_out = nullptr);
inline std::wstring MarkupOfItems(const std::string& content, const FormattedItems& items,
                                  std::wstring* plain_out = nullptr) {
  return MarkupOfReadItems(content, ItemsOf(items), plain_out);
}

// The same for the items the core's formatter finds now, each converted as soon as it is read:
// a long message then needs no list of thousands of small items, which outgrows the processor's
// cache and made the conversion cost more per item the longer the message.
inline std::wstring ConvertMessageMarkup(const std::string& content, std::wstring* plain_out = nullptr) {
  return MarkupOfReadItems(
      content,
      [&content](const ItemVisitor& visit) {
        veltrina::MessageFormatter::SharedFormatter()->VisitFormattedMessage(content, visit);
      },
      plain_out);
}

// The rich text without the emoji codes of its plain text, and those codes (for the strip of
// pictures before it). Codes are taken only from the text between items: a link's address or
// title ("https://en.wikipedia.org/wiki/Category:b:Archive") and a mention stay whole.
EmojiSplit MarkupAndEmojiOfReadItems(const std::string& content, const ItemSource& read, size_t max_codes = 200);
inline EmojiSplit MarkupAndEmojiOfItems(const std::string& content, const FormattedItems& items,
                                        size_t max_codes = 200) {
  return MarkupAndEmojiOfReadItems(content, ItemsOf(items), max_codes);
}
inline EmojiSplit ConvertMessageMarkupAndEmoji(const std::string& content) {
  return MarkupAndEmojiOfReadItems(content, [&content](const ItemVisitor& visit) {
    veltrina::MessageFormatter::SharedFormatter()->VisitFormattedMessage(content, visit);
  });
}

// "{a x=|link|" url "|}" text "{/a}" with url and text escaped.
std::wstring BuildLinkMarkup(const std::string& url, const std::string& text);

// Link kinds of a link's content: 0 link, 1 user, 2 channel, 3 command, 6 anything else.
enum LinkKind { kLinkWeb = 0, kLinkUser = 1, kLinkChannel = 2, kLinkCommand = 3, kLinkOther = 6 };
int DecodeLink(const std::wstring& link_text, std::wstring* value_out = nullptr);

// What a click on a link does (link_action.cpp): a web link (absolute http, https or mailto)
// opens in the browser; everything else does nothing (anything that is not such an address is
// logged and ignored). Returns the decoded kind.
int PerformLinkAction(const std::wstring& link_text);

}  // namespace veltrinawnd
