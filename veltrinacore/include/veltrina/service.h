#pragma once
// A service of the team: an integration that posts into channels, or a bot.
// (The backend that answers the core's requests is veltrina::backend::Service, not this record.)
#include <memory>
#include <string>

namespace veltrina {

class Service {
 public:
  enum Kind : int { kIntegration = 1, kBot = 2 };

  Service() = default;
  virtual ~Service() = default;
  Service(const Service&) = default;
  Service& operator=(const Service&) = default;

  const std::string& service_id() const { return service_id_; }
  const std::string& name() const { return name_; }
  const std::string& display_name() const { return display_name_; }
  // File name on the static storage; also the image cache name of the avatar.
  const std::string& avatar_url() const { return avatar_url_; }
  Kind kind() const { return kind_; }
  const std::string& bot_uid() const { return bot_uid_; }  // the user a bot speaks as, else empty

  void set_service_id(std::string v) { service_id_ = std::move(v); }
  void set_name(std::string v) { name_ = std::move(v); }
  void set_display_name(std::string v) { display_name_ = std::move(v); }
  void set_avatar_url(std::string v) { avatar_url_ = std::move(v); }
  void set_kind(Kind v) { kind_ = v; }
  void set_bot_uid(std::string v) { bot_uid_ = std::move(v); }

  std::unique_ptr<Service> Clone() const { return std::make_unique<Service>(*this); }

 private:
  std::string service_id_;
  std::string name_;
  std::string display_name_;
  std::string avatar_url_;
  Kind kind_ = kIntegration;
  std::string bot_uid_;
};

}  // namespace veltrina
