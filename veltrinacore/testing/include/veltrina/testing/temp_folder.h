#pragma once
#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace veltrina::test_support {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    folder_ = std::filesystem::temp_directory_path() /
              ("veltrina-core-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "-" +
               std::to_string(GetTickCount64()));
    std::filesystem::create_directories(folder_);
    std::u8string utf8 = folder_.u8string();
    path_.assign(utf8.begin(), utf8.end());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }  // UTF-8
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::filesystem::path folder_;
  std::string path_;
};

}  // namespace veltrina::test_support
