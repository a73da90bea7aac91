#pragma once
// The account store: which teams signed in on this machine, on which server (Team::server), with
// which user name, and the last one. Kept as "accounts.json" in the given folder, written atomically. A corrupt file is moved
// aside (to "accounts.json.corrupt-<time>") with a log line and the store starts empty.
#include <memory>
#include <string>

#include "veltrina/team.h"

namespace veltrina {

class AccountManager {
 public:
  explicit AccountManager(std::string folder);  // UTF-8

  // Opens the store, creating the folder when needed. Returns false (never dies, despite the
  // name) when the folder cannot be used; every other call then answers empty.
  bool InitOrDie();
  // Team id of the last Register, empty when none.
  std::string LastTeamId();
  // The team of the last Register, with its server; null when none.
  std::unique_ptr<Team> LastTeam();
  // The registered team with this id: the last team when it has the id, else the one on the
  // embedded demo; null when the id is not known.
  std::unique_ptr<Team> TeamForTeamId(const std::string& team_id);
  // User name last registered for the team of that id (chosen as by TeamForTeamId), empty when none.
  std::string UsernameForTeamId(const std::string& team_id);
  // User name last registered for the team on its server, empty when none.
  std::string UsernameForTeam(const Team& team);
  // Records the team, its server and the user name and makes the team the last one; false if it
  // cannot be saved.
  bool Register(const Team& team, const std::string& username);

 private:
  std::string folder_;
  bool ready_ = false;
};

}  // namespace veltrina
