#include "duilib/UIImageCache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <vector>

#include "UIImageDecode.h"

namespace DuiLib {
namespace {

struct Stamp {
  uint64_t size = 0;
  uint64_t written = 0;
  bool operator==(const Stamp&) const = default;
  bool Missing() const { return size == 0 && written == 0; }
};

Stamp StampOf(const CDuiString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return {(uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
          (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
}

size_t DecodedBytes(int width, int height) { return size_t(width) * size_t(height) * 4; }

// While pictures wait for memory, the decoder looks again this often even if no wake-up came.
constexpr auto kDeferredRetry = std::chrono::milliseconds(250);

}  // namespace

struct CImageCache::State {
  struct Entry {
    Status status = Status::Pending;
    Origin origin = Origin::Outside;
    std::shared_ptr<const TImageInfo> image;
    Stamp stamp;
    uint64_t generation = 0;  // which queued decode belongs to this entry
    size_t need = 0;          // deferred: the bytes its decode will take
    bool nudged = false;      // deferred: its windows were asked to paint and free memory
    std::vector<HWND> waiters;
    std::list<CDuiString>::iterator use;
  };
  using Entries = std::map<CDuiString, Entry>;
  struct Job {
    CDuiString path;
    uint64_t generation = 0;  // 0: a detached decode
    int side = 0;
    std::function<void(TDecodedImage)> done;
  };

  explicit State(Limits l) : limits(l) {}

  // Everything below is guarded by mutex, except the two atomics.
  const Limits limits;
  mutable std::mutex mutex;
  std::condition_variable wake;  // a job, freed memory, or the end
  std::condition_variable idle;  // nothing queued or running
  Entries entries;
  std::list<CDuiString> uses;  // most recently used first
  std::deque<Job> jobs;
  uint64_t nextGeneration = 1;
  bool busy = false;
  bool stopping = false;
  std::atomic<size_t> live{0};  // decoded outside pictures alive anywhere
  std::atomic<bool> freed{false};

  Entry& Insert(const CDuiString& path, Stamp stamp, Origin origin) {
    uses.push_front(path);
    Entry& e = entries[path];
    e = Entry{};
    e.stamp = stamp;
    e.origin = origin;
    e.use = uses.begin();
    return e;
  }

  void Drop(Entries::iterator it) {
    uses.erase(it->second.use);
    entries.erase(it);  // whoever still holds the picture keeps it
  }

  void Touch(Entry& e) { uses.splice(uses.begin(), uses, e.use); }

  bool Fits(size_t need) const { return live.load() + need <= limits.bytes; }

  void Queue(const CDuiString& path, Entry& e) {
    e.status = Status::Pending;
    e.generation = nextGeneration++;
    jobs.push_back(Job{path, e.generation, kMaxDecodedSide, nullptr});
    wake.notify_all();
  }

  static void AddWaiter(Entry& e, HWND notify) {
    if (notify && std::find(e.waiters.begin(), e.waiters.end(), notify) == e.waiters.end()) e.waiters.push_back(notify);
  }

  static void Announce(Entry& e, bool final) {
    for (HWND w : e.waiters) PostMessageW(w, DecodedMessage(), 0, 0);
    if (final) e.waiters.clear();
  }

  // Frees the least recently used pictures nobody else holds (never keep, nor what waits for a
  // decode) while over the entry bound, or while the outside pictures plus extra exceed the budget.
  void Trim(const CDuiString* keep, size_t extra) {
    auto over = [&] { return entries.size() > limits.entries || !Fits(extra); };
    for (auto use = uses.end(); use != uses.begin() && over();) {
      --use;
      auto it = entries.find(*use);
      const Entry& e = it->second;
      const bool held = e.image && e.image.use_count() > 1;
      const bool waiting = e.status == Status::Pending || e.status == Status::Deferred;
      const bool helps = entries.size() > limits.entries || (e.status == Status::Ready && e.origin == Origin::Outside);
      if ((keep && *use == *keep) || held || waiting || !helps) continue;
      auto next = std::next(use);
      Drop(it);  // an unheld picture is freed here, and live shrinks at once
      use = next;
    }
  }

  bool AnyDeferred() const {
    for (const auto& [path, e] : entries)
      if (e.status == Status::Deferred) return true;
    return false;
  }

  // Memory was freed: the deferred pictures that fit now are queued again.
  void RequeueDeferred() {
    size_t reserved = 0;
    for (auto& [path, e] : entries) {
      if (e.status != Status::Deferred || !Fits(reserved + e.need)) continue;
      reserved += e.need;
      Queue(path, e);
    }
  }

  // Deferred pictures that would fit once the pictures nobody holds are freed: their windows are
  // asked, once, to paint again, since only the UI thread frees cached pictures.
  void NudgeDeferred() {
    size_t unheld = 0;
    for (const auto& [path, e] : entries)
      if (e.status == Status::Ready && e.origin == Origin::Outside && e.image.use_count() == 1)
        unheld += DecodedBytes(e.image->nWidth, e.image->nHeight);
    for (auto& [path, e] : entries) {
      if (e.status != Status::Deferred || e.nudged || live.load() - std::min(unheld, live.load()) + e.need > limits.bytes)
        continue;
      e.nudged = true;
      Announce(e, false);
    }
  }

  // An outside picture, counted in live for as long as anybody holds it.
  static std::shared_ptr<const TImageInfo> Own(const std::shared_ptr<State>& state, TImageInfo* raw) {
    if (!raw) return nullptr;
    const size_t bytes = DecodedBytes(raw->nWidth, raw->nHeight);
    state->live += bytes;
    std::weak_ptr<State> weak = state;
    return std::shared_ptr<const TImageInfo>(raw, [weak, bytes](const TImageInfo* p) {
      CRenderEngine::FreeImage(const_cast<TImageInfo*>(p));
      if (std::shared_ptr<State> s = weak.lock()) {
        s->live -= bytes;
        s->freed = true;
        s->wake.notify_all();  // never takes the lock: this may run while it is held
      }
    });
  }

  static void RunDetached(Job& job) {
    TDecodedImage result;
    TImageFile file;
    if (ReadImageFile(job.path, file)) {
      result.image.reset(DecodeImageFile(file, job.side));
      if (result.image) result.source = SIZE{file.header.width, file.header.height};
    }
    job.done(std::move(result));
  }

  static void RunCached(const std::shared_ptr<State>& state, const Job& job) {
    State& s = *state;
    auto current = [&]() -> Entry* {
      auto it = s.entries.find(job.path);
      return it != s.entries.end() && it->second.generation == job.generation ? &it->second : nullptr;
    };
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (!current()) return;  // dropped or changed on disk since it was queued
    }
    TImageFile file;
    const bool readable = ReadImageFile(job.path, file);
    int width = 0, height = 0;
    if (readable) FitImageSize(file.header.width, file.header.height, job.side, width, height);
    const size_t need = DecodedBytes(width, height);
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      Entry* e = current();
      if (!e) return;
      if (!readable) {
        e->status = Status::Failed;
        return Announce(*e, true);
      }
      if (!s.Fits(need)) {
        // The window paints again and frees what nobody holds; else this waits for freed memory.
        e->status = Status::Deferred;
        e->need = need;
        e->nudged = false;
        return Announce(*e, false);
      }
    }
    std::shared_ptr<const TImageInfo> image = Own(state, DecodeImageFile(file, job.side));
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Entry* e = current()) {
      e->image = image;
      e->status = image ? Status::Ready : Status::Failed;
      Announce(*e, true);
    }
  }

