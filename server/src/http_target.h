#pragma once
// Splits and decodes an origin-form request target ("/a%20b?x=1&y=2"). Kept apart from the socket
// code so the decoding rules are tested on their own.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace veltrina::server {

struct HttpTarget {
  std::string raw_path;  // as sent, without the query: what the access log shows
  std::string path;      // percent-decoded
  std::map<std::string, std::string> query;  // percent-decoded, '+' as a space; the last repeat wins
};

// Percent-decodes `in`; nullopt for a broken escape or a NUL (either would let one name mean two
// things). `plus_is_space` applies the form convention used in query strings.
std::optional<std::string> PercentDecode(std::string_view in, bool plus_is_space);

// nullopt when the target is not origin-form ("/..."), or when any part does not decode.
std::optional<HttpTarget> ParseHttpTarget(std::string_view target);

}  // namespace veltrina::server
