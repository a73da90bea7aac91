#include "veltrina/channel_manager.h"

#include <algorithm>

#include "answer_reading.h"
#include "core.h"
#include "service_answers.h"
#include "veltrina/director.h"

namespace veltrina {

using internal::Core;
using internal::json;

namespace {

// Reads {"channel": {...}} into the cache; null when the body holds none.
std::unique_ptr<Channel> CacheChannelOfReply(const backend::Reply& reply) {
  std::optional<Channel> channel = internal::ChannelOfAnswer(reply.body);
  if (!channel) return nullptr;
  Core& core = Core::Get();
  std::lock_guard<std::mutex> lock(core.cache().mutex);
  core.cache().PutChannel(*channel);
  return channel->Clone();
}

}  // namespace

ChannelManager* ChannelManager::DefaultManager() {
  static ChannelManager instance;
  return &instance;
}

void ChannelManager::GetChannels(bool include_archived, ListCallback<Channel> callback) {
  Core::Get().Call("channels.list", json{{"include_archived", include_archived}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     std::vector<Channel> channels;
                     std::string why;
                     auto take = [&](std::string* error) {
                       return internal::ReadChannelsAnswer(reply.body, &channels, error);
                     };
                     if (!internal::ReadAnswer(reply, "channels.list", take, &why)) {
                       if (callback) callback(false, why, {});
                       return;
                     }
                     {
                       Core& core = Core::Get();
                       std::lock_guard<std::mutex> lock(core.cache().mutex);
                       core.cache().channels = channels;
                     }
                     std::vector<std::unique_ptr<Channel>> out;
                     for (const Channel& c : channels) out.push_back(c.Clone());
                     if (callback) callback(true, "", std::move(out));
                   });
}

std::vector<std::unique_ptr<Channel>> ChannelManager::FetchChannelsFromCache(int type, bool joined,
                                                                             bool include_archived) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<Channel>> out;
  for (const Channel& c : cache.channels) {
    if (static_cast<int>(c.type()) != type || c.is_member() != joined) continue;
    if (c.is_archived() && !include_archived) continue;
    out.push_back(c.Clone());
  }
  return out;
}

std::unique_ptr<Channel> ChannelManager::FetchChannelFromCacheByChannelId(const std::string& channel_id) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (const Channel& c : cache.channels)
    if (c.channel_id() == channel_id) return c.Clone();
  return nullptr;
}

std::vector<std::unique_ptr<User>> ChannelManager::FetchMembersOfChannelFromCache(const std::string& channel_id) {
  internal::Cache& cache = Core::Get().cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::vector<std::unique_ptr<User>> out;
  auto channel = std::find_if(cache.channels.begin(), cache.channels.end(),
                              [&](const Channel& c) { return c.channel_id() == channel_id; });
  if (channel == cache.channels.end()) return out;
  for (const std::string& uid : channel->member_uids())
    if (const User* u = cache.FindUser(uid)) out.push_back(u->Clone());
  return out;
}

void ChannelManager::CreateChannel(const std::string& name, const std::string& topic, int type,
                                   const std::vector<std::string>& member_uids, RecordCallback<Channel> callback) {
  json params{{"name", name}, {"topic", topic}, {"type", type}, {"member_uids", member_uids}};
  Core::Get().Call("channels.create", params, [callback = std::move(callback)](const backend::Reply& reply) {
    if (!reply.ok) {
      if (callback) callback(false, internal::ReplyError(reply), nullptr);
      return;
    }
    auto channel = CacheChannelOfReply(reply);
    if (!channel) {
      if (callback) callback(false, "the answer holds no channel", nullptr);
      return;
    }
    if (callback) callback(true, "", std::move(channel));
  });
}

void ChannelManager::JoinChannel(const std::string& channel_id, ResultCallback callback) {
  Core::Get().Call("channels.join", json{{"channel_id", channel_id}},
                   [callback = std::move(callback)](const backend::Reply& reply) {
                     if (reply.ok) CacheChannelOfReply(reply);
                     if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
                   });
}

void ChannelManager::LeaveChannel(const std::string& channel_id, ResultCallback callback) {
  Core::Get().Call("channels.leave", json{{"channel_id", channel_id}},
                   [channel_id, callback = std::move(callback)](const backend::Reply& reply) {
                     if (reply.ok) {
                       Director* director = Director::DefaultDirector();
                       std::string me = director && director->me() ? director->me()->uid() : std::string();
                       Core& core = Core::Get();
                       std::lock_guard<std::mutex> lock(core.cache().mutex);
                       for (Channel& c : core.cache().channels) {
                         if (c.channel_id() != channel_id) continue;
                         c.set_is_member(false);
                         std::vector<std::string> members = c.member_uids();
                         std::erase(members, me);
                         c.set_member_uids(std::move(members));
                       }
                       core.cache().unread.erase(channel_id);
                     }
                     if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
                   });
}

void ChannelManager::InviteToChannel(const std::string& channel_id, const std::string& uid, ResultCallback callback) {
  Core::Get().Call("channels.invite", json{{"channel_id", channel_id}, {"uid", uid}},
                   [channel_id, uid, callback = std::move(callback)](const backend::Reply& reply) {
                     if (reply.ok && !CacheChannelOfReply(reply)) {
                       // No channel in the answer: add the member ourselves.
                       Core& core = Core::Get();
                       std::lock_guard<std::mutex> lock(core.cache().mutex);
                       for (Channel& c : core.cache().channels) {
                         if (c.channel_id() != channel_id) continue;
                         std::vector<std::string> members = c.member_uids();
                         if (std::find(members.begin(), members.end(), uid) == members.end()) members.push_back(uid);
                         c.set_member_uids(std::move(members));
                       }
                     }
                     if (callback) callback(reply.ok, reply.ok ? std::string() : internal::ReplyError(reply));
                   });
}

}  // namespace veltrina
