#include "veltrina/web_api.h"

#include <mutex>

#include "core.h"
#include "immortal.h"
#include "veltrina/feedback.h"

namespace veltrina {

using internal::Core;
using internal::json;

namespace {

using internal::Immortal;

std::mutex& SettingMutex() {
  static Immortal<std::mutex> mutex;
  return mutex.get();
}

std::unique_ptr<WebApiSetting>& Setting() {
  static Immortal<std::unique_ptr<WebApiSetting>> setting;
  return setting.get();
}

}  // namespace

WebApiSetting::WebApiSetting(std::string client_id, std::string client_secret, std::string platform,
                             std::string web_api_version, std::string device_id, std::string distribution_channel)
    : client_id_(std::move(client_id)),
      client_secret_(std::move(client_secret)),
      platform_(std::move(platform)),
      web_api_version_(std::move(web_api_version)),
      device_id_(std::move(device_id)),
      distribution_channel_(std::move(distribution_channel)) {}

void WebApiSetting::ResetInstance(WebApiSetting* setting) {
  std::unique_ptr<WebApiSetting> owned(setting);
  std::lock_guard<std::mutex> lock(SettingMutex());
  Setting().swap(owned);  // the previous one dies with `owned`
}

std::unique_ptr<WebApiSetting> WebApiSetting::CurrentInstance() {
  std::lock_guard<std::mutex> lock(SettingMutex());
  return Setting() ? std::make_unique<WebApiSetting>(*Setting()) : nullptr;
}

WebApi* WebApi::Api() {
  static WebApi instance;
  return &instance;
}

void WebApi::GetTeamLiteBySubdomain(
    const std::string& subdomain,
    std::function<void(bool, int64_t, const std::string&, const std::string&, const std::string&)> callback) {
  Core::Get().Call("team.lookup", json{{"subdomain", subdomain}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     if (!callback) return;
                     json body = internal::ReplyBody(reply);
                     std::string id = internal::Str(body, "team_id");
                     if (!reply.ok || id.empty()) {
                       callback(false, reply.ok ? 404 : reply.code, "", "", "");
                       return;
                     }
                     callback(true, reply.code, id, internal::Str(body, "team_name"),
                              internal::Str(body, "team_subdomain"));
                   });
}

void WebApi::GetClientVersion(std::function<void(bool, int64_t, int64_t, const std::string&, const std::string&, bool,
                                                 int64_t, const std::string&, const std::string&)>
                                  callback) {
  Core::Get().Call("client.version", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    if (!callback) return;
    if (!reply.ok) {
      callback(false, reply.code, 0, "", "", false, 0, "", internal::ReplyError(reply));
      return;
    }
    json body = internal::ReplyBody(reply);
    callback(true, 0, internal::Int(body, "version_code"), internal::Str(body, "version_name"),
             internal::Str(body, "description"), internal::Bool(body, "force"), internal::Int(body, "release_time"),
             internal::Str(body, "download_url"), "");
  });
}

void WebApi::GetPermisson(std::function<void(bool, const std::string&, int64_t)> callback) {
  Core::Get().Call("web.permission", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    if (!callback) return;
    if (!reply.ok) {
      callback(false, internal::ReplyError(reply), 0);
      return;
    }
    callback(true, "", internal::Int(internal::ReplyBody(reply), "permission"));
  });
}

void WebApi::PutInitPassword(const std::string& new_password, std::function<void(bool, int64_t)> callback) {
  Core::Get().Call("auth.init_password", json{{"password", new_password}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     if (callback) callback(reply.ok, reply.code);
                   });
}

void WebApi::PostFeedback(const Feedback& feedback, ResultCallback callback) {
  json params{{"client_version", feedback.client_version()},
              {"description", feedback.description()},
              {"title", feedback.title()},
              {"web_api_version", feedback.web_api_version()}};
  Core::Get().Call("web.feedback", params, [callback = std::move(callback)](const backend::Reply& reply) {
    if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
  });
}

}  // namespace veltrina
