#pragma once
// A public channel or a private group of a team.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veltrina {

class Channel {
 public:
  // Kind of a channel. Calls that take a kind take it as an int so that both this enum and the
  // client's conversation kind (1 or 2) can be passed.
  enum Type : int { kPublic = 1, kPrivate = 2 };

  Channel() = default;
  virtual ~Channel() = default;
  Channel(const Channel&) = default;
  Channel& operator=(const Channel&) = default;

  const std::string& channel_id() const { return channel_id_; }
  const std::string& channel_name() const { return channel_name_; }
  const std::string& topic() const { return topic_; }
  Type type() const { return type_; }
  bool IsGeneral() const { return is_general_; }  // the team's general channel: nobody leaves it
  const std::string& creator_uid() const { return creator_uid_; }
  int64_t created_at() const { return created_at_; }  // seconds since 1970
  bool is_member() const { return is_member_; }       // the signed-in user belongs to it
  bool is_archived() const { return is_archived_; }
  const std::vector<std::string>& member_uids() const { return member_uids_; }

  void set_channel_id(std::string v) { channel_id_ = std::move(v); }
  void set_channel_name(std::string v) { channel_name_ = std::move(v); }
  void set_topic(std::string v) { topic_ = std::move(v); }
  void set_type(Type v) { type_ = v; }
  void set_is_general(bool v) { is_general_ = v; }
  void set_creator_uid(std::string v) { creator_uid_ = std::move(v); }
  void set_created_at(int64_t v) { created_at_ = v; }
  void set_is_member(bool v) { is_member_ = v; }
  void set_is_archived(bool v) { is_archived_ = v; }
  void set_member_uids(std::vector<std::string> v) { member_uids_ = std::move(v); }

  std::unique_ptr<Channel> Clone() const { return std::make_unique<Channel>(*this); }

 private:
  std::string channel_id_;
  std::string channel_name_;
  std::string topic_;
  Type type_ = kPublic;
  bool is_general_ = false;
  std::string creator_uid_;
  int64_t created_at_ = 0;
  bool is_member_ = false;
  bool is_archived_ = false;
  std::vector<std::string> member_uids_;
};

}  // namespace veltrina
