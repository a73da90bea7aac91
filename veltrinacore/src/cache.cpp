#include "cache.h"

#include <algorithm>
#include <utility>

namespace veltrina::internal {

void Cache::Clear() {
  std::lock_guard<std::mutex> lock(mutex);
  users.clear();
  user_index.clear();
  services.clear();
  channels.clear();
  ims.clear();
  messages.clear();
  message_count = 0;
  clock = 0;
  unread.clear();
  unread_from_disk.clear();
  read_cursors.clear();
  told_cursors.clear();
}

void Cache::SetUsers(std::vector<User> list) {
  users = std::move(list);
  user_index.clear();
  for (size_t i = 0; i < users.size(); ++i) user_index.emplace(users[i].uid(), i);
}

void Cache::PutUser(const User& user) {
  if (User* known = FindUser(user.uid())) {
    *known = user;
    return;
  }
  user_index.emplace(user.uid(), users.size());
  users.push_back(user);
}

User* Cache::FindUser(const std::string& uid) {
  auto it = user_index.find(uid);
  return it == user_index.end() ? nullptr : &users[it->second];
}

void Cache::PutChannel(const Channel& channel) {
  auto it = std::find_if(channels.begin(), channels.end(),
                         [&](const Channel& c) { return c.channel_id() == channel.channel_id(); });
  if (it != channels.end())
    *it = channel;
  else
    channels.push_back(channel);
}

void Cache::RemoveChannel(const std::string& channel_id) {
  std::erase_if(channels, [&](const Channel& c) { return c.channel_id() == channel_id; });
}

void Cache::PutIm(const IM& im) {
  auto it = std::find_if(ims.begin(), ims.end(), [&](const IM& i) { return i.im_id() == im.im_id(); });
  if (it != ims.end())
    *it = im;
  else
    ims.push_back(im);
}

void Cache::PutMessage(Message message) {
  const std::string id = message.ChannelID();  // a copy: the message is moved below
  Conversation& c = messages[id];
  c.touched = ++clock;
  auto by_time = [](const Message& m, int64_t t) { return m.timestamp() < t; };
  if (!message.key().empty()) {
    if (auto known = c.times.find(message.key()); known != c.times.end()) {
      auto first = std::lower_bound(c.list.begin(), c.list.end(), known->second, by_time);
      auto same = std::find_if(first, c.list.end(), [&](const Message& m) { return m.key() == message.key(); });
      if (same != c.list.end() && same->timestamp() == message.timestamp()) {
        *same = std::move(message);
        return;
      }
      if (same != c.list.end()) {  // moved in time: taken out and put back in order
        c.list.erase(same);
        --message_count;
      }
    }
    c.times[message.key()] = message.timestamp();
  }
  // Keep the list sorted by time; equal times keep their arrival order.
  auto pos = std::upper_bound(c.list.begin(), c.list.end(), message.timestamp(),
                              [](int64_t t, const Message& m) { return t < m.timestamp(); });
  // Grown by a quarter rather than doubled: hundreds of conversations hold a page of twenty, and
  // doubling would leave a third of each list's room empty.
  if (c.list.size() == c.list.capacity()) {
    const std::ptrdiff_t at = pos - c.list.begin();
    c.list.reserve(c.list.size() + c.list.size() / 4 + 4);
    pos = c.list.begin() + at;
  }
  c.list.insert(pos, std::move(message));
  ++message_count;
  if (c.list.size() > kKeepPerConversation) {
    auto end = c.list.end() - static_cast<std::ptrdiff_t>(kKeepPerConversation);
    for (auto m = c.list.begin(); m != end; ++m) c.times.erase(m->key());
    message_count -= static_cast<size_t>(end - c.list.begin());
    c.list.erase(c.list.begin(), end);
  }
  if (message_count > kMessageBudget) DropStaleConversations(id);
}

// Drops whole conversations, least recently touched first, down to three quarters of the budget,
// so that the sort runs seldom.
void Cache::DropStaleConversations(const std::string& keep) {
  std::vector<std::pair<uint64_t, std::string>> order;
  for (const auto& [id, c] : messages)
    if (id != keep) order.emplace_back(c.touched, id);
  std::sort(order.begin(), order.end());
  for (const auto& [touched, id] : order) {
    if (message_count <= kMessageBudget / 4 * 3) break;
    auto it = messages.find(id);
    message_count -= it->second.list.size();
    messages.erase(it);
  }
}

void Cache::SetUnread(const std::string& channel_id, _NumUnread counts) {
  unread[channel_id] = counts;
  unread_from_disk.erase(channel_id);
}

}  // namespace veltrina::internal
