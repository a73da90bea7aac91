#pragma once
// Sign-in password checks, and the hashing of new passwords, away from the engine's thread. argon2id takes a fifth of a second and
// 64 MiB by design; on the engine's thread every request of every user would wait behind it.
//
// The service looks up the stored form on the engine's thread, verifies the password on a small
// pool of threads, then replays the sign-in on the engine's thread with the verdict primed: the
// engine's Verify call for exactly that password and stored form gets the verdict instead of
// hashing again. A stored form that changed meanwhile (a new password) is verified in earnest.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "veltrina/engine/ports.h"

namespace veltrina::server {

// A few threads for slow jobs, with a bounded queue.
class WorkPool {
 public:
  // A job is called with true on a pool thread, or with false (not run) when the pool stops first.
  using Job = std::function<void(bool run)>;
  WorkPool(size_t threads, size_t max_queued);
  ~WorkPool();
  WorkPool(const WorkPool&) = delete;
  WorkPool& operator=(const WorkPool&) = delete;

  // False when max_queued jobs wait already, or the pool has stopped: the caller refuses.
  bool Submit(Job job);
  // Calls the queued jobs with false and joins the threads (each finishes the job it runs).
  void Stop();

 private:
  void Loop();

  const size_t max_queued_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  bool stopped_ = false;
  std::vector<std::thread> threads_;
};

class CheckedPasswords : public engine::PasswordHasher {
 public:
  struct Verdict {
    bool matches = false;
    std::string stronger;  // when it matches and the stored form is weaker than today's: the new form
  };
  // `real` must be callable from several threads at once (argon2id through libsodium is).
  explicit CheckedPasswords(engine::PasswordHasher& real) : real_(real) {}

  // Any thread: the slow part of a sign-in.
  Verdict Check(const std::string& password, const std::string& stored);
  // Engine's thread: the next Verify of `password` against `stored` answers `verdict`, and a Hash
  // of `password` right after answers its stronger form. Clear forgets it (and wipes the copy).
  void Prime(const std::string& password, const std::string& stored, Verdict verdict);
  // Any thread: the stored form of a new password, as Hash makes it.
  std::string HashNow(const std::string& password) { return real_.Hash(password); }
  // Engine's thread: the next Hash of `password` answers `stored` (made by HashNow).
  void PrimeHash(const std::string& password, std::string stored);
  void Clear();

  std::string Hash(const std::string& password) override;
  bool Verify(const std::string& password, const std::string& stored) override;
  bool NeedsUpgrade(const std::string& stored) override { return real_.NeedsUpgrade(stored); }
  const std::string& Decoy() override { return real_.Decoy(); }
  std::string Seeded(const std::string& password, const char* precomputed) override {
    return real_.Seeded(password, precomputed);
  }

 private:
  struct Primed {
    std::string password, stored;
    Verdict verdict;
  };
  engine::PasswordHasher& real_;
  std::optional<Primed> primed_;  // the engine's thread only
};

}  // namespace veltrina::server
