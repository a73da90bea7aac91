#pragma once
// Small file-system helpers. Every narrow path of the core is UTF-8, whatever the system's ANSI
// code page; the core turns it into UTF-16 for each Windows call. A path that is not valid UTF-8
// is refused (the call fails, with a log line), never read in another code page.
#include <string>

namespace veltrina {

class FileUtils {
 public:
  static FileUtils* SharedFileUtils();

  bool IsFileExist(const std::string& path);
  bool IsDirectoryExist(const std::string& path);
  // Creates the folder and any missing parents; true when it exists afterwards.
  bool MakeDirectory(const std::string& path);
  // Whole file into `data`; false when it cannot be read.
  bool ReadFile(const std::string& path, std::string* data);
  // Writes atomically: a temporary file beside it, flushed, then renamed over `path`.
  bool WriteFileAtomically(const std::string& path, const std::string& data);

 private:
  FileUtils() = default;
};

}  // namespace veltrina
