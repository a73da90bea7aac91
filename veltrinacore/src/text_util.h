#pragma once
// Encodings at the boundary with Windows.
#include <string>

#include "utf8.h"

namespace veltrina::internal {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// A narrow path (always UTF-8) as Windows wants it. A path that is not valid UTF-8, or that holds
// a zero, is refused with a log line: empty, so that every file call on it fails. Its bytes are
// never read in another code page: the same bytes may be valid in both and name two folders.
std::wstring WidePath(const std::string& path);
// <Documents>\Veltrina as UTF-8 (the default data folder).
std::string DefaultDataFolder();

}  // namespace veltrina::internal
