#include "text_util.h"

#include <windows.h>
#include <shlobj.h>

#include "veltrina/log.h"

namespace veltrina::internal {

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  if (!IsValidUtf8(path) || path.find('\0') != std::string::npos) {
    // Logged as UTF-8 with the bad bytes marked, so that the line itself stays readable.
    log("Path refused, it is not UTF-8: %s", SanitizeUtf8(std::string(path.c_str())).c_str());
    return {};
  }
  return WideFromUtf8(path);
}

std::string DefaultDataFolder() {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, buffer))) return "Veltrina";
  return Utf8FromWide(buffer) + "\\Veltrina";
}

}  // namespace veltrina::internal
