#pragma once
// Team members and their presence.
#include <memory>
#include <string>
#include <vector>

#include "veltrina/callbacks.h"
#include "veltrina/handlers.h"
#include "veltrina/user.h"

namespace veltrina {

class UserManager {
 public:
  static UserManager* DefaultManager();

  // Loads every member of the current team into the cache; the list is also handed over.
  void GetTeamMembers(ListCallback<User> callback);
  // Loads everyone's presence into the cache.
  void GetUsersStatus(ResultCallback callback);

  // Cached users, in the service's order.
  std::vector<std::unique_ptr<User>> FetchUsersFromCache();
  // Cached users in the given state only.
  std::vector<std::unique_ptr<User>> FetchUsersFromCache(User::State state);
  // Null when the uid is not cached.
  std::unique_ptr<User> FetchUserFromCacheByUid(const std::string& uid);

  void AddUserStatusHandler(UserStatusHandler* handler);
  void RemoveUserStatusHandler(UserStatusHandler* handler);

 private:
  UserManager() = default;
};

}  // namespace veltrina
