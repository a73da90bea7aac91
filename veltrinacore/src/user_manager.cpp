#include "veltrina/user_manager.h"

#include "core.h"
#include "records_json.h"

namespace veltrina {

using internal::Core;
using internal::json;

UserManager* UserManager::DefaultManager() {
  static UserManager instance;
  return &instance;
}

void UserManager::GetTeamMembers(ListCallback<User> callback) {
  Core::Get().Call("users.list", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    if (!reply.ok) {
      if (callback) callback(false, internal::ReplyError(reply), {});
      return;
    }
    // A large team's list is read member by member rather than as one document.
    std::vector<User> users;
    if (!internal::ForEachListed(reply.body, "users", [&](const json& u) { users.push_back(internal::UserFrom(u)); }))
      users.clear();
    {
      Core& core = Core::Get();
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      core.cache().SetUsers(users);
    }
    std::vector<std::unique_ptr<User>> out;
    for (const User& u : users) out.push_back(u.Clone());
    if (callback) callback(true, "", std::move(out));
  });
}

void UserManager::GetUsersStatus(ResultCallback callback) {
  Core::Get().Call("users.status", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    if (!reply.ok) {
      if (callback) callback(false, internal::ReplyError(reply));
      return;
    }
    json body = internal::ReplyBody(reply);
    if (const json* list = internal::Member(body, "statuses"); list && list->is_array()) {
      Core& core = Core::Get();
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      for (const json& s : *list) {
        if (User* u = core.cache().FindUser(internal::Str(s, "uid"))) u->set_status(static_cast<int>(internal::Int(s, "status")));
      }
    }
    if (callback) callback(true, "");
  });
}

std::vector<std::unique_ptr<User>> UserManager::FetchUsersFromCache() {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<User>> out;
  for (const User& u : cache.users) out.push_back(u.Clone());
  return out;
}

std::vector<std::unique_ptr<User>> UserManager::FetchUsersFromCache(User::State state) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<User>> out;
  for (const User& u : cache.users)
    if (u.state() == state) out.push_back(u.Clone());
  return out;
}

std::unique_ptr<User> UserManager::FetchUserFromCacheByUid(const std::string& uid) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  const User* u = cache.FindUser(uid);
  return u ? u->Clone() : nullptr;
}

void UserManager::AddUserStatusHandler(UserStatusHandler* handler) { Core::Get().status_handlers().Add(handler); }
void UserManager::RemoveUserStatusHandler(UserStatusHandler* handler) { Core::Get().status_handlers().Remove(handler); }

}  // namespace veltrina
