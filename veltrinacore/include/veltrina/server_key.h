#pragma once
// What stands for a veltrina-server in the names of files kept per team and user (disk caches,
// image folders, stored logins): two servers may both have a team "acme" with a user "alice", and
// must never share what is kept for them.
#include <string>

namespace veltrina {

// Empty for the embedded demo (an empty server), so that its files keep the names they always had.
// Otherwise the server's host and port, lower-case, with every character but [a-z0-9.-] as '_',
// then '-' and eight hex digits of a hash of the whole address (scheme, host, port, prefix,
// ignoring case and trailing slashes), e.g. "127.0.0.1_8080-5e0a11c2": a name that needs no
// escaping in a path, with neither separator nor ':'.
std::string ServerKey(const std::string& server);

}  // namespace veltrina
