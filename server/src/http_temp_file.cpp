#include "http_temp_file.h"

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include <unistd.h>

namespace veltrina::server {

HttpTempFile::HttpTempFile(HttpTempFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

HttpTempFile& HttpTempFile::operator=(HttpTempFile&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

HttpTempFile HttpTempFile::Create(const std::string& dir, std::error_code& ec) {
  std::string pattern = (dir.empty() ? std::string(".") : dir) + "/upload-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    ec = std::error_code(errno, std::generic_category());
    return {};
  }
  ::close(fd);
  ec.clear();
  return HttpTempFile(std::string(name.data()));
}

void HttpTempFile::Remove() {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace veltrina::server
