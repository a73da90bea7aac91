#include "main/carried_drafts.h"

#include <map>

namespace veltrinawnd::carried_drafts {

namespace {
std::map<std::string, Texts>& Kept() {
  static std::map<std::string, Texts>* kept = new std::map<std::string, Texts>();  // lives for the process
  return *kept;
}
}  // namespace

std::string SessionKey(const std::string& server, const std::string& team_id, const std::string& uid) {
  return server + '\n' + team_id + '\n' + uid;
}

void Keep(const std::string& session_key, Texts texts) {
  Texts& kept = Kept()[session_key];
  for (auto& text : texts) kept.push_back(std::move(text));
}

Texts Take(const std::string& session_key) {
  auto found = Kept().find(session_key);
  if (found == Kept().end()) return {};
  Texts texts = std::move(found->second);
  Kept().erase(found);
  return texts;
}

}  // namespace veltrinawnd::carried_drafts
