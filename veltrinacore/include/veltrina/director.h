#pragma once
// The session root: who is signed in to which team, the connection and the permission value.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "veltrina/entity_manager.h"
#include "veltrina/handlers.h"
#include "veltrina/team.h"
#include "veltrina/token.h"
#include "veltrina/user.h"

namespace veltrina {

class Director {
 public:
  // Permission bits HasPermission tests (the value comes from WebApi::GetPermisson).
  static constexpr int64_t kPermissionCreateChannel = 0x2;
  static constexpr int64_t kPermissionCreateGroup = 0x4;
  static constexpr int64_t kPermissionConfigureServices = 0x4000;

  Director();
  ~Director();
  Director(const Director&) = delete;
  Director& operator=(const Director&) = delete;

  // Copies the session's user, team and token. database_folder is where the core may keep its
  // files (UTF-8 path; empty: none). The last four strings name the client (an extra, the
  // device id, the client version and the source); all may be empty. Returns true.
  // When the folder holds this team and user's caches from an earlier run, they are loaded before
  // Init returns: the Fetch...FromCache calls and permission() answer from them until the
  // service's answers replace them. From then on the caches are written back there a few seconds
  // after they change, on the core thread.
  bool Init(const User& me, const Team& team, int64_t flags, const Token& token, const std::string& database_folder,
            const std::string& extra, const std::string& device_id, const std::string& client_version,
            const std::string& source);

  // The session installed by the client, or null before the first ResetDefaultDirector.
  static Director* DefaultDirector();
  // Installs a session; the library owns it from then on. The previous one is kept alive (never
  // deleted) so that pointers handed out earlier stay valid.
  static void ResetDefaultDirector(Director* director);

  // Connects the live event stream; the callback reports whether it is up. Connection changes
  // later reach the ConnectionStateHandlers.
  void Connect(uint32_t timeout_seconds, std::function<void(bool ok)> callback);

  // The signed-in user and the team as given to Init (null before Init).
  const User* me() const;
  const Team* current_team() const;
  const Token* token() const;
  const std::string& database_folder() const;
  EntityManager* entity_manager();

  bool HasPermission(int64_t permission) const;  // all bits of `permission` granted
  void set_permission(int64_t permission);
  int64_t permission() const;
  // Whether Init loaded the caches from disk.
  bool restored_from_disk() const;
  // Writes the caches to the database folder now (on the core thread, if they changed), rather
  // than after the usual delay; for example before the process exits.
  void SaveCaches();

  void AddConnectionStateHandler(ConnectionStateHandler* handler);
  void RemoveConnectionStateHandler(ConnectionStateHandler* handler);

 private:
  mutable std::mutex mutex_;
  std::unique_ptr<User> me_;
  std::unique_ptr<Team> team_;
  std::unique_ptr<Token> token_;
  std::string database_folder_;
  std::string device_id_;
  std::string client_version_;
  int64_t permission_ = 0;
  bool restored_from_disk_ = false;
  EntityManager entity_manager_;
  std::vector<std::unique_ptr<User>> retired_users_;
  std::vector<std::unique_ptr<Team>> retired_teams_;
  std::vector<std::unique_ptr<Token>> retired_tokens_;
};

}  // namespace veltrina
