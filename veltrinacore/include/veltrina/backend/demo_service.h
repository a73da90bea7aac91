#pragma once
// The embedded demo service: an in-process team service that makes the client a working program
// with no server anywhere. See veltrinacore/README.md for its accounts, teams and switches.
//
// State lives in <data_folder>\demo-service.json, or demo-service-large.json for the large team
// (written atomically shortly after a change, and at detach and at a clean exit; a corrupt file is
// moved aside with a log line and the demo data is used instead; a file that cannot be read is
// never written over) and uploaded files in <data_folder>\demo-files\. Building one is
// cheap: the folder is read on the service's own thread, which serves the requests in order. Its
// "life" (teammates posting, presence changing, the bot answering) runs on its own thread every
// life_interval.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "veltrina/backend/service.h"

namespace veltrina::backend {

struct DemoOptions {
  // Folder of the service's state; empty: <Documents>\Veltrina.
  std::string data_folder;
  // Period of the simulated life; zero stops it (the bot still answers, after bot_delay).
  std::chrono::milliseconds life_interval{8000};
  std::chrono::milliseconds bot_delay{1500};
  // When above zero, the live connection "drops" this often: connection state 1 (reconnecting) is
  // reported, and the next Director::Connect brings it back (state 0).
  std::chrono::milliseconds connection_drop_interval{0};
  // Seed of the life's choices (same seed, same story).
  uint32_t seed = 20261206;
};

class DemoService : public Service {
 public:
  // Reads the options' client-version switches and the team size from <data_folder>\demo-config.json
  // and the environment (README.md).
  explicit DemoService(DemoOptions options = DemoOptions());
  ~DemoService() override;
  DemoService(const DemoService&) = delete;
  DemoService& operator=(const DemoService&) = delete;

  void Attach(EventSink* sink) override;
  void Detach() override;
  void Call(const Request& request, std::function<void(Reply)> answer) override;
  bool ServesUrl(const std::string& url) const override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrina::backend
