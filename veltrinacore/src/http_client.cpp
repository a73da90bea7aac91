#include "veltrina/http.h"

#include <atomic>

#include "core.h"
#include "dispatcher.h"
#include "immortal.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"
#include "winhttp_fetch.h"

namespace veltrina {

using internal::Core;
using internal::json;

namespace {

constexpr size_t kMaxUpload = 100u * 1024u * 1024u;

void Deliver(HttpClient::Callback callback, bool ok, std::unique_ptr<HttpResponse> response) {
  auto shared = std::make_shared<std::unique_ptr<HttpResponse>>(std::move(response));
  Core::Get().Post([callback = std::move(callback), ok, shared] {
    if (callback) callback(ok, std::move(*shared));
  });
}

// A few threads for blocking WinHTTP requests, taken in turn.
class HttpWorkers {
 public:
  internal::Dispatcher& Next() { return threads_[next_++ % kCount]; }

 private:
  static constexpr unsigned kCount = 3;
  internal::Dispatcher threads_[kCount] = {internal::Dispatcher("HTTP"), internal::Dispatcher("HTTP"),
                                            internal::Dispatcher("HTTP")};
  std::atomic<unsigned> next_{0};
};

HttpWorkers& Workers() {
  static internal::Immortal<HttpWorkers> workers;
  return workers.get();
}

}  // namespace

HttpClient* HttpClient::SharedClient() {
  static HttpClient instance;
  return &instance;
}

void HttpClient::Send(const HttpRequest& request, Callback callback) {
  Core& core = Core::Get();
  if (core.Service()->ServesUrl(request.url())) {
    std::string url = request.url();
    core.Call("http.get", json{{"url", url}, {"method", request.method()}},
              [url, callback = std::move(callback)](const backend::Reply& reply) {
                auto response = std::make_unique<HttpResponse>();
                response->set_url(url);
                int status = reply.code != 0 ? static_cast<int>(reply.code) : (reply.ok ? 200 : 500);
                response->set_status_code(status);
                bool ok = reply.ok && status >= 200 && status < 300;
                if (ok) {
                  response->set_raw_data(reply.data);
                  response->set_content_type(internal::Str(internal::ReplyBody(reply), "content_type"));
                } else {
                  response->set_error(internal::ReplyError(reply));
                }
                if (callback) callback(ok, std::move(response));
              });
    return;
  }
  // Real network: on the HTTP threads (made once: starting and ending threads per request is
  // what Wine stumbles over), the answer handed to the callback thread.
  Workers().Next().Post([request, callback = std::move(callback)]() mutable {
    auto response = std::make_unique<HttpResponse>();
    bool ok = internal::WinHttpFetch(request, response.get());
    if (!ok) log("HTTP request to %s failed: %s", request.url().c_str(), response->error().c_str());
    Deliver(std::move(callback), ok, std::move(response));
  });
}

void HttpClient::Upload(const std::string& file_path, const std::string& file_name, const std::string& comment,
                        const std::string& channel_id, bool is_channel, Callback callback) {
  std::string data;
  if (!FileUtils::SharedFileUtils()->ReadFile(file_path, &data) || data.size() > kMaxUpload) {
    log("Cannot upload %s", file_path.c_str());
    auto response = std::make_unique<HttpResponse>();
    response->set_error(data.size() > kMaxUpload ? "the file is too large" : "cannot read the file");
    Deliver(std::move(callback), false, std::move(response));
    return;
  }
  json params{{"file_name", file_name.empty() ? file_path : file_name},
              {"comment", comment},
              {"channel_id", channel_id},
              {"is_channel", is_channel}};
  Core::Get().Call(
      "files.upload", params,
      [callback = std::move(callback)](const backend::Reply& reply) {
        auto response = std::make_unique<HttpResponse>();
        response->set_status_code(reply.ok ? 200 : (reply.code > 0 ? static_cast<int>(reply.code) : 0));
        if (reply.ok) {
          json body = internal::ReplyBody(reply);
          if (const json* m = internal::Member(body, "message")) response->set_raw_data(internal::Dump(*m));
        } else {
          response->set_error(internal::ReplyError(reply));
        }
        if (callback) callback(reply.ok, std::move(response));
      },
      std::move(data));
}

}  // namespace veltrina
