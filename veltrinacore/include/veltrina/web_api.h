#pragma once
// Requests of the service's web API that are not tied to a manager.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "veltrina/callbacks.h"

namespace veltrina {

class Feedback;

// The client's identity for the web API, installed with ResetInstance before signing in.
class WebApiSetting {
 public:
  WebApiSetting(std::string client_id, std::string client_secret, std::string platform, std::string web_api_version,
                std::string device_id, std::string distribution_channel);

  // Installs the settings; the library owns `setting` from then on (null removes them).
  static void ResetInstance(WebApiSetting* setting);
  // A copy of the installed settings; null when none.
  static std::unique_ptr<WebApiSetting> CurrentInstance();

  const std::string& client_id() const { return client_id_; }
  const std::string& client_secret() const { return client_secret_; }
  const std::string& platform() const { return platform_; }
  const std::string& web_api_version() const { return web_api_version_; }
  const std::string& device_id() const { return device_id_; }
  const std::string& distribution_channel() const { return distribution_channel_; }

 private:
  std::string client_id_;
  std::string client_secret_;
  std::string platform_;
  std::string web_api_version_;
  std::string device_id_;
  std::string distribution_channel_;
};

class WebApi {
 public:
  static WebApi* Api();

  // Finds a team by subdomain. Failure codes: 404 no such team, -1 service unreachable.
  void GetTeamLiteBySubdomain(const std::string& subdomain,
                              std::function<void(bool ok, int64_t code, const std::string& team_id,
                                                 const std::string& team_name, const std::string& team_subdomain)>
                                  callback);

  // The current client release. Parameters: success, error code (0 on success), version code,
  // version name, description, forced update, release time (seconds since 1970), download
  // address, error text.
  void GetClientVersion(std::function<void(bool ok, int64_t code, int64_t version_code, const std::string& version_name,
                                           const std::string& description, bool force, int64_t release_time,
                                           const std::string& download_url, const std::string& error)>
                            callback);

  // The signed-in user's permission value (bits of Director::kPermission...).
  void GetPermisson(std::function<void(bool ok, const std::string& error, int64_t permission)> callback);

  // Replaces the initial password of the signed-in account (at least 6 bytes of UTF-8).
  // Failure codes: 400 refused, -1 service unreachable.
  void PutInitPassword(const std::string& new_password, std::function<void(bool ok, int64_t code)> callback);

  void PostFeedback(const Feedback& feedback, ResultCallback callback);

 private:
  WebApi() = default;
};

}  // namespace veltrina
