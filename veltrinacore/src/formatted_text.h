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

std::vector<std::unique_ptr<MessageCheckingResult>> ReadFormattedText(const std::string& text,
                                                                      const FormattedTextNames& names);
// The text with every item replaced by its display string.
std::string PlainTextOf(const std::string& text, const std::vector<std::unique_ptr<MessageCheckingResult>>& items);

}  // namespace veltrina::internal