  static void Run(std::shared_ptr<State> state) {
    State& s = *state;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
      auto ready = [&] { return s.stopping || !s.jobs.empty() || s.freed.load(); };
      if (s.AnyDeferred()) {
        s.wake.wait_for(lock, kDeferredRetry, ready);
        s.RequeueDeferred();
        s.NudgeDeferred();
      } else {
        s.wake.wait(lock, ready);
      }
      if (s.stopping) break;
      s.freed = false;
      if (s.jobs.empty()) continue;
      Job job = std::move(s.jobs.front());
      s.jobs.pop_front();
      s.busy = true;
      lock.unlock();
      if (job.generation) RunCached(state, job);
      else RunDetached(job);
      job = Job{};  // its callback's captures go before the lock is taken again
      lock.lock();
      s.busy = false;
      if (s.jobs.empty()) s.idle.notify_all();
    }
    std::deque<Job> dropped = std::move(s.jobs);  // their callbacks never run
    s.jobs.clear();
    s.idle.notify_all();
    lock.unlock();
    dropped.clear();
    if (SUCCEEDED(com)) CoUninitialize();
  }
};

CImageCache::CImageCache(Limits limits) : m_limits(limits), m_state(std::make_shared<State>(limits)) {}

CImageCache::~CImageCache() {
  {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->stopping = true;
  }
  m_state->wake.notify_all();
  if (m_decoder.joinable()) m_decoder.join();
}

