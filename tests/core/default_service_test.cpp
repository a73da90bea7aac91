// With no service installed, one demo service answers from <Documents>\Veltrina; installing another
// switches every call over at once.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "veltrina/backend/service.h"
#include "veltrina/log.h"
#include "veltrina/web_api.h"

namespace {

using std::chrono::milliseconds;

// The team ids answered to lookups that `threads` threads, released at once, make until `more` is false.
std::set<std::string> Lookups(int threads, const std::function<bool()>& more) {
  auto ids = std::make_shared<std::pair<std::mutex, std::set<std::string>>>();  // callbacks may come late
  std::atomic<bool> go{false};
  std::vector<std::thread> callers;
  for (int t = 0; t < threads; ++t)
    callers.emplace_back([&] {
      while (!go) std::this_thread::yield();
      do veltrina::WebApi::Api()->GetTeamLiteBySubdomain("demo", [ids](bool, int64_t, auto& id, auto&, auto&) {
        std::lock_guard<std::mutex> lock(ids->first);
        ids->second.insert(id);
      });
      while (more());
    });
  go = true;
  for (auto& c : callers) c.join();
  std::this_thread::sleep_for(milliseconds(1000));  // the answers, late ones included
  EXPECT_TRUE(veltrina::backend::WaitForCoreIdle());
  std::lock_guard<std::mutex> lock(ids->first);
  return ids->second;
}

// The first calls, from many threads at once, build one demo service; it reads, seeds and saves its
// state on its own thread.
TEST(DefaultService, IsOneDemoServiceBuiltOffTheCallersThreads) {
  // A fresh start: an earlier group in this run may have left the default demo's state here.
  wchar_t documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents)));
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(documents) / L"Veltrina", ignored);
  std::mutex mutex;
  std::vector<DWORD> seeded_on;
  veltrina::set_log_observer([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    if (line.find("starts from its demo data") != std::string::npos) seeded_on.push_back(GetCurrentThreadId());
  });
  std::set<DWORD> callers;
  EXPECT_EQ(Lookups(16, [&] {
              std::lock_guard<std::mutex> lock(mutex);
              callers.insert(GetCurrentThreadId());
              return false;
            }), std::set<std::string>{"t-demo"});
  veltrina::set_log_observer(nullptr);
  ASSERT_EQ(seeded_on.size(), 1u);
  EXPECT_FALSE(callers.count(seeded_on[0]) || seeded_on[0] == GetCurrentThreadId());
  EXPECT_NE(GetFileAttributesW((documents + std::wstring(L"\\Veltrina\\demo-service.json")).c_str()),
            INVALID_FILE_ATTRIBUTES);
}

// Answers every call with its own name; slow to detach, as one still serving queued requests is.
struct Named : veltrina::backend::Service {
  explicit Named(std::string name) : name_(std::move(name)) {}
  void Attach(veltrina::backend::EventSink*) override {}
  void Detach() override { std::this_thread::sleep_for(milliseconds(200)); }
  void Call(const veltrina::backend::Request&, std::function<void(veltrina::backend::Reply)> answer) override {
    answer({true, 0, "", "{\"team_id\":\"" + name_ + "\"}", ""});
  }
  bool ServesUrl(const std::string&) const override { return false; }
  std::string name_;
};

TEST(DefaultService, CallsDuringAnInstallAreAnsweredByTheOldServiceOrTheNew) {
  veltrina::backend::InstallService(std::make_shared<Named>("old"));
  std::atomic<bool> installed{false};
  std::thread installer([&] {
    std::this_thread::sleep_for(milliseconds(30));
    veltrina::backend::InstallService(std::make_shared<Named>("new"));
    installed = true;
  });
  std::set<std::string> ids = Lookups(4, [&] { return !installed; });
  installer.join();
  ids.erase("old");  // if the callers were quick enough
  EXPECT_EQ(ids, std::set<std::string>{"new"});
}

}  // namespace
