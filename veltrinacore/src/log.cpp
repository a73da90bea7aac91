#include "veltrina/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace veltrina {

void log(const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  std::string line(buffer, n < static_cast<int>(sizeof buffer) ? n : sizeof buffer - 1);
  line += '\n';
  OutputDebugStringA(line.c_str());
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace veltrina
