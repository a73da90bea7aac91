#pragma once
// Channels and private groups of the current team.
#include <memory>
#include <string>
#include <vector>

#include "veltrina/callbacks.h"
#include "veltrina/channel.h"
#include "veltrina/user.h"

namespace veltrina {

class ChannelManager {
 public:
  static ChannelManager* DefaultManager();

  // Loads every channel and group the user can see into the cache (joined or not); archived ones
  // only with include_archived. The loaded list is handed over too.
  void GetChannels(bool include_archived, ListCallback<Channel> callback);

  // Cached channels of one kind (Channel::Type: 1 public channels, 2 private groups), in the
  // service's order. joined: true lists those the user belongs to, false those the user could join
  // but does not belong to. Archived ones only with include_archived.
  std::vector<std::unique_ptr<Channel>> FetchChannelsFromCache(int type, bool joined, bool include_archived);
  std::unique_ptr<Channel> FetchChannelFromCacheByChannelId(const std::string& channel_id);
  // Cached users who are members of the channel; unknown members are skipped.
  std::vector<std::unique_ptr<User>> FetchMembersOfChannelFromCache(const std::string& channel_id);

  // Creates a channel (type 1) or group (type 2) with the signed-in user and member_uids as members.
  void CreateChannel(const std::string& name, const std::string& topic, int type,
                     const std::vector<std::string>& member_uids, RecordCallback<Channel> callback);
  void JoinChannel(const std::string& channel_id, ResultCallback callback);
  void LeaveChannel(const std::string& channel_id, ResultCallback callback);
  void InviteToChannel(const std::string& channel_id, const std::string& uid, ResultCallback callback);

 private:
  ChannelManager() = default;
};

}  // namespace veltrina
