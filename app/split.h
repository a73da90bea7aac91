#pragma once
// Splitting text on a separator; pure, so the parsers that use it also build natively.
#include <string>
#include <vector>

namespace veltrinawnd {

// The non-empty pieces of text between occurrences of the whole separator, in order.
std::vector<std::string> Split(const std::string& text, const std::string& separator);

}  // namespace veltrinawnd
