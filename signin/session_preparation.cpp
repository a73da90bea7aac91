#include "signin/session_preparation.h"

#include "main/image_cache.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/service_manager.h"
#include "veltrina/user_manager.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {
namespace {

void FetchPermission(bridge::WindowRef window, UINT done_message) {
  veltrina::WebApi::Api()->GetPermisson([window, done_message](bool ok, const std::string&, int64_t permission) {
    if (!ok) return;
    if (veltrina::Director* director = veltrina::Director::DefaultDirector()) director->set_permission(permission);
    bridge::PostValue(window, done_message, 0);
  });
}

void FetchServices(bridge::WindowRef window, UINT done_message) {
  veltrina::log("updating services");
  veltrina::ServiceManager::DefaultManager()->GetServices(
      [window, done_message](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::Service>>) {
        if (!ok) return;
        veltrina::log("start to download all avatars");
        image_cache::PrefetchAvatars();
        FetchPermission(window, done_message);
      });
}

}  // namespace

void PrepareSessionData(bridge::WindowRef window, UINT done_message) {
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [window, done_message](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::User>>) {
        if (!ok) return;
        veltrina::UserManager::DefaultManager()->GetUsersStatus([window, done_message](bool ok, const std::string&) {
          if (ok) FetchServices(window, done_message);
        });
      });
}

}  // namespace veltrinawnd
