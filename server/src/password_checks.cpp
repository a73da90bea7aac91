#include "password_checks.h"

#include <sodium.h>

#include <algorithm>
#include <utility>

namespace veltrina::server {

namespace {

void Wipe(std::string* secret) {
  if (!secret->empty()) sodium_memzero(secret->data(), secret->size());
  secret->clear();
}

bool SameSecret(const std::string& a, const std::string& b) {
  return a.size() == b.size() && (a.empty() || sodium_memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

WorkPool::WorkPool(size_t threads, size_t max_queued) : max_queued_(max_queued) {
  for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i) threads_.emplace_back([this] { Loop(); });
}

WorkPool::~WorkPool() { Stop(); }

bool WorkPool::Submit(Job job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_ || queue_.size() >= max_queued_) return false;
  queue_.push_back(std::move(job));
  wake_.notify_one();
  return true;
}

void WorkPool::Stop() {
  std::deque<Job> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ && threads_.empty()) return;
    stopped_ = true;
    left.swap(queue_);
  }
  wake_.notify_all();
  for (Job& job : left) job(false);
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void WorkPool::Loop() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopped_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    job(true);
  }
}

CheckedPasswords::Verdict CheckedPasswords::Check(const std::string& password, const std::string& stored) {
  Verdict v;
  v.matches = real_.Verify(password, stored);
  if (v.matches && real_.NeedsUpgrade(stored)) v.stronger = real_.Hash(password);
  return v;
}

void CheckedPasswords::Prime(const std::string& password, const std::string& stored, Verdict verdict) {
  Clear();
  primed_ = Primed{password, stored, std::move(verdict)};
}

void CheckedPasswords::PrimeHash(const std::string& password, std::string stored) {
  // No stored form equals an empty one, so no Verify answers from this.
  Prime(password, std::string(), Verdict{false, std::move(stored)});
}

void CheckedPasswords::Clear() {
  if (!primed_) return;
  Wipe(&primed_->password);
  primed_.reset();
}

bool CheckedPasswords::Verify(const std::string& password, const std::string& stored) {
  if (primed_ && primed_->stored == stored && SameSecret(primed_->password, password)) return primed_->verdict.matches;
  return real_.Verify(password, stored);
}

std::string CheckedPasswords::Hash(const std::string& password) {
  if (primed_ && !primed_->verdict.stronger.empty() && SameSecret(primed_->password, password))
    return std::exchange(primed_->verdict.stronger, std::string());
  return real_.Hash(password);
}

}  // namespace veltrina::server
