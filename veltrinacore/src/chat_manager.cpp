#include "veltrina/chat_manager.h"

#include <algorithm>

#include "answer_reading.h"
#include "core.h"
#include "records_json.h"
#include "service_answers.h"
#include "veltrina/director.h"

namespace veltrina {

using internal::Core;
using internal::json;

ChatManager* ChatManager::DefaultManager() {
  static ChatManager instance;
  return &instance;
}

void ChatManager::AddMessageHandler(MessageHandler* handler) { Core::Get().message_handlers().Add(handler); }
void ChatManager::RemoveMessageHandler(MessageHandler* handler) { Core::Get().message_handlers().Remove(handler); }
void ChatManager::AddNumUnreadHandler(NumUnreadHandler* handler) { Core::Get().unread_handlers().Add(handler); }
void ChatManager::RemoveNumUnreadHandler(NumUnreadHandler* handler) { Core::Get().unread_handlers().Remove(handler); }

void ChatManager::SyncRecentMessagesWithServer(int count, ResultCallback callback) {
  Core::Get().Call("messages.sync", json{{"count", count}}, [callback = std::move(callback)](const backend::Reply& reply) {
    if (!reply.ok) {
      if (callback) callback(false, internal::ReplyError(reply));
      return;
    }
    // A large team's answer holds a page of every conversation: read it message by message
    // rather than as one document several times its size, and cached a batch at a time so that
    // neither a second copy of the list nor a long hold of the cache's lock is needed. Messages
    // only add to the cache, so those read before a fault was found may stay.
    Core& core = Core::Get();
    std::vector<Message> batch;
    auto put = [&core, &batch] {
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      for (const Message& m : batch) core.cache().PutMessage(m);
      batch.clear();
    };
    std::string why;
    const bool read = internal::ReadMessagesAnswer(reply.body, [&](Message m) {
      batch.push_back(std::move(m));
      if (batch.size() == 256) put();
    }, &why);
    put();
    if (!read) {
      internal::RefuseAnswer("messages.sync", why);
      if (callback) callback(false, why);
      return;
    }
    if (callback) callback(true, "");
  });
}

void ChatManager::GetNumUnreadFromServer(ResultCallback callback) {
  Core::Get().Call("messages.unread", json::object(), [callback = std::move(callback)](const backend::Reply& reply) {
    std::vector<internal::UnreadEntry> unread;
    std::string why;
    auto take = [&](std::string* error) { return internal::ReadUnreadAnswer(reply.body, &unread, error); };
    if (!internal::ReadAnswer(reply, "messages.unread", take, &why)) {
      if (callback) callback(false, why);
      return;
    }
    {
      internal::Cache& cache = Core::Get().cache();
      std::lock_guard<std::mutex> lock(cache.mutex);
      for (const internal::UnreadEntry& u : unread) cache.SetUnread(u.channel_id, u.counts);
      // The service lists what is unread now: counts only the disk remembered are gone.
      for (const std::string& id : cache.unread_from_disk) cache.unread.erase(id);
      cache.unread_from_disk.clear();
    }
    if (callback) callback(true, "");
  });
}

_NumUnread ChatManager::NumUnreadInCurrentTeam() {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  _NumUnread total;
  auto add = [&](const std::string& id) {
    auto it = cache.unread.find(id);
    if (it == cache.unread.end()) return;
    total.num_unread += it->second.num_unread;
    total.num_new += it->second.num_new;
  };
  // Only conversations of the lists count: a channel the user left no longer flashes the tray.
  for (const Channel& c : cache.channels)
    if (c.is_member()) add(c.channel_id());
  for (const IM& i : cache.ims) add(i.im_id());
  return total;
}

_NumUnread ChatManager::NumUnreadInChannelFromMemCache(const std::string& channel_id) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  auto it = cache.unread.find(channel_id);
  return it == cache.unread.end() ? _NumUnread{} : it->second;
}

std::string ChatManager::FirstChannelHasUnreadMessage() {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  auto unread = [&](const std::string& id) {
    auto it = cache.unread.find(id);
    return it != cache.unread.end() && it->second.num_unread > 0;
  };
  for (const Channel& c : cache.channels)
    if (c.is_member() && c.type() == Channel::kPublic && unread(c.channel_id())) return c.channel_id();
  for (const IM& i : cache.ims)
    if (i.is_open() && unread(i.im_id())) return i.im_id();
  for (const Channel& c : cache.channels)
    if (c.is_member() && c.type() == Channel::kPrivate && unread(c.channel_id())) return c.channel_id();
  return {};
}

