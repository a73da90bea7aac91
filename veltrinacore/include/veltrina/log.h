#pragma once
// printf-style diagnostic log of the core library; the client's only log.
// Lines are English and carry no trailing newline; one is added when written.
#include <functional>
#include <string>

namespace veltrina {
void log(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Every line (without newline) is also given to `observer`, on the logging thread: for a host
// that shows or collects the log.
// An empty function removes it.
void set_log_observer(std::function<void(const std::string& line)> observer);
}  // namespace veltrina
