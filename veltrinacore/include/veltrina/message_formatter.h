#pragma once
// Reads the items of a message's formatted text.
//
// Syntax (bytes; only ASCII delimiters matter, so any UTF-8 -- or invalid bytes -- pass through):
//   link     "[" URL "]"            display: URL
//            "[" URL "|" title "]"  display: title
//            URL starts with "http://", "https://", "ftp://" or "mailto:" and holds no blank,
//            "[", "]", "|", "<" or ">"; the title runs to the first "]" and holds no line break.
//            A bare "http://" or "https://" address (at the start or after a blank or "(")
//            is a link too: it ends at a blank, "<", "[" or "]"; trailing . , ; : ! ? ) " '
//            are not part of it. display: the address.
//   user     "<@" UID ">"           display: "@" + the cached user's display name (or "@" UID)
//            "<@" UID "|" name ">"  display: "@" + name
//   channel  "<#" ID ">"            display: "#" + the cached channel's name (or "#" ID)
//            "<#" ID "|" name ">"   display: "#" + name
//   command  "</" NAME ">"          display: "/" NAME
//            "/" NAME at the very start of the text, followed by a blank or the end (what a
//            user types into the composer).  display: "/" NAME
//   UID, ID and NAME are letters, digits, "_", "-" and "." (NAME: letters, digits, "_", "-").
//   Labels (name) run to the first ">" and hold no line break.
// Anything else is plain text: an unclosed "[" or "<", a bracket that holds no valid item, and
// brackets inside an item's title stay as they are. Items never overlap; they are reported left
// to right. Reading is linear in the length of the text and never throws.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltrina {

struct MessageCheckingResult {
  enum Type : int { kLink = 0, kUser = 1, kChannel = 2, kCommand = 3 };

  int type = kLink;           // 0 link, 1 user, 2 channel, 3 command
  std::string formatted_str;  // the exact bytes of the text the item occupies
  size_t offset = 0;          // where formatted_str starts in the text
  std::string display;        // what to show
  std::string value;          // the URL, uid, channel id or command name

  const std::string& ExtractDisplayString() const { return display; }
  std::string GetLink() const { return type == kLink ? value : std::string(); }
  std::string GetUid() const { return type == kUser ? value : std::string(); }
  std::string GetChannelId() const { return type == kChannel ? value : std::string(); }
};

class MessageFormatter {
 public:
  static MessageFormatter* SharedFormatter();

  std::vector<std::unique_ptr<MessageCheckingResult>> ReadFormattedMessage(const std::string& text);
  // The same items handed over one by one as they are read, in one reused object: what a single
  // pass over a long message wants (no list of items to allocate and walk again).
  void VisitFormattedMessage(const std::string& text, const std::function<void(const MessageCheckingResult&)>& visit);
  // The text with every item replaced by its display string.
  std::string PlainText(const std::string& text);

 private:
  MessageFormatter() = default;
};

}  // namespace veltrina
