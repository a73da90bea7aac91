#include "veltrina/server_key.h"

#include <cstdint>
#include <cstdio>

namespace veltrina {

std::string ServerKey(const std::string& server) {
  std::string address = server;
  while (!address.empty() && address.back() == '/') address.pop_back();
  if (address.empty()) return std::string();
  for (char& c : address)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : address) hash = (hash ^ c) * 16777619u;

  const size_t scheme = address.find("://");
  const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t end = address.find('/', start);
  std::string readable;
  for (size_t i = start; i < address.size() && i < end && readable.size() < 64; ++i) {
    const char c = address[i];
    readable += ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-') ? c : '_';
  }
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(hash));
  return readable + "-" + digits;
}

}  // namespace veltrina
