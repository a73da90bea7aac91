#pragma once
// printf-style diagnostic log of the core library; the client's only log.
// Lines are English and carry no trailing newline; one is added when written.
namespace veltrina {
void log(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
}  // namespace veltrina
