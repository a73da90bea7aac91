#pragma once
// Encodings at the boundary with Windows.
#include <string>

namespace veltrina::internal {

bool IsValidUtf8(const std::string& text);
// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string SanitizeUtf8(const std::string& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// Narrow paths that are not UTF-8 come in the code page of the "chs" locale, whatever the
// system's own ANSI code page is: that is how the client converts its folders.
inline constexpr unsigned kNarrowPathCodePage = 936;
// A narrow path as Windows wants it: UTF-8 when valid UTF-8, else code page 936.
std::wstring WidePath(const std::string& path);
// <Documents>\Veltrina as UTF-8 (the default data folder).
std::string DefaultDataFolder();

}  // namespace veltrina::internal
