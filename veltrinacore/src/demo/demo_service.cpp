#include "veltrina/backend/demo_service.h"

#include <functional>
#include <map>

#include "../text_util.h"
#include "demo_config.h"
#include "demo_service_impl.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace veltrina::backend {

namespace {

// The services alive in the process. The core keeps its service to the very end and never detaches
// it, so a clean exit saves here what each has not saved yet.
class Living {
 public:
  static Living& Get() {
    static Living living;
    return living;
  }
  void Add(const void* service, std::function<void()> flush) {
    std::lock_guard<std::mutex> lock(mutex_);
    flushes_[service] = std::move(flush);
  }
  void Remove(const void* service) {
    std::lock_guard<std::mutex> lock(mutex_);
    flushes_.erase(service);
  }
  ~Living() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [service, flush] : flushes_) flush();
  }

 private:
  // Built first, so that the file utilities it saves with are destroyed after it.
  Living() { FileUtils::SharedFileUtils(); }
  std::mutex mutex_;
  std::map<const void*, std::function<void()>> flushes_;
};

}  // namespace

DemoService::Impl::Impl(DemoOptions options) : options_(std::move(options)), rng_(options_.seed) {
  Living::Get().Add(this, [this] { FlushAtExit(); });
  worker_->Post([this] { Start(); });
}

DemoService::Impl::~Impl() {
  Living::Get().Remove(this);
  Detach();
}

void DemoService::Impl::FlushAtExit() {
  std::lock_guard<std::mutex> lock(mutex_);
  Flush();
}

void DemoService::Impl::Start() {
  std::string folder = options_.data_folder.empty() ? internal::DefaultDataFolder() : options_.data_folder;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  FileUtils::SharedFileUtils()->MakeDirectory(folder);
  Config config = ReadConfig(folder);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    folder_ = folder;
    if (config.life_interval_ms >= 0) options_.life_interval = std::chrono::milliseconds(config.life_interval_ms);
    if (config.connection_drop_ms >= 0)
      options_.connection_drop_interval = std::chrono::milliseconds(config.connection_drop_ms);
    large_ = config.large_team;
    large_seed_ = config.large_team_seed;
    Load();
    started_ = true;
  }
  wake_.notify_all();
}

void DemoService::Impl::Attach(EventSink* sink) {
  {
    std::lock_guard<std::mutex> lock(sink_mutex_);
    sink_ = sink;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (life_.joinable()) return;
  stop_ = false;
  life_ = internal::Thread([this] { LifeLoop(); });
}

void DemoService::Impl::Detach() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  life_.join();  // nothing when called on the life thread itself
  // Requests already queued are still served (and saved) before the service counts as detached.
  if (!worker_->WaitIdle(std::chrono::seconds(30))) log("Demo service: requests still running at detach");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Flush();
  }
  std::lock_guard<std::mutex> lock(sink_mutex_);
  sink_ = nullptr;
}

void DemoService::Impl::Call(const Request& request, std::function<void(Reply)> answer) {
  worker_->Post([this, request, answer = std::move(answer)]() mutable { Serve(request, std::move(answer)); });
}

void DemoService::Impl::Serve(const Request& request, std::function<void(Reply)> answer) {
  json params = internal::Parse(request.params);
  if (!params.is_object()) params = json::object();
  Reply reply;
  std::vector<Event> events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!saving_) Load();  // the state file could not be read before: it may be free now
    try {
      reply = Handle(request.method, params, request.data);
    } catch (const std::exception& e) {
      reply = Fail(500, std::string("the demo service failed: ") + e.what());
    }
    events.swap(events_);
  }
  if (answer) answer(std::move(reply));
  Emit(events);
}

void DemoService::Impl::LifeStep() {
  std::vector<Event> events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Live();
    events.swap(events_);
  }
  Emit(events);
}

void DemoService::Impl::Emit(const std::vector<Event>& events) {
  std::lock_guard<std::mutex> lock(sink_mutex_);
  if (!sink_) return;
  for (const Event& e : events) sink_->OnServiceEvent(e.name, e.body);
}

DemoService::DemoService(DemoOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
DemoService::~DemoService() = default;
void DemoService::Attach(EventSink* sink) { impl_->Attach(sink); }
void DemoService::Detach() { impl_->Detach(); }
void DemoService::Call(const Request& request, std::function<void(Reply)> answer) {
  impl_->Call(request, std::move(answer));
}
bool DemoService::ServesUrl(const std::string& url) const { return impl_->ServesUrl(url); }

}  // namespace veltrina::backend