std::vector<std::unique_ptr<Message>> ChatManager::FetchMessagesFromCache(const std::string& channel_id,
                                                                          int64_t from_time, int64_t to_time,
                                                                          int count, bool* has_more,
                                                                          int64_t* oldest_time, bool oldest_first) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<Message>> out;
  if (has_more) *has_more = false;
  if (oldest_time) *oldest_time = 0;
  auto it = cache.messages.find(channel_id);
  if (it == cache.messages.end() || count <= 0) return out;
  it->second.touched = ++cache.clock;
  if (!it->second.viewed) {
    it->second.viewed = true;  // its latest page now goes to disk too
    Core::Get().disk().Changed();
  }
  const std::vector<internal::StoredMessage>& list = it->second.list;
  auto begin = std::lower_bound(list.begin(), list.end(), from_time,
                                [](const internal::StoredMessage& m, int64_t t) { return m.timestamp() < t; });
  auto end = std::upper_bound(list.begin(), list.end(), to_time,
                              [](int64_t t, const internal::StoredMessage& m) { return t < m.timestamp(); });
  if (begin >= end) return out;
  size_t available = static_cast<size_t>(end - begin);
  size_t take = std::min(available, static_cast<size_t>(count));
  if (has_more) *has_more = available > take;
  auto first = oldest_first ? begin : end - static_cast<std::ptrdiff_t>(take);
  for (auto m = first; m != first + static_cast<std::ptrdiff_t>(take); ++m)
    out.push_back(std::make_unique<Message>(m->ToMessage(it->second.id)));
  if (oldest_time && !out.empty()) *oldest_time = out.front()->timestamp();
  return out;
}

bool ChatManager::MarkReadCursorForChannelInCache(const std::string& channel_id, int64_t time, bool notify) {
  if (channel_id.empty()) return false;
  time = internal::SecondsFromServiceTime(time);
  Core& core = Core::Get();
  bool tell = false;
  {
    internal::Cache& cache = core.cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    int64_t& cursor = cache.read_cursors[channel_id];
    cursor = std::max(cursor, time);
    // The service hears of a cursor beyond the one it was told, and only when that changes
    // something: counts it reported as unread, or a message between the two.
    int64_t& told = cache.told_cursors[channel_id];
    if (time > told) {
      auto counts = cache.unread.find(channel_id);
      tell = counts != cache.unread.end() && (counts->second.num_unread > 0 || counts->second.num_new > 0);
      if (auto c = cache.messages.find(channel_id); !tell && c != cache.messages.end()) {
        const std::vector<internal::StoredMessage>& list = c->second.list;  // sorted by time
        auto after = std::upper_bound(list.begin(), list.end(), told,
                                      [](int64_t t, const internal::StoredMessage& m) { return t < m.timestamp(); });
        tell = after != list.end() && after->timestamp() <= time;
      }
      if (tell) told = time;
    }
    cache.SetUnread(channel_id, _NumUnread{});
  }
  core.disk().Changed();
  if (notify) core.Post([channel_id] { Core::Get().ApplyUnread(channel_id, _NumUnread{}, true); });
  // The service keeps the cursor too, so that a restart does not bring read messages back as
  // unread. Told only as above, so that a service that answers a cursor with an unread event
  // cannot start an endless exchange: at most one cursor per second and conversation, and none
  // for counts of zero.
  if (tell) core.Call("messages.cursor", json{{"channel_id", channel_id}, {"time", time}}, nullptr);
  return true;
}

void ChatManager::MarkAsRead(const std::string& channel_id, int channel_type, int64_t time, ResultCallback callback) {
  json params{{"channel_id", channel_id}, {"channel_type", channel_type}, {"time", time}};
  Core::Get().Call("messages.mark_read", params, [callback = std::move(callback)](const backend::Reply& reply) {
    if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
  });
}

void ChatManager::SendMessageW(const Message& message,
                               std::function<void(bool ok, std::unique_ptr<Message> stored)> completion) {
  Message outgoing = message;
  if (outgoing.uid().empty()) {
    Director* director = Director::DefaultDirector();
    if (director && director->me()) outgoing.set_uid(director->me()->uid());
  }
  json params{{"message", internal::ToValue(outgoing)}};
  Core::Get().Call("messages.send", params, [completion = std::move(completion)](const backend::Reply& reply) {
    if (!reply.ok) {
      if (completion) completion(false, nullptr);
      return;
    }
    std::optional<Message> stored = internal::MessageOfAnswer(reply.body);
    if (!stored) {
      internal::RefuseAnswer("messages.send", "the answer holds no message");
      if (completion) completion(false, nullptr);
      return;
    }
    {
      Core& core = Core::Get();
      std::lock_guard<std::mutex> lock(core.cache().mutex);
      core.cache().PutMessage(*stored);
    }
    if (completion) completion(true, stored->Clone());
  });
}

}  // namespace veltrina
