#include "veltrina/director.h"

#include <atomic>
#include <vector>

#include "immortal.h"
#include "core.h"

namespace veltrina {

using internal::Core;
using internal::json;

namespace {

using internal::Immortal;

std::atomic<Director*> g_default{nullptr};

std::mutex& RetiredMutex() {
  static Immortal<std::mutex> mutex;
  return mutex.get();
}

// Directors replaced by ResetDefaultDirector: kept alive so that pointers given out stay valid.
std::vector<Director*>& Retired() {
  static Immortal<std::vector<Director*>> retired;
  return retired.get();
}

}  // namespace

Director::Director() = default;
Director::~Director() = default;

bool Director::Init(const User& me, const Team& team, int64_t /*flags*/, const Token& token,
                    const std::string& database_folder, const std::string& /*extra*/, const std::string& device_id,
                    const std::string& client_version, const std::string& /*source*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Pointers from me() and current_team() stay valid: earlier records are kept, not freed.
  if (me_) retired_users_.push_back(std::move(me_));
  if (team_) retired_teams_.push_back(std::move(team_));
  if (token_) retired_tokens_.push_back(std::move(token_));
  me_ = me.Clone();
  team_ = team.Clone();
  token_ = token.Clone();
  database_folder_ = database_folder;
  device_id_ = device_id;
  client_version_ = client_version;
  int64_t permission = 0;
  restored_from_disk_ = Core::Get().disk().Open(database_folder, team.server(), team.team_id(), me.uid(),
                                                &Core::Get().cache(), &permission);
  if (restored_from_disk_) permission_ = permission;
  return true;
}

Director* Director::DefaultDirector() { return g_default.load(); }

void Director::ResetDefaultDirector(Director* director) {
  Director* old = g_default.exchange(director);
  if (old && old != director) {
    std::lock_guard<std::mutex> lock(RetiredMutex());
    Retired().push_back(old);
  }
}

void Director::Connect(uint32_t timeout_seconds, std::function<void(bool ok)> callback) {
  Core::Get().Call("session.connect", json{{"timeout", timeout_seconds}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     if (callback) callback(reply.ok);
                   });
}

const User* Director::me() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return me_.get();
}

const Team* Director::current_team() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return team_.get();
}

const Token* Director::token() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return token_.get();
}

const std::string& Director::database_folder() const { return database_folder_; }

EntityManager* Director::entity_manager() { return &entity_manager_; }

bool Director::HasPermission(int64_t permission) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return permission != 0 && (permission_ & permission) == permission;
}

void Director::set_permission(int64_t permission) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    permission_ = permission;
  }
  Core::Get().disk().SetPermission(permission);
}

int64_t Director::permission() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return permission_;
}

bool Director::restored_from_disk() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return restored_from_disk_;
}

void Director::SaveCaches() { Core::Get().disk().SaveNow(); }

void Director::AddConnectionStateHandler(ConnectionStateHandler* handler) {
  Core::Get().connection_handlers().Add(handler);
}

void Director::RemoveConnectionStateHandler(ConnectionStateHandler* handler) {
  Core::Get().connection_handlers().Remove(handler);
}

}  // namespace veltrina
