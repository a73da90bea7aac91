#include "veltrina/account_manager.h"

#include <mutex>

#include "account_document.h"
#include "immortal.h"
#include "json_store.h"
#include "records_json.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace veltrina {

using internal::json;

namespace {

using internal::Immortal;

std::mutex& StoreMutex() {  // several AccountManager objects may share a folder
  static Immortal<std::mutex> mutex;
  return mutex.get();
}

std::string StorePath(const std::string& folder) {
  if (folder.empty()) return "accounts.json";
  char last = folder.back();
  return folder + ((last == '\\' || last == '/') ? "" : "\\") + "accounts.json";
}

// The store's document; with writable, whether it may be written over (not when the file is
// there but could not be read or moved aside: that would lose what it holds).
json Load(const std::string& folder, bool* writable = nullptr) {
  json document;
  internal::LoadResult result = internal::LoadJsonFile(StorePath(folder), &document);
  if (writable) *writable = result != internal::LoadResult::kUnreadable;
  if (result != internal::LoadResult::kLoaded) return json::object();
  if (!internal::IsAccountDocument(document)) {
    bool moved = internal::MoveAside(StorePath(folder));  // not ours to overwrite
    if (writable) *writable = moved;
    return json::object();
  }
  return document;
}

// The team the id-only calls mean: the last one when it has the id, else the one on the demo.
const json* FindById(const json& document, const std::string& team_id) {
  if (internal::Str(document, "last_team_id") == team_id)
    if (const json* t = internal::FindAccountTeam(document, team_id, internal::Str(document, "last_server"))) return t;
  return internal::FindAccountTeam(document, team_id, std::string());
}

std::unique_ptr<Team> TeamOf(const json& entry) {
  auto team = std::make_unique<Team>(internal::TeamFrom(entry));
  team->set_server(internal::Str(entry, "server"));
  return team;
}

}  // namespace

AccountManager::AccountManager(std::string folder) : folder_(std::move(folder)) {}

bool AccountManager::InitOrDie() {
  FileUtils* files = FileUtils::SharedFileUtils();
  ready_ = files->IsDirectoryExist(folder_) || files->MakeDirectory(folder_);
  if (!ready_) log("Account store folder %s cannot be used", folder_.c_str());
  return ready_;
}

std::string AccountManager::LastTeamId() {
  if (!ready_) return {};
  std::lock_guard<std::mutex> lock(StoreMutex());
  json document = Load(folder_);
  std::string id = internal::Str(document, "last_team_id");
  return internal::FindAccountTeam(document, id, internal::Str(document, "last_server")) ? id : std::string();
}

std::unique_ptr<Team> AccountManager::LastTeam() {
  if (!ready_) return nullptr;
  std::lock_guard<std::mutex> lock(StoreMutex());
  json document = Load(folder_);
  const json* t = internal::FindAccountTeam(document, internal::Str(document, "last_team_id"),
                                            internal::Str(document, "last_server"));
  return t ? TeamOf(*t) : nullptr;
}

std::unique_ptr<Team> AccountManager::TeamForTeamId(const std::string& team_id) {
  if (!ready_) return nullptr;
  std::lock_guard<std::mutex> lock(StoreMutex());
  json document = Load(folder_);
  const json* t = FindById(document, team_id);
  return t ? TeamOf(*t) : nullptr;
}

std::string AccountManager::UsernameForTeamId(const std::string& team_id) {
  if (!ready_) return {};
  std::lock_guard<std::mutex> lock(StoreMutex());
  json document = Load(folder_);
  const json* t = FindById(document, team_id);
  return t ? internal::Str(*t, "username") : std::string();
}

std::string AccountManager::UsernameForTeam(const Team& team) {
  if (!ready_) return {};
  std::lock_guard<std::mutex> lock(StoreMutex());
  json document = Load(folder_);
  const json* t = internal::FindAccountTeam(document, team.team_id(), team.server());
  return t ? internal::Str(*t, "username") : std::string();
}

bool AccountManager::Register(const Team& team, const std::string& username) {
  if (!ready_ || team.team_id().empty()) return false;
  std::lock_guard<std::mutex> lock(StoreMutex());
  bool writable = false;
  json document = Load(folder_, &writable);
  if (!writable) return false;
  json teams = json::array();
  if (const json* old = internal::Member(document, "teams"); old && old->is_array())
    for (const json& t : *old) {
      const bool same = internal::Str(t, "team_id") == team.team_id() && internal::Str(t, "server") == team.server();
      if (t.is_object() && !same) teams.push_back(t);
    }
  json entry = internal::ToValue(team);
  entry["username"] = username;
  if (!team.server().empty()) entry["server"] = team.server();
  teams.push_back(entry);
  document["teams"] = teams;
  document["last_team_id"] = team.team_id();
  if (team.server().empty()) document.erase("last_server");
  else document["last_server"] = team.server();
  return internal::SaveJsonFile(StorePath(folder_), document);
}

}  // namespace veltrina
