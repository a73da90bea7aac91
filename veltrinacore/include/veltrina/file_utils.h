#pragma once
// Small file-system helpers. Paths are narrow strings: UTF-8 when they are valid UTF-8, else
// the ANSI code page (the client hands over both forms).
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
