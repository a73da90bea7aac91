#include "signin/team_address.h"

#include <string_view>
#include <vector>

namespace veltrinawnd {

namespace {

bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// A team as the server forms take it: 1 to 63 letters, digits, '-' and '_'.
bool IsTeam(std::string_view team) {
  if (team.empty() || team.size() > 63) return false;
  for (char c : team)
    if (!IsAlnum(c) && c != '-' && c != '_') return false;
  return true;
}

// DNS labels of 1 to 63 letters, digits and '-' (not first or last), at most 253 in all; an IPv4
// address is such a name too.
bool IsHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  size_t start = 0;
  for (;;) {
    const size_t dot = host.find('.', start);
    const std::string_view label =
        host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label)
      if (!IsAlnum(c) && c != '-') return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

// Unreserved characters, and not "." or "..": a segment that means what it spells.
bool IsSegment(std::string_view segment) {
  if (segment.empty() || segment == "." || segment == "..") return false;
  for (char c : segment)
    if (!IsAlnum(c) && c != '-' && c != '_' && c != '.' && c != '~') return false;
  return true;
}

// "host[:port]" into "host[:port]" as it goes into the server's address: the host in lower case,
// the port without leading zeros and left out when it is the scheme's own.
bool ReadAuthority(std::string_view authority, bool secure, std::string* out) {
  const size_t colon = authority.find(':');
  const std::string_view host = authority.substr(0, colon);
  if (!IsHost(host)) return false;
  *out = Lower(host);
  if (colon == std::string_view::npos) return true;
  const std::string_view port = authority.substr(colon + 1);
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  if (value != (secure ? 443u : 80u)) *out += ":" + std::to_string(value);
  return true;
}

}  // namespace

bool ParseTeamAddress(const std::string& text, TeamAddress* address) {
  const std::string_view view = text;
  const size_t scheme_end = view.find("://");
  if (scheme_end == std::string_view::npos && view.find('@') == std::string_view::npos) {
    *address = TeamAddress{text, std::string()};  // a bare team: the service's answer decides
    return true;
  }
  TeamAddress read;
  std::string authority;
  if (scheme_end == std::string_view::npos) {
    const size_t at = view.find('@');
    if (view.find('@', at + 1) != std::string_view::npos) return false;
    read.team = text.substr(0, at);
    if (!IsTeam(read.team) || !ReadAuthority(view.substr(at + 1), false, &authority)) return false;
    read.server = "http://" + authority;
  } else {
    const std::string scheme = Lower(view.substr(0, scheme_end));
    if (scheme != "http" && scheme != "https") return false;
    const bool secure = scheme == "https";
    std::string_view rest = view.substr(scheme_end + 3);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return false;  // no team named
    if (!ReadAuthority(rest.substr(0, slash), secure, &authority)) return false;
    rest.remove_prefix(slash + 1);
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    std::vector<std::string_view> segments;
    for (size_t start = 0;;) {
      const size_t next = rest.find('/', start);
      segments.push_back(rest.substr(start, next == std::string_view::npos ? std::string_view::npos : next - start));
      if (next == std::string_view::npos) break;
      start = next + 1;
    }
    std::string prefix;
    for (size_t i = 0; i + 1 < segments.size(); ++i) {
      if (!IsSegment(segments[i])) return false;
      prefix += "/" + std::string(segments[i]);
    }
    read.team = std::string(segments.back());
    if (!IsTeam(read.team)) return false;
    read.server = scheme + "://" + authority + prefix;
  }
  *address = std::move(read);
  return true;
}

std::string TeamFieldText(const veltrina::Team& team) {
  const std::string& server = team.server();
  if (server.empty()) return team.team_subdomain();
  constexpr std::string_view kPlain = "http://";
  const bool plain = Lower(std::string_view(server).substr(0, kPlain.size())) == kPlain;
  if (plain && server.find('/', kPlain.size()) == std::string::npos)
    return team.team_subdomain() + "@" + server.substr(kPlain.size());
  return server + "/" + team.team_subdomain();
}

}  // namespace veltrinawnd
