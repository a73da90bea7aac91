#include "veltrina/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "immortal.h"

namespace veltrina {
namespace {

using internal::Immortal;

std::mutex& ObserverMutex() {
  static Immortal<std::mutex> mutex;
  return mutex.get();
}

std::function<void(const std::string&)>& Observer() {
  static Immortal<std::function<void(const std::string&)>> observer;
  return observer.get();
}

}  // namespace

void log(const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  std::string line(buffer, n < static_cast<int>(sizeof buffer) ? n : sizeof buffer - 1);
  // Values from servers and peers are spliced into log lines: a line break in one must not forge a line.
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard<std::mutex> lock(ObserverMutex());
    observer = Observer();
  }
  if (observer) observer(line);
  line += '\n';
  OutputDebugStringA(line.c_str());
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void set_log_observer(std::function<void(const std::string& line)> observer) {
  std::lock_guard<std::mutex> lock(ObserverMutex());
  Observer() = std::move(observer);
}

}  // namespace veltrina
