#include "cache_document.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "cache.h"
#include "disk_cache.h"
#include "records_json.h"
#include "service_answers.h"

namespace veltrina::internal {

namespace {

std::vector<const Conversation*> KeptConversations(const Cache& cache) {
  std::string first_channel;
  for (const Channel& c : cache.channels)
    if (c.is_member() && c.type() == Channel::kPublic) {
      first_channel = c.channel_id();
      break;
    }
  std::vector<const Conversation*> kept;
  for (const auto& [id, c] : cache.messages)
    if (c.viewed || id == first_channel) kept.push_back(&c);
  std::sort(kept.begin(), kept.end(),
            [](const Conversation* a, const Conversation* b) { return a->touched > b->touched; });
  if (kept.size() > DiskCache::kMaxConversations) kept.resize(DiskCache::kMaxConversations);
  // Written least recently touched first: read back in file order, they are touched again in the
  // same order, and the next start keeps the same conversations.
  std::reverse(kept.begin(), kept.end());
  return kept;
}

bool ArrayOfObjects(const json& document, const char* key) {
  const json* list = Member(document, key);
  return list && list->is_array() &&
         std::all_of(list->begin(), list->end(), [](const json& v) { return v.is_object(); });
}

}  // namespace

std::string CacheDocumentText(const Cache& cache, const std::string& team_id, const std::string& uid,
                              int64_t permission) {
  // Written a record at a time, each through its own small JSON value: the whole document as
  // JSON values first took several times the text's size at once, and a large team's save
  // raised the process's memory by megabytes every few seconds. The members come in the order
  // a JSON object keeps them (by name), so the text is what dumping such an object gives.
  std::string out;
  auto array = [&out](const char* key, const auto& fill) {
    out += '"';
    out += key;
    out += "\":[";
    bool first = true;
    fill([&out, &first](const json& value) {
      if (!first) out += ',';
      first = false;
      out += Dump(value);
    });
    out += ']';
  };
  out += '{';
  array("channels", [&](const auto& add) {
    for (const Channel& c : cache.channels) add(ToValue(c));
  });
  out += ",\"format\":" + std::to_string(DiskCache::kFormat) + ',';
  array("ims", [&](const auto& add) {
    for (const IM& i : cache.ims) add(ToValue(i));
  });
  out += ',';
  array("messages", [&](const auto& add) {
    for (const Conversation* c : KeptConversations(cache)) {
      size_t skip = c->list.size() > DiskCache::kPage ? c->list.size() - DiskCache::kPage : 0;
      for (size_t i = skip; i < c->list.size(); ++i) add(ToValue(c->list[i].ToMessage(c->id)));
    }
  });
  out += ",\"permission\":" + std::to_string(permission);
  out += ",\"team_id\":" + Dump(json(team_id));
  out += ",\"uid\":" + Dump(json(uid)) + ',';
  array("unread", [&](const auto& add) {
    for (const auto& [id, counts] : cache.unread)
      add(json{{"channel_id", id}, {"num_unread", counts.num_unread}, {"num_new", counts.num_new}});
  });
  out += ',';
  array("users", [&](const auto& add) {
    for (const User& u : cache.users) {
      json lean = ToValue(u);
      lean.erase("status");
      add(lean);
    }
  });
  out += '}';
  return out;
}

bool ApplyCacheDocument(const json& document, const std::string& team_id, const std::string& uid, Cache* cache,
                        int64_t* permission, std::string* why) {
  const json* format = Member(document, "format");
  if (!format || !format->is_number_integer() || format->get<int64_t>() != DiskCache::kFormat) {
    *why = "another format version";
    return false;
  }
  if (Str(document, "team_id") != team_id || Str(document, "uid") != uid) {
    *why = "another team or user";
    return false;
  }
  const json* granted = Member(document, "permission");
  if (!granted || !granted->is_number_integer()) {
    *why = "no proper permission";
    return false;
  }
  for (const char* part : {"users", "channels", "ims", "unread", "messages"})
    if (!ArrayOfObjects(document, part)) {
      *why = std::string("no proper ") + part;
      return false;
    }
  std::vector<User> users;
  for (const json& u : document["users"]) users.push_back(UserFrom(u));
  cache->SetUsers(std::move(users));
  cache->channels.clear();
  for (const json& c : document["channels"]) cache->channels.push_back(ChannelFrom(c));
  cache->ims.clear();
  for (const json& i : document["ims"]) cache->ims.push_back(ImFrom(i));
  for (const json& u : document["unread"]) {
    std::string id = Str(u, "channel_id");
    _NumUnread counts;
    counts.num_unread = static_cast<uint32_t>(std::clamp<int64_t>(Int(u, "num_unread"), 0, UINT32_MAX));
    counts.num_new = static_cast<uint32_t>(std::clamp<int64_t>(Int(u, "num_new"), 0, UINT32_MAX));
    cache->unread[id] = counts;
    cache->unread_from_disk.insert(id);
  }
  for (const json& m : document["messages"]) {
    Message message = ServiceMessageFrom(m);
    cache->PutMessage(message);
    cache->messages[message.ChannelID()].viewed = true;  // read in the last session: kept on
  }
  *permission = granted->get<int64_t>();
  return true;
}

}  // namespace veltrina::internal
