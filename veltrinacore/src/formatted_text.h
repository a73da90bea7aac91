#pragma once
// The formatter's reader on its own: the syntax documented in veltrina/message_formatter.h, with
// the names of users and channels asked of the caller, so that it depends on nothing but std
// (and can be fuzzed natively).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "veltrina/message_formatter.h"

namespace veltrina::internal {

// Display names by uid and by channel id; an empty answer (or no function) shows the id.
struct FormattedTextNames {
  std::function<std::string(const std::string& uid)> user;
  std::function<std::string(const std::string& channel_id)> channel;
};

// Every item, in text order, handed to `visit` as soon as it is read. The item is one object reused
// from call to call (its strings keep their room), so a long message costs neither an allocation
// per item nor a list of them: kept, that list of many small blocks outgrows the processor's
// cache, and whoever walks it afterwards pays more per item the longer the message. Throws what
// `visit` throws, and on allocation failure.
using FormattedItemVisitor = std::function<void(const MessageCheckingResult&)>;
void VisitFormattedText(const std::string& text, const FormattedTextNames& names, const FormattedItemVisitor& visit);

// All the items at once; empty when memory ran out.
std::vector<std::unique_ptr<MessageCheckingResult>> ReadFormattedText(const std::string& text,
                                                                      const FormattedTextNames& names);
// The text with every item replaced by its display string.
std::string PlainTextOf(const std::string& text, const std::vector<std::unique_ptr<MessageCheckingResult>>& items);

}  // namespace veltrina::internal