CImageCache& CImageCache::Shared() {
  static CImageCache cache{Limits{}};
  return cache;
}

UINT CImageCache::DecodedMessage() {
  static const UINT message = RegisterWindowMessageW(L"DuiLib.ImageDecoded");
  return message;
}

void CImageCache::StartDecoder() {
  if (!m_decoder.joinable()) m_decoder = std::thread(&State::Run, m_state);
}

std::shared_ptr<const TImageInfo> CImageCache::Get(const CDuiString& path, Origin origin, HWND notify) {
  if (path.empty()) return nullptr;
  const Stamp stamp = StampOf(path);
  State& s = *m_state;
  std::unique_lock<std::mutex> lock(s.mutex);
  auto it = s.entries.find(path);
  if (it != s.entries.end() && (!(it->second.stamp == stamp) || it->second.origin != origin)) {
    s.Drop(it);  // changed on disk: a decode still running for it is discarded when it ends
    it = s.entries.end();
  }
  if (it != s.entries.end()) {
    State::Entry& e = it->second;
    s.Touch(e);
    if (e.status == Status::Ready) return e.image;
    if (e.status == Status::Failed) return nullptr;
    State::AddWaiter(e, notify);
    if (e.status == Status::Deferred) {
      if (!s.Fits(e.need)) s.Trim(&path, e.need);
      if (s.Fits(e.need)) s.Queue(path, e);
    }
    return nullptr;
  }

  if (origin == Origin::Skin) {
    // Ships with the client: decoded now, outside the lock, and not counted in the budget.
    lock.unlock();
    TImageInfo* raw = CRenderEngine::LoadImageFile(path);
    std::shared_ptr<const TImageInfo> image;
    if (raw) image.reset(raw, [](const TImageInfo* p) { CRenderEngine::FreeImage(const_cast<TImageInfo*>(p)); });
    lock.lock();
    if (auto again = s.entries.find(path); again != s.entries.end()) s.Drop(again);
    State::Entry& e = s.Insert(path, stamp, origin);
    e.image = image;
    e.status = image ? Status::Ready : Status::Failed;
    s.Trim(&path, 0);
    return image;
  }

  State::Entry& e = s.Insert(path, stamp, origin);
  if (stamp.Missing()) {
    e.status = Status::Failed;  // tried again once the file appears
  } else {
    State::AddWaiter(e, notify);
    s.Queue(path, e);
  }
  s.Trim(&path, 0);
  lock.unlock();
  StartDecoder();
  return nullptr;
}

void CImageCache::ForgetFailed(const CDuiString& path) {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  auto it = m_state->entries.find(path);
  if (it != m_state->entries.end() && it->second.status == Status::Failed) m_state->Drop(it);
}

CImageCache::Status CImageCache::StatusOf(const CDuiString& path) const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  auto it = m_state->entries.find(path);
  return it == m_state->entries.end() ? Status::Absent : it->second.status;
}

void CImageCache::DecodeDetached(const CDuiString& path, int side, std::function<void(TDecodedImage)> done) {
  if (!done) return;
  {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->jobs.push_back(State::Job{path, 0, side, std::move(done)});
    m_state->wake.notify_all();
  }
  StartDecoder();
}

bool CImageCache::WaitForDecodes(DWORD timeoutMs) {
  std::unique_lock<std::mutex> lock(m_state->mutex);
  return m_state->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return m_state->jobs.empty() && !m_state->busy; });
}

size_t CImageCache::Count() const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  return m_state->entries.size();
}

size_t CImageCache::Bytes() const { return m_state->live.load(); }

}  // namespace DuiLib
