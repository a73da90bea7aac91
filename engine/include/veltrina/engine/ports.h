#pragma once
// What differs between the hosts of the team engine: where the state is kept, what time it is,
// where random numbers come from, how passwords are stored and where uploaded bytes live.
// The engine calls them on the thread that calls it; a host serialises its calls.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltrina::engine {

struct State;

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970.
  virtual int64_t Now() = 0;
};

class Random {
 public:
  virtual ~Random() = default;
  // Unpredictable to anyone outside the host: session numbers and tokens come from it.
  virtual uint64_t Next() = 0;
};

class PasswordHasher {
 public:
  virtual ~PasswordHasher() = default;
  // The stored form of a password, salted and slow; empty when it cannot be made.
  virtual std::string Hash(const std::string& password) = 0;
  // Constant time in the password; false for a malformed stored form.
  virtual bool Verify(const std::string& password, const std::string& stored) = 0;
  // Whether a stored form is weaker than Hash makes today (redone at the next sign-in).
  virtual bool NeedsUpgrade(const std::string& stored) = 0;
  // A stored form no account uses: an unknown user's password is checked against it, so the time
  // taken tells no names.
  virtual const std::string& Decoy() = 0;
  // The stored form of a demo account's documented password. `precomputed` is its PBKDF2-SHA256
  // form made beforehand; a hasher that reads that form returns it (seeding then hashes nothing).
  virtual std::string Seeded(const std::string& password, const char* precomputed) {
    (void)precomputed;
    return Hash(password);
  }
};

// The kinds of record a change touched, so that a store can write only those.
enum class RecordKind {
  kAccount, kTeam, kUser, kChannel, kChat, kMessage, kEntity, kCursor, kFeedback, kSentId,
  kChange,  // an entry of the team's change log; id: its seq. A store that keeps the log lets a
            // reader behind the head catch up after a restart instead of fetching everything again.
};

struct Touched {
  RecordKind kind;
  std::string team_id;  // empty for accounts and feedback
  std::string id;       // the record's id (a message: its conversation and key, "<conversation>\n<key>")
};

// Everything one request or host action changed, handed to the store before its answer leaves.
struct Delta {
  std::vector<Touched> touched{};
  // Messages removed to keep the simulated chatter bounded: "<conversation>\n<key>".
  std::vector<std::string> removed_messages{};
  bool everything{false};  // a load that migrated or seeded the state: write it whole
};

class Store {
 public:
  enum class Loaded {
    kState,        // `state` holds what was saved
    kEmpty,        // nothing saved yet (or a corrupt copy was moved aside): the engine seeds
    kUnavailable,  // it is there but cannot be read now: nothing is written until it can
  };
  virtual ~Store() = default;
  virtual Loaded Load(State* state) = 0;
  // Makes the change durable (or schedules it, as the host's promise allows). False: it was not
  // kept; the engine reports the request as failed.
  virtual bool Commit(const State& state, const Delta& delta) = 0;
};

// Uploaded files' bytes, by the stored file name the engine gives them.
class Blobs {
 public:
  enum class Read { kOk, kMissing, kTooLarge };
  virtual ~Blobs() = default;
  virtual bool Put(const std::string& name, const std::string& bytes) = 0;
  // A file larger than max_bytes (0: any size) is refused without being read.
  virtual Read Get(const std::string& name, uint64_t max_bytes, std::string* bytes) = 0;
};

struct Ports {
  Clock* clock = nullptr;
  Random* random = nullptr;
  PasswordHasher* passwords = nullptr;
  Store* store = nullptr;
  Blobs* blobs = nullptr;
  // One line for the operator; never a password, token or message text.
  std::function<void(const std::string&)> log{};
};

}  // namespace veltrina::engine
