#include "veltrina/http.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>

#include "core.h"
#include "dispatcher.h"
#include "immortal.h"
#include "text_util.h"
#include "thread.h"
#include "upload_seam.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"
#include "winhttp_fetch.h"

namespace veltrina {

using internal::Core;
using internal::json;

namespace {

void Deliver(HttpClient::Callback callback, bool ok, std::unique_ptr<HttpResponse> response) {
  auto shared = std::make_shared<std::unique_ptr<HttpResponse>>(std::move(response));
  Core::Get().Post([callback = std::move(callback), ok, shared] {
    if (callback) callback(ok, std::move(*shared));
  });
}

// A few long-lived threads for blocking WinHTTP requests, all serving one queue: a request goes
// to whichever thread is idle, so a slow server holds up only the thread it holds.
class HttpWorkers {
 public:
  HttpWorkers() {
    for (auto& thread : threads_) thread = internal::Thread([this] { Run(); });
  }
  void Post(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return !tasks_.empty(); });
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      try {
        task();
      } catch (const std::exception& e) {
        log("An HTTP task threw: %s", e.what());
      } catch (...) {
        log("An HTTP task threw");
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  internal::Thread threads_[3];  // never joined: the workers are immortal
};

HttpWorkers& Workers() {
  static internal::Immortal<HttpWorkers> workers;
  return workers.get();
}

// Writes a successful body to the request's save path, if it has one, before anyone is told:
// a temporary file renamed into place, so a reader never sees half of it. False when it fails.
bool SaveBody(const HttpRequest& request, HttpResponse* response) {
  const std::string& path = request.save_path();
  if (path.empty() || response->raw_data().empty()) return true;
  FileUtils* files = FileUtils::SharedFileUtils();
  size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0) files->MakeDirectory(path.substr(0, slash));
  if (files->WriteFileAtomically(path, response->raw_data())) return true;
  response->set_error("cannot write " + path);
  response->set_save_failed(true);
  return false;
}

// Bodies the service answered are written to their files here, one at a time: writing a picture
// is quick, and a session that reaches no other server then never starts the HTTP threads (each
// thread's stack is memory of its own). The client's trims of those folders run here too.
internal::Dispatcher& FileWriter() {
  static internal::Immortal<internal::Dispatcher> writer("http files");
  return writer.get();
}

// Reading a file to upload may take a while: it has a thread of its own.
internal::Dispatcher& UploadReader() {
  static internal::Immortal<internal::Dispatcher> reader("upload");
  return reader.get();
}

void SendUpload(const std::string& file_path, const std::string& file_name, const std::string& comment,
                const std::string& channel_id, bool is_channel, HttpClient::Callback callback, std::string data) {
  // Without a name the file is shared under its own (never its folders').
  std::wstring wide = internal::WidePath(file_path);
  std::string own = internal::Utf8FromWide(wide.substr(wide.find_last_of(L"\\/") + 1));
  json params{{"file_name", file_name.empty() ? own : file_name},
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

// What tests run between taking a file's size and reading it (upload_seam.h).
struct ReadHook {
  std::mutex mutex;
  std::function<void(const std::string&)> hook;
};

ReadHook& UploadReadHook() {
  static internal::Immortal<ReadHook> hook;
  return hook.get();
}

void RunReadHook(const std::string& path) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> lock(UploadReadHook().mutex);
    hook = UploadReadHook().hook;
  }
  if (hook) hook(path);
}

// The whole file, refused by its size before any of it is read. Empty error text on success.
// The file stays open to writers (a log being written can be shared), so what is read is held
// to the size and time of the last write taken first: a file that changed meanwhile would
// otherwise go out cut short, padded or mixed, without a word.
std::string ReadUpload(const std::string& path, std::string* data) {
  std::wstring wide = internal::WidePath(path);
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (wide.empty() && !path.empty()) return "the path is not UTF-8";
  if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info))
    return HttpClient::kUploadFileGone;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return HttpClient::kUploadNotAFile;
  uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > HttpClient::kMaxUploadBytes) return HttpClient::kUploadTooLarge;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? HttpClient::kUploadFileGone : HttpClient::kUploadUnreadable;
  RunReadHook(path);
  std::string error;
  try {
    // One byte more than the size tells a file that grew since the size was taken.
    std::string content(static_cast<size_t>(size), '\0');
    size_t filled = 0;
    char extra = 0;
    while (error.empty()) {
      char* at = filled < content.size() ? content.data() + filled : &extra;
      DWORD want = filled < content.size() ? static_cast<DWORD>(std::min<size_t>(content.size() - filled, 1u << 20)) : 1;
      DWORD got = 0;
      if (!::ReadFile(file, at, want, &got, nullptr)) error = HttpClient::kUploadUnreadable;
      else if (got == 0) break;
      else if (filled >= content.size()) error = HttpClient::kUploadChanged;
      else filled += got;
    }
    // Shorter than its size: it shrank. Rewritten in place: its last write moved.
    FILETIME written{};
    if (error.empty() && (filled != content.size() || !GetFileTime(file, nullptr, nullptr, &written) ||
                          CompareFileTime(&written, &info.ftLastWriteTime) != 0))
      error = HttpClient::kUploadChanged;
    if (error.empty()) *data = std::move(content);
  } catch (const std::bad_alloc&) {
    error = HttpClient::kUploadNoMemory;
  }
  CloseHandle(file);
  return error;
}

}  // namespace

