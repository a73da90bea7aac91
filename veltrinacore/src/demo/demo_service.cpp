#include "veltrina/backend/demo_service.h"

#include <functional>
#include <limits>
#include <map>

#include "../json_util.h"
#include "../text_util.h"
#include "demo_service_impl.h"
#include "veltrina/file_utils.h"
#include "veltrina/hosts.h"
#include "veltrina/log.h"

namespace veltrina::backend {

namespace {

using internal::json;

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

Reply Unreachable() { return Reply{false, -1, "cannot reach the service", "", ""}; }

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

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
  if (store_ && engine_) store_->Flush(engine_->state());
}

void DemoService::Impl::Start() {
  std::string folder = options_.data_folder.empty() ? internal::DefaultDataFolder() : options_.data_folder;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  FileUtils::SharedFileUtils()->MakeDirectory(folder);
  internal::demo::Config config = internal::demo::ReadConfig(folder);
  std::lock_guard<std::mutex> lock(mutex_);
  folder_ = folder;
  config_ = config;
  if (config.life_interval_ms >= 0) options_.life_interval = std::chrono::milliseconds(config.life_interval_ms);
  if (config.connection_drop_ms >= 0)
    options_.connection_drop_interval = std::chrono::milliseconds(config.connection_drop_ms);
  store_ = std::make_unique<internal::demo::JsonFileStore>(
      folder + (config.large_team ? "\\demo-service-large.json" : "\\demo-service.json"));
  blobs_ = std::make_unique<internal::demo::FolderBlobs>(folder + "\\demo-files");
  engine::Ports ports{.clock = &clock_,
                      .random = &random_,
                      .passwords = &passwords_,
                      .store = store_.get(),
                      .blobs = blobs_.get(),
                      .log = [](const std::string& line) { log("Demo service %s", line.c_str()); }};
  engine::Options engine_options;
  engine_options.large_team = config.large_team;
  engine_options.large_team_seed = config.large_team_seed;
  // Events reach the one session right after each step: a short log is plenty.
  engine_options.kept_changes = 256;
  engine_options.on_direct_message = [this](const std::string& team_id, const Message& m, const User& peer) {
    OnDirectMessage(team_id, m, peer);
  };
  engine_ = std::make_unique<engine::Engine>(std::move(ports), std::move(engine_options));
  ScheduleSave();
}

void DemoService::Impl::Attach(EventSink* sink) {
  {
    std::lock_guard<std::mutex> lock(sink_mutex_);
    sink_ = sink;
  }
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (attached_) return;
    attached_ = true;
    generation = ++generation_;
  }
  // After Start: the config sets the pace.
  worker_->Post([this, generation] {
    std::lock_guard<std::mutex> lock(mutex_);
    ScheduleLife(generation);
    ScheduleDrop(generation);
  });
}

void DemoService::Impl::Detach() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    attached_ = false;
    ++generation_;  // timed steps still waiting do nothing
  }
  // Requests already queued are still served (and saved) before the service counts as detached.
  if (!worker_->WaitIdle(std::chrono::seconds(30))) log("Demo service: requests still running at detach");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (store_ && engine_) store_->Flush(engine_->state());
  }
  std::lock_guard<std::mutex> lock(sink_mutex_);
  sink_ = nullptr;
}

void DemoService::Impl::Call(const Request& request, std::function<void(Reply)> answer) {
  worker_->Post([this, request, answer = std::move(answer)]() mutable { Serve(request, std::move(answer)); });
}

bool DemoService::Impl::ServesUrl(const std::string& url) const {
  for (const char* host : {kStorageHost, kFileBoxHost})
    for (const char* scheme : {"https://", "http://"})
      if (StartsWith(url, std::string(scheme) + host + "/")) return true;
  return false;
}

void DemoService::Impl::Serve(const Request& request, std::function<void(Reply)> answer) {
  Reply reply;
  std::vector<Event> events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reply = Answer(request);
    Collect();
    events.swap(events_);
    ScheduleSave();
  }
  if (answer) answer(std::move(reply));
  Emit(events);
}

Reply DemoService::Impl::Answer(const Request& request) {
  json p = internal::Parse(request.params);
  if (!p.is_object()) p = json::object();
  // The switches are read on every request: a test (or a curious user) flips them while it runs.
  const internal::demo::Config config = internal::demo::ReadConfig(folder_);
  if (config.unreachable && request.method != "http.get") return Unreachable();
  const engine::Session* session = session_ ? &*session_ : nullptr;
  if (request.method == "http.get")
    return engine_->Download(session, internal::Str(p, "url"),
                             static_cast<uint64_t>(std::max<int64_t>(internal::Int(p, "max_bytes"), 0)));
  if (request.method == "client.version") {
    return Reply{true, 0, "",
                 internal::Dump(json{{"version_code", config.version_code},
                                     {"version_name", config.version_name},
                                     {"description", config.version_description},
                                     {"force", false},
                                     {"release_time", clock_.Now()},
                                     {"download_url", config.download_url}}),
                 ""};
  }
  // Names that stand for a service out of reach, for trying the client's error paths.
  if (request.method == "team.lookup" && internal::Str(p, "subdomain") == "unreachable") return Unreachable();
  if (request.method == "auth.login" && internal::Str(p, "username") == "unreachable") return Unreachable();
  engine::Outcome outcome = engine_->Handle(session, request.method, request.params, request.data);
  if (outcome.signed_in) {
    session_ = *outcome.signed_in;
    delivered_ = engine_->Head(session_->team_id);  // what happened before is in the lists it fetches
  }
  if (request.method == "session.connect" && outcome.reply.ok) {
    Collect();
    events_.push_back({"connection", internal::Dump(json{{"state", 0}})});
  }
  return outcome.reply;
}

void DemoService::Impl::Collect() {
  if (!session_) return;
  engine::Page page = engine_->Poll(*session_, delivered_, std::numeric_limits<size_t>::max());
  if (page.resync) log("Demo service: events of the session were dropped before they were told");
  delivered_ = page.next;
  for (engine::Event& e : page.events) events_.push_back({std::move(e.name), std::move(e.body)});
}

void DemoService::Impl::Emit(const std::vector<Event>& events) {
  std::lock_guard<std::mutex> lock(sink_mutex_);
  if (!sink_) return;
  for (const Event& e : events) sink_->OnServiceEvent(e.name, e.body);
}

void DemoService::Impl::ScheduleSave() {
  if (save_scheduled_ || !store_ || !store_->Dirty()) return;
  save_scheduled_ = true;
  worker_->PostDelayed(internal::demo::kSaveDelay, [this] { SaveNow(); });
}

void DemoService::Impl::SaveNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  save_scheduled_ = false;
  if (store_->Flush(engine_->state())) return;
  // A reader or a scanner may hold the file for a moment: the change stays due and is tried again.
  save_scheduled_ = true;
  worker_->PostDelayed(internal::demo::kSaveRetryDelay, [this] { SaveNow(); });
}

void DemoService::Impl::Timed(std::chrono::milliseconds delay, uint64_t generation, std::function<void()> step) {
  worker_->PostDelayed(delay, [this, generation, step = std::move(step)] {
    std::vector<Event> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (generation != generation_ || !attached_) return;
      step();
      Collect();
      events.swap(events_);
      ScheduleSave();
    }
    Emit(events);
  });
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
