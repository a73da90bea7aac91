#pragma once
// A smoke step that cannot go on throws SmokeFailure: GoogleTest reports its text as the test's
// failure, and the guards on the stack (the client process above all) still clean up.
#include <stdexcept>
#include <string>

namespace smoke {

struct SmokeFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& what);

// Window texts and titles are UTF-16; failure messages are UTF-8.
std::string Utf8(const std::wstring& text);

}  // namespace smoke
