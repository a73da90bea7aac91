#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "duilib/UIDefine.h"

namespace DuiLib {
namespace {
LogHandler& Handler() {
  static LogHandler handler;
  return handler;
}
}  // namespace

void SetLogHandler(LogHandler handler) { Handler() = std::move(handler); }

void Log(const wchar_t* format, ...) {
  wchar_t buffer[1024];
  va_list args;
  va_start(args, format);
  int n = std::vswprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
  va_end(args);
  if (n < 0) buffer[sizeof buffer / sizeof buffer[0] - 1] = 0;
  if (Handler()) {
    Handler()(buffer);
    return;
  }
  OutputDebugStringW(buffer);
  OutputDebugStringW(L"\n");
  std::fwprintf(stderr, L"%ls\n", buffer);
}

}  // namespace DuiLib
