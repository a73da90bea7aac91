#pragma once
// The engine's ports for tests: a clock that moves when told, numbers that are predictable, and
// passwords stored as they are (the tests are about the team, not about hashing). Shared by the
// engine's and the server's native tests.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "veltrina/engine/ports.h"

namespace engine_fakes {

class FakeClock : public veltrina::engine::Clock {
 public:
  int64_t Now() override { return now; }
  int64_t now = 1'800'000'000;
};

class CountingRandom : public veltrina::engine::Random {
 public:
  uint64_t Next() override { return ++last * 0x9E3779B97F4A7C15ull; }
  uint64_t last = 0;
};

class TestPasswords : public veltrina::engine::PasswordHasher {
 public:
  std::string Hash(const std::string& password) override { return "test$" + password; }
  bool Verify(const std::string& password, const std::string& stored) override { return stored == "test$" + password; }
  bool NeedsUpgrade(const std::string& stored) override { return stored.rfind("test$", 0) != 0; }
  const std::string& Decoy() override { return decoy_; }

 private:
  std::string decoy_ = "test$\x01";
};

class MemoryBlobs : public veltrina::engine::Blobs {
 public:
  bool Put(const std::string& name, const std::string& bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    files[name] = bytes;
    return true;
  }
  Read Get(const std::string& name, uint64_t max_bytes, std::string* bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files.find(name);
    if (it == files.end()) return Read::kMissing;
    if (max_bytes > 0 && it->second.size() > max_bytes) return Read::kTooLarge;
    *bytes = it->second;
    return Read::kOk;
  }
  std::map<std::string, std::string> files;

 private:
  std::mutex mutex_;
};

}  // namespace engine_fakes
