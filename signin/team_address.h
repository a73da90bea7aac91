#pragma once
// What the team window's field names: a bare team (as ever, sent as typed), or a team on a
// veltrina-server, as "acme@host[:port]" (plain HTTP) or "http(s)://host[:port][/prefix]/acme".
// The server forms are read strictly: a host of DNS labels or an IPv4 address, a port of 1 to
// 65535, path segments and the team of unreserved characters only; no user, query, fragment,
// escape or space. Whatever passes can go into a URL, a file name or a text unescaped.
#include <string>

#include "veltrina/team.h"

namespace veltrinawnd {

struct TeamAddress {
  std::string team;    // the subdomain to look up
  std::string server;  // "http(s)://host[:port][/prefix]", lower-case host, no default port; empty: none named
};

// False when the text is meant as a server form (holds "@" or "://") but is not a valid one.
bool ParseTeamAddress(const std::string& text, TeamAddress* address);

// What the field shows for a team: its subdomain, with its server in the shortest form that
// ParseTeamAddress reads back to the same team and server.
std::string TeamFieldText(const veltrina::Team& team);

}  // namespace veltrinawnd