namespace internal {

void SetUploadReadHook(std::function<void(const std::string& path)> hook) {
  std::lock_guard<std::mutex> lock(UploadReadHook().mutex);
  UploadReadHook().hook = std::move(hook);
}

}  // namespace internal

HttpClient* HttpClient::SharedClient() {
  static HttpClient instance;
  return &instance;
}

void HttpClient::RunOnFileThread(std::function<void()> task) {
  if (task) FileWriter().Post(std::move(task));
}

void HttpClient::Send(const HttpRequest& request, Callback callback) {
  Core& core = Core::Get();
  if (core.Service()->ServesUrl(request.url())) {
    // The service is told the limit, so that it need not read a larger file; any service's
    // answer is held to it here as well.
    json params{{"url", request.url()}, {"method", request.method()}, {"max_bytes", request.body_limit()}};
    core.Call("http.get", params,
              [request, callback = std::move(callback)](const backend::Reply& reply) {
                auto response = std::make_unique<HttpResponse>();
                response->set_url(request.url());
                int status = reply.code != 0 ? static_cast<int>(reply.code) : (reply.ok ? 200 : 500);
                response->set_status_code(status);
                bool ok = reply.ok && status >= 200 && status < 300;
                if (ok && reply.data.size() > request.body_limit()) {
                  ok = false;
                  response->set_error(internal::kBodyTooLarge);
                } else if (ok) {
                  response->set_raw_data(reply.data);
                  response->set_content_type(internal::Str(internal::ReplyBody(reply), "content_type"));
                } else {
                  response->set_error(internal::ReplyError(reply));
                }
                if (!ok || request.save_path().empty() || response->raw_data().empty()) {
                  if (callback) callback(ok, std::move(response));
                  return;
                }
                // This is the callback thread: the file is written on a thread of its own instead.
                auto shared = std::make_shared<std::unique_ptr<HttpResponse>>(std::move(response));
                FileWriter().Post([request, callback, shared]() mutable {
                  bool saved = SaveBody(request, shared->get());
                  Deliver(std::move(callback), saved, std::move(*shared));
                });
              });
    return;
  }
  // Real network: on the HTTP threads (made once: starting and ending threads per request is
  // what Wine stumbles over), the answer handed to the callback thread.
  Workers().Post([request, callback = std::move(callback)]() mutable {
    auto response = std::make_unique<HttpResponse>();
    bool ok = internal::WinHttpFetch(request, response.get());
    if (!ok) log("HTTP request to %s failed: %s", request.url().c_str(), response->error().c_str());
    if (ok) ok = SaveBody(request, response.get());
    Deliver(std::move(callback), ok, std::move(response));
  });
}

void HttpClient::Upload(const std::string& file_path, const std::string& file_name, const std::string& comment,
                        const std::string& channel_id, bool is_channel, Callback callback) {
  UploadReader().Post([=, callback = std::move(callback)]() mutable {
    std::string data;
    std::string error = ReadUpload(file_path, &data);
    if (!error.empty()) {
      log("Cannot upload %s: %s", file_path.c_str(), error.c_str());
      auto response = std::make_unique<HttpResponse>();
      response->set_error(error);
      Deliver(std::move(callback), false, std::move(response));
      return;
    }
    SendUpload(file_path, file_name, comment, channel_id, is_channel, std::move(callback), std::move(data));
  });
}

}  // namespace veltrina
