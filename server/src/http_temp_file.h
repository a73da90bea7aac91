#pragma once
// A uniquely named file that is removed when its owner lets go: where a streamed request body
// lands, so a dropped connection or a refused upload never leaves a partial file behind.
#include <string>
#include <system_error>

namespace veltrina::server {

class HttpTempFile {
 public:
  HttpTempFile() = default;
  ~HttpTempFile() { Remove(); }
  HttpTempFile(HttpTempFile&& other) noexcept;
  HttpTempFile& operator=(HttpTempFile&& other) noexcept;
  HttpTempFile(const HttpTempFile&) = delete;
  HttpTempFile& operator=(const HttpTempFile&) = delete;

  // Creates an empty file in `dir` with a name no other caller gets.
  static HttpTempFile Create(const std::string& dir, std::error_code& ec);

  const std::string& path() const { return path_; }
  bool empty() const { return path_.empty(); }
  void Remove();

 private:
  explicit HttpTempFile(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

}  // namespace veltrina::server
