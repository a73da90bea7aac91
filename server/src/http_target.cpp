#include "http_target.h"

namespace veltrina::server {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view in, bool plus_is_space) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '%') {
      if (i + 2 >= in.size()) return std::nullopt;
      const int hi = HexValue(in[i + 1]);
      const int lo = HexValue(in[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (c == '+' && plus_is_space) {
      c = ' ';
    }
    if (c == '\0') return std::nullopt;
    out.push_back(c);
  }
  return out;
}

std::optional<HttpTarget> ParseHttpTarget(std::string_view target) {
  if (target.empty() || target.front() != '/') return std::nullopt;
  HttpTarget result;
  const size_t question = target.find('?');
  result.raw_path = std::string(target.substr(0, question));
  auto path = PercentDecode(result.raw_path, false);
  if (!path) return std::nullopt;
  result.path = std::move(*path);
  if (question == std::string_view::npos) return result;

  std::string_view rest = target.substr(question + 1);
  const size_t hash = rest.find('#');  // a fragment is never meant for the server
  rest = rest.substr(0, hash);
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    auto name = PercentDecode(pair.substr(0, eq), true);
    auto value = PercentDecode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1), true);
    if (!name || !value) return std::nullopt;
    result.query[std::move(*name)] = std::move(*value);
  }
  return result;
}

}  // namespace veltrina::server
