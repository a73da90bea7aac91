#include "signin/session_preparation.h"

#include <functional>
#include <utility>

#include "main/image_cache.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/service_manager.h"
#include "veltrina/user_manager.h"
#include "veltrina/web_api.h"

namespace veltrinawnd {
namespace {

using Done = std::function<void()>;

void FetchPermission(Done done) {
  veltrina::WebApi::Api()->GetPermisson([done = std::move(done)](bool ok, const std::string&, int64_t permission) {
    if (!ok) return;
    if (veltrina::Director* director = veltrina::Director::DefaultDirector()) director->set_permission(permission);
    done();
  });
}

void FetchServices(Done done) {
  veltrina::log("updating services");
  veltrina::ServiceManager::DefaultManager()->GetServices(
      [done = std::move(done)](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::Service>>) {
        if (!ok) return;
        veltrina::log("start to download all avatars");
        image_cache::PrefetchAvatars();
        FetchPermission(done);
      });
}

}  // namespace

void PrepareSessionData(bridge::WindowRef window, UINT done_message) {
  Done done = [window, done_message] { bridge::PostValue(window, done_message, 0); };
  veltrina::Director* director = veltrina::Director::DefaultDirector();
  if (director && director->restored_from_disk()) {
    // The caches from the last run paint the main window now; the answers below replace them.
    veltrina::log("Caches restored from disk; preparing the session in the background");
    bridge::PostValue(window, done_message, 0);
    done = [] {};
  }
  veltrina::UserManager::DefaultManager()->GetTeamMembers(
      [done](bool ok, const std::string&, std::vector<std::unique_ptr<veltrina::User>>) {
        if (!ok) return;
        veltrina::UserManager::DefaultManager()->GetUsersStatus([done](bool ok, const std::string&) {
          if (ok) FetchServices(done);
        });
      });
}

}  // namespace veltrinawnd
