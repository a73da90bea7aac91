#include "veltrina/auth.h"

#include "core.h"
#include "records_json.h"
#include "veltrina/web_api.h"

namespace veltrina {

using internal::Core;
using internal::json;

Auth* Auth::SharedAuth() {
  static Auth instance;
  return &instance;
}

void Auth::PostLoginRequest(
    const std::string& username, const std::string& password, const std::string& team_id,
    const std::string& team_subdomain,
    std::function<void(bool, int64_t, std::unique_ptr<Token>, std::unique_ptr<User>)> callback) {
  json params{{"username", username}, {"password", password}, {"team_id", team_id}, {"team_subdomain", team_subdomain}};
  if (auto setting = WebApiSetting::CurrentInstance()) {
    params["client_id"] = setting->client_id();
    params["device_id"] = setting->device_id();
  }
  Core::Get().Call("auth.login", params, [callback = std::move(callback)](const backend::Reply& reply) {
    if (!callback) return;
    if (!reply.ok) {
      callback(false, reply.code, nullptr, nullptr);
      return;
    }
    json body = internal::ReplyBody(reply);
    const json* token = internal::Member(body, "token");
    const json* user = internal::Member(body, "user");
    if (!token || !token->is_object() || !user || !user->is_object()) {
      callback(false, 500, nullptr, nullptr);  // an answer we cannot read
      return;
    }
    callback(true, reply.code, std::make_unique<Token>(internal::TokenFrom(*token)),
             std::make_unique<User>(internal::UserFrom(*user)));
  });
}

}  // namespace veltrina
