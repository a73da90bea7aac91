#pragma once
// A feedback message for WebApi::PostFeedback.
#include <string>

namespace veltrina {

class Feedback {
 public:
  const std::string& client_version() const { return client_version_; }
  const std::string& description() const { return description_; }
  const std::string& title() const { return title_; }
  const std::string& web_api_version() const { return web_api_version_; }

  void set_client_version(const std::string& v) { client_version_ = v; }
  void set_description(const std::string& v) { description_ = v; }
  void set_title(const std::string& v) { title_ = v; }
  void set_web_api_version(const std::string& v) { web_api_version_ = v; }

 private:
  std::string client_version_;
  std::string description_;
  std::string title_;
  std::string web_api_version_;
};

}  // namespace veltrina
