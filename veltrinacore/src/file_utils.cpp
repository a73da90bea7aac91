#include "veltrina/file_utils.h"

#include <windows.h>

#include <io.h>

#include <atomic>
#include <cstdio>

#include "text_util.h"
#include "veltrina/log.h"

namespace veltrina {

using internal::WidePath;

FileUtils* FileUtils::SharedFileUtils() {
  static FileUtils instance;
  return &instance;
}

bool FileUtils::IsFileExist(const std::string& path) {
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileUtils::IsDirectoryExist(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileUtils::MakeDirectory(const std::string& path) {
  std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  while (!wide.empty() && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  // Create every missing level from the top down.
  for (size_t i = 0; i <= wide.size(); ++i) {
    if (i == wide.size() || wide[i] == L'\\' || wide[i] == L'/') {
      std::wstring part = wide.substr(0, i);
      if (part.empty() || (part.size() == 2 && part[1] == L':')) continue;
      DWORD attributes = GetFileAttributesW(part.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES) continue;
      CreateDirectoryW(part.c_str(), nullptr);
    }
  }
  DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileUtils::ReadFile(const std::string& path, std::string* data) {
  if (!data) return false;
  // Sharing delete as well: a writer on another thread may replace the file (write and rename)
  // while it is read, and the reader keeps the contents it opened.
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string content;
  char buffer[65536];
  DWORD n = 0;
  bool ok = true;
  while ((ok = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) && n > 0) content.append(buffer, n);
  CloseHandle(file);
  if (ok) *data = std::move(content);
  return ok;
}

bool FileUtils::WriteFileAtomically(const std::string& path, const std::string& data) {
  static std::atomic<unsigned> counter{0};
  std::wstring target = WidePath(path);
  if (target.empty()) return false;
  std::wstring temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
  FILE* file = _wfopen(temp.c_str(), L"wb");
  if (!file) {
    log("Cannot write %s", path.c_str());
    return false;
  }
  bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  ok = std::fflush(file) == 0 && ok;
  if (ok) FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));  // best effort
  ok = std::fclose(file) == 0 && ok;
  if (ok) ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) {
    DeleteFileW(temp.c_str());
    log("Cannot write %s", path.c_str());
  }
  return ok;
}

}  // namespace veltrina
