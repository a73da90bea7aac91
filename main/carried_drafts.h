#pragma once
// What the composer held when the service refused the session (its token expired or was revoked):
// the main window closes for a new sign-in, and the next main window of the same server, team
// and user gets the texts back: the composer's in its composer, those of sends without an answer
// in their conversations. UI thread only.
#include <string>
#include <utility>
#include <vector>

namespace veltrinawnd::carried_drafts {

// Conversation id and text; an empty id: what the composer itself held.
using Texts = std::vector<std::pair<std::string, std::wstring>>;

// Who the texts belong to: server, team id and user id of the signed-in session.
std::string SessionKey(const std::string& server, const std::string& team_id, const std::string& uid);
// Keeps the texts for that session, after any it holds already.
void Keep(const std::string& session_key, Texts texts);
// Takes the texts kept for that session; texts of other sessions stay.
Texts Take(const std::string& session_key);

}  // namespace veltrinawnd::carried_drafts
