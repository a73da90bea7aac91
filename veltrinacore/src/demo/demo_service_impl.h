#pragma once
// The demo service hosts the team engine inside the client for one signed-in session at a time.
// Its parts:
//   demo_service.cpp        the service's thread, serving requests in order, delivering events
//   demo_persistence.cpp    the state file and the uploaded files in the data folder
//   demo_ports.cpp          the clock, random numbers and password hashing of Windows
//   demo_bot.cpp            the assistant bot's answers
//   demo_life.cpp           the simulated team
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "../dispatcher.h"
#include "demo_config.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/engine/engine.h"
#include "veltrina/engine/ports.h"
#include "veltrina/engine/state.h"

namespace veltrina::internal::demo {

// A change is saved this long after it, together with whatever followed it meanwhile.
inline constexpr std::chrono::milliseconds kSaveDelay{200};
// After a failed save (another program holds the file for a moment): the next try.
inline constexpr std::chrono::milliseconds kSaveRetryDelay{250};

class RealClock : public engine::Clock {
 public:
  int64_t Now() override;
};

// BCryptGenRandom.
class SystemRandom : public engine::Random {
 public:
  uint64_t Next() override;
};

// PBKDF2-SHA256 through Windows CNG (veltrina/password_hash.h).
class CngPasswords : public engine::PasswordHasher {
 public:
  std::string Hash(const std::string& password) override;
  bool Verify(const std::string& password, const std::string& stored) override;
  bool NeedsUpgrade(const std::string& stored) override;
  const std::string& Decoy() override;
  std::string Seeded(const std::string& password, const char* precomputed) override;
};

// The state as one JSON document, written atomically shortly after a change. A file that is there
// but cannot be read (another program holds it) is not corrupt: it is left alone and nothing is
// saved over it until it can be read. Only a file that was read and does not hold a state is moved
// aside, under a name no earlier copy has; when even that fails, the file stays as it is and is
// treated as unreadable.
class JsonFileStore : public engine::Store {
 public:
  explicit JsonFileStore(std::string path) : path_(std::move(path)) {}
  Loaded Load(engine::State* state) override;
  // Takes a copy of nothing: the state is written from the engine at Flush.
  bool Commit(const engine::State& state, const engine::Delta& delta) override;
  // Writes now if a change waits. False when it failed (it stays due).
  bool Flush(const engine::State& state);
  bool Dirty() const { return dirty_; }

 private:
  std::string path_;
  bool dirty_ = false;
  bool held_logged_ = false;
  bool failing_ = false;
};

// Uploaded files in <data folder>\demo-files.
class FolderBlobs : public engine::Blobs {
 public:
  explicit FolderBlobs(std::string folder) : folder_(std::move(folder)) {}
  bool Put(const std::string& name, const std::string& bytes) override;
  Read Get(const std::string& name, uint64_t max_bytes, std::string* bytes) override;

 private:
  std::string folder_;
};

}  // namespace veltrina::internal::demo

namespace veltrina::backend {

class DemoService::Impl {
 public:
  // Cheap: the folder, its config and the state are read on the service's own thread, as its
  // first task, so that whichever thread makes the first call does no disk work.
  explicit Impl(DemoOptions options);
  ~Impl();

  void Attach(EventSink* sink);
  void Detach();
  // Requests are served in order on the service's own thread, so that no caller (the UI thread
  // included) ever waits for the service's disk work. The simulated team, the bot and saving run
  // on it too, as timed tasks.
  void Call(const Request& request, std::function<void(Reply)> answer);
  bool ServesUrl(const std::string& url) const;
  // Saves what is not saved yet; the process is exiting.
  void FlushAtExit();

 private:
  struct Event {
    std::string name;
    std::string body;
  };

  // ---- start-up, serving and delivering (demo_service.cpp) ----
  void Start();
  void Serve(const Request& request, std::function<void(Reply)> answer);
  Reply Answer(const Request& request);
  // The session's events since the last delivery, for Emit once the lock is released.
  void Collect();
  void Emit(const std::vector<Event>& events);
  // Schedules a save after a change, unless one is due already.
  void ScheduleSave();
  void SaveNow();
  // Runs `step` under the lock if the service is still attached as `generation`, then delivers.
  void Timed(std::chrono::milliseconds delay, uint64_t generation, std::function<void()> step);

  // ---- the bot (demo_bot.cpp) ----
  void OnDirectMessage(const std::string& team_id, const Message& m, const User& peer);
  static std::string BotReply(const std::string& text);

  // ---- life (demo_life.cpp) ----
  // One step of the simulated team around the session's user: someone posts, presence moves, an
  // integration reports.
  void Live();
  // Turns a life message into the share of one of the team's pictures or files that the session
  // user may fetch (an existing one, so that life adds no entities).
  void ShareAgain(const engine::TeamData& t, Message* m);
  void ScheduleLife(uint64_t generation);
  void ScheduleDrop(uint64_t generation);

  DemoOptions options_;
  std::string folder_;
  std::mutex mutex_;  // guards everything below but the sink
  internal::demo::Config config_;
  internal::demo::RealClock clock_;
  internal::demo::SystemRandom random_;
  internal::demo::CngPasswords passwords_;
  std::unique_ptr<internal::demo::JsonFileStore> store_;
  std::unique_ptr<internal::demo::FolderBlobs> blobs_;
  std::unique_ptr<engine::Engine> engine_;
  std::optional<engine::Session> session_;
  int64_t delivered_ = 0;  // the session team's last change told to the sink
  bool save_scheduled_ = false;
  uint64_t generation_ = 0;  // counts attachments: timed tasks of an earlier one do nothing
  bool attached_ = false;
  std::vector<Event> events_;  // collected under the lock, emitted after it is released
  std::mt19937 rng_;
  std::mutex sink_mutex_;
  EventSink* sink_ = nullptr;
  // Last: destroyed first, after it has served what was queued, while everything above still lives.
  std::unique_ptr<internal::Dispatcher> worker_ = std::make_unique<internal::Dispatcher>("demo service");
};

}  // namespace veltrina::backend
