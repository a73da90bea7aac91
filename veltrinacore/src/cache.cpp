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

void Cache::PutMessage(const Message& message) {
  const std::string& id = message.ChannelID();
  Conversation& c = messages[id];
  if (c.id.empty()) c.id = id;
  c.touched = ++clock;
  if (!message.key().empty()) {
    // A conversation holds a few hundred at most: a search beats an index's memory. From the
    // newest, which a repeated or edited message most often is.
    auto same = std::find_if(c.list.rbegin(), c.list.rend(),
                             [&](const StoredMessage& m) { return m.key() == message.key(); });
    if (same != c.list.rend()) {
      if (same->timestamp() == message.timestamp()) {
        *same = StoredMessage(message);
        return;
      }
      c.list.erase(std::next(same).base());  // moved in time: taken out and put back in order
      --message_count;
    }
  }
  // Keep the list sorted by time; equal times keep their arrival order.
  auto pos = std::upper_bound(c.list.begin(), c.list.end(), message.timestamp(),
                              [](int64_t t, const StoredMessage& m) { return t < m.timestamp(); });
  // Grown by a quarter rather than doubled: hundreds of conversations hold a page of twenty, and
  // doubling would leave a third of each list's room empty.
  if (c.list.size() == c.list.capacity()) {
    const std::ptrdiff_t at = pos - c.list.begin();
    c.list.reserve(c.list.size() + c.list.size() / 4 + 4);
    pos = c.list.begin() + at;
  }
  c.list.insert(pos, StoredMessage(message));
  ++message_count;
  if (c.list.size() > kKeepPerConversation) {
    auto end = c.list.end() - static_cast<std::ptrdiff_t>(kKeepPerConversation);
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
