#pragma once
// HTTP for images and files. Addresses on the service's own hosts (see hosts.h) are answered by
// the installed service; any other http:// or https:// address goes out through WinHTTP.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace veltrina {

class HttpRequest {
 public:
  HttpRequest() = default;
  explicit HttpRequest(std::string url) : url_(std::move(url)) {}

  const std::string& url() const { return url_; }
  const std::string& method() const { return method_; }
  const std::vector<std::pair<std::string, std::string>>& headers() const { return headers_; }
  const std::string& body() const { return body_; }
  int timeout_ms() const { return timeout_ms_; }
  // Where a successful, non-empty body is also stored (empty: nowhere). See HttpClient::Send.
  const std::string& save_path() const { return save_path_; }
  // The largest body taken (0: the core's own limit, kMaxBodyBytes). A larger answer fails the
  // request with an error and no body, and nothing is saved; the read stops as soon as the
  // announced or received length passes it.
  uint64_t max_body_bytes() const { return max_body_bytes_; }

  void set_url(std::string v) { url_ = std::move(v); }
  void set_method(std::string v) { method_ = std::move(v); }
  void add_header(std::string name, std::string value) { headers_.emplace_back(std::move(name), std::move(value)); }
  void set_body(std::string v) { body_ = std::move(v); }
  void set_timeout_ms(int v) { timeout_ms_ = v; }
  void set_save_path(std::string v) { save_path_ = std::move(v); }  // a full UTF-8 path
  void set_max_body_bytes(uint64_t v) { max_body_bytes_ = v; }

  static constexpr uint64_t kMaxBodyBytes = 256ull * 1024 * 1024;
  // max_body_bytes, or the core's limit when that is 0 or larger.
  uint64_t body_limit() const {
    return max_body_bytes_ == 0 || max_body_bytes_ > kMaxBodyBytes ? kMaxBodyBytes : max_body_bytes_;
  }

 private:
  std::string url_;
  std::string method_ = "GET";
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string body_;
  int timeout_ms_ = 30000;
  std::string save_path_;
  uint64_t max_body_bytes_ = 0;
};

class HttpResponse {
 public:
  int status_code() const { return status_code_; }  // 0 when no answer came
  const std::string& raw_data() const { return raw_data_; }  // the body, byte for byte
  const std::string& content_type() const { return content_type_; }
  const std::string& error() const { return error_; }  // transport error text, else empty
  const std::string& url() const { return url_; }
  // A body came but could not be written to the request's save path.
  bool save_failed() const { return save_failed_; }

  void set_status_code(int v) { status_code_ = v; }
  void set_raw_data(std::string v) { raw_data_ = std::move(v); }
  void set_content_type(std::string v) { content_type_ = std::move(v); }
  void set_error(std::string v) { error_ = std::move(v); }
  void set_url(std::string v) { url_ = std::move(v); }
  void set_save_failed(bool v) { save_failed_ = v; }

  std::unique_ptr<HttpResponse> Clone() const { return std::make_unique<HttpResponse>(*this); }

 private:
  int status_code_ = 0;
  std::string raw_data_;
  std::string content_type_;
  std::string error_;
  std::string url_;
  bool save_failed_ = false;
};

class HttpClient {
 public:
  // ok is true for a 2xx answer. The response is never null: on failure it carries the status
  // code (0 for transport errors), an error text and an empty body.
  using Callback = std::function<void(bool ok, std::unique_ptr<HttpResponse> response)>;

  // The service takes no larger file.
  static constexpr uint64_t kMaxUploadBytes = 100ull * 1024 * 1024;

  // Why an upload failed before anything was sent: the response's error, with status 0.
  static constexpr const char* kUploadFileGone = "the file no longer exists";
  static constexpr const char* kUploadNotAFile = "the path is a folder, not a file";
  static constexpr const char* kUploadTooLarge = "the file is larger than the 100 MB upload limit";
  static constexpr const char* kUploadUnreadable = "the file cannot be read";
  static constexpr const char* kUploadChanged = "the file changed while it was read";
  static constexpr const char* kUploadNoMemory = "not enough memory to read the file";

  static HttpClient* SharedClient();

  // With a save path, a successful non-empty body is written there (missing folders made) by a
  // temporary file renamed into place, on an HTTP thread rather than the callback thread; the
  // callback runs once the file is complete. A failed write fails the request with an error
  // (save_failed). A body past the request's body_limit fails it with an error and no body.
  void Send(const HttpRequest& request, Callback callback);

  // Runs `task` on the thread that writes those bodies, after the writes queued before it: for
  // the caller's own upkeep of the folders they go to. Never the caller's thread nor the callback
  // thread, and no thread more (under Wine each costs 2 MB of committed stacks).
  void RunOnFileThread(std::function<void()> task);

  // Uploads a local file (a full UTF-8 path) into a conversation under
  // `file_name`; `comment` (may be empty) becomes its first comment. is_channel: true for a
  // channel or group, false for a direct message. The file is read on a thread of the core, never
  // the caller's; one over kMaxUploadBytes is refused by its size before any of it is read. A
  // file that is gone, unreadable, too large, or that changes (shrinks, grows or is rewritten)
  // while it is read fails with status 0 and one of the kUpload... error texts, and nothing is
  // sent. The file then appears in the conversation as a file (or image) message; the response
  // body is the stored message's JSON.
  void Upload(const std::string& file_path, const std::string& file_name, const std::string& comment,
              const std::string& channel_id, bool is_channel, Callback callback);

 private:
  HttpClient() = default;
};

}  // namespace veltrina
