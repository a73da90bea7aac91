#include "veltrina/user_manager.h"

#include "answer_reading.h"
#include "core.h"
#include "service_answers.h"

namespace veltrina {

using internal::Core;
using internal::json;

UserManager* UserManager::DefaultManager() {
  static UserManager instance;
  return &instance;
}

void UserManager::GetTeamMembers(ListCallback<User> callback) {
  Core::Get().Call("users.list", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    std::vector<User> users;
    std::string why;
    auto take = [&](std::string* error) { return internal::ReadUsersAnswer(reply.body, &users, error); };
    if (!internal::ReadAnswer(reply, "users.list", take, &why)) {
      if (callback) callback(false, why, {});
      return;
    }
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
    std::vector<internal::UserStatus> statuses;
    std::string why;
    auto take = [&](std::string* error) { return internal::ReadStatusesAnswer(reply.body, &statuses, error); };
    if (!internal::ReadAnswer(reply, "users.status", take, &why)) {
      if (callback) callback(false, why);
      return;
    }
    {
      Core& core = Core::Get();
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      for (const internal::UserStatus& s : statuses)
        if (User* u = core.cache().FindUser(s.uid)) u->set_status(s.status);
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
