#pragma once
// UTF-8 checks that need no operating system: the core and the team engine share them.
#include <string>

namespace veltrina::internal {

bool IsValidUtf8(const std::string& text);
// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string SanitizeUtf8(const std::string& text);

}  // namespace veltrina::internal
