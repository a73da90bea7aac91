#include "veltrina/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace veltrina {
namespace {

std::mutex& ObserverMutex() {
  static std::mutex* mutex = new std::mutex();  // outlives threads still running at exit
  return *mutex;
}

std::function<void(const std::string&)>& Observer() {
  static auto* observer = new std::function<void(const std::string&)>();
  return *observer;
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
