#pragma once
// The text of the cards, composed without any Windows call (so that it is fuzzed natively).
//
// Names, subjects, senders and addresses come from outside the team. None of them is ever
// spliced into the formatter's syntax: the formatter has no escape, so a subject such as
// "Invoice] [https://evil.example/pay|View invoice" would close the card's link and open one of
// its own. Such text goes straight into the toolkit's markup, escaped there; the only links are
// the ones a card builds itself, plus those of content that its writer formatted (a comment,
// an attachment's text), converted on its own.
#include <functional>
#include <string>

namespace veltrinawnd::card_text {

// Formatted content to rich text, with its plain text when asked: ConvertMessageMarkup in the
// client, the core's reader alone in the fuzz target.
using Converter = std::function<std::wstring(const std::string& content, std::wstring* plain)>;

struct RichText {
  std::wstring rich;   // shown
  std::wstring plain;  // measured: what the rich text shows
};

// Every byte but letters, digits, "-", ".", "_", "~" (and "/" with keep_slash) as "%XX": a
// value from the service stays one piece of an address's path.
std::string EncodePathPart(const std::string& value, bool keep_slash);

// Whether a link may point at the address: http, https or mailto, nothing after the scheme that
// is blank or a control character.
bool IsLinkAddress(const std::string& address);
// A link to the address with the text ("|" in the address as "%7C", so that the link decodes
// to all of it); the escaped text alone when the address is no link address.
std::wstring LinkOrText(const std::string& address, const std::string& text);

// The file box address of an entity's file.
std::string FileAddress(const std::string& path, const std::string& extension);

// The entity share card's link line: a link to the public address, or the address as text.
std::wstring ShareLinkLine(const std::string& public_url);

// The plain text of the converted content after its first ":" (all of it without one): the
// name an image or file card gives its file.
std::wstring CreatedTitle(const std::string& content, const Converter& convert);
// "创建了: " and a link to the file whose text is the created title.
std::wstring CreatedLabel(const std::string& content, const std::string& file_address, const Converter& convert);

// "评论了: ", a link to the file with its title as text, a line feed and the converted comment.
std::wstring CommentText(const std::string& title, const std::string& comment, const std::string& file_address,
                         const Converter& convert);

// "标题：" the subject as a link to the mail's page on the team site (the subject as text when
// the subdomain is no host label), a line feed, "来自：" and the sender, as text.
RichText MailBody(const std::string& subdomain, const std::string& entity_id, const std::string& subject,
                  const std::string& from);
// Where the mail card's link points; empty when the subdomain is no host label.
std::string MailAddress(const std::string& subdomain, const std::string& entity_id);

}  // namespace veltrinawnd::card_text
