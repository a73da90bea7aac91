// The caches the Fetch...FromCache and count calls read, after the service's answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_support.h"
#include "veltrina/backend/codec.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace {

using veltrina::backend::InstallService;
using veltrina::backend::ScriptedService;
using veltrina::backend::ToJson;
using veltrina::backend::WaitForCoreIdle;

veltrina::Channel MakeChannel(const std::string& id, int type, bool member, bool archived = false) {
  veltrina::Channel c;
  c.set_channel_id(id);
  c.set_channel_name("name-" + id);
  c.set_type(static_cast<veltrina::Channel::Type>(type));
  c.set_is_member(member);
  c.set_is_archived(archived);
  c.set_member_uids({"u-1", "u-ghost", "u-2"});
  return c;
}

veltrina::Message MakeMessage(const std::string& key, const std::string& channel, int64_t time) {
  veltrina::Message m;
  m.set_key(key);
  m.set_channel_id(channel);
  m.set_timestamp(time);
  m.set_content("text " + key);
  return m;
}

class Caches : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_shared<ScriptedService>();
    InstallService(service_);
  }
  void Answer(const std::string& method, const std::string& body) {
    auto request = service_->WaitForRequest(method);
    ASSERT_TRUE(request) << method;
    service_->Succeed(request->id, body);
    ASSERT_TRUE(WaitForCoreIdle());
  }
  std::shared_ptr<ScriptedService> service_;
};

TEST_F(Caches, UsersByStateAndUid) {
  veltrina::User a, b;
  a.set_uid("u-1");
  b.set_uid("u-2");
  b.set_state(veltrina::User::kStateInactive);
  auto* users = veltrina::UserManager::DefaultManager();
  users->GetTeamMembers(nullptr);
  Answer("users.list", "{\"users\":[" + ToJson(a) + "," + ToJson(b) + "]}");
  EXPECT_EQ(users->FetchUsersFromCache().size(), 2u);
  auto active = users->FetchUsersFromCache(veltrina::User::kStateNormal);
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0]->uid(), "u-1");
  EXPECT_TRUE(users->FetchUserFromCacheByUid("u-2"));
  EXPECT_FALSE(users->FetchUserFromCacheByUid("u-3"));
  users->GetUsersStatus(nullptr);
  Answer("users.status", R"({"statuses":[{"uid":"u-1","status":3},{"uid":"u-9","status":1}]})");
  EXPECT_EQ(users->FetchUserFromCacheByUid("u-1")->status(), 3);
  // A returned record is a copy: changing it changes nothing in the cache.
  auto copy = users->FetchUserFromCacheByUid("u-1");
  copy->set_display_name("changed");
  EXPECT_EQ(users->FetchUserFromCacheByUid("u-1")->display_name(), "");
}

TEST_F(Caches, ChannelsByKindMembershipAndArchive) {
  auto* channels = veltrina::ChannelManager::DefaultManager();
  channels->GetChannels(false, nullptr);
  std::string list = "{\"channels\":[" + ToJson(MakeChannel("c-1", 1, true)) + "," + ToJson(MakeChannel("c-2", 1, false)) +
                     "," + ToJson(MakeChannel("c-3", 1, true, true)) + "," + ToJson(MakeChannel("g-1", 2, true)) + "]}";
  Answer("channels.list", list);
  auto joined = channels->FetchChannelsFromCache(1, true, false);
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_EQ(joined[0]->channel_id(), "c-1");
  EXPECT_EQ(channels->FetchChannelsFromCache(1, true, true).size(), 2u);
  auto joinable = channels->FetchChannelsFromCache(veltrina::Channel::kPublic, false, false);
  ASSERT_EQ(joinable.size(), 1u);
  EXPECT_EQ(joinable[0]->channel_id(), "c-2");
  EXPECT_EQ(channels->FetchChannelsFromCache(2, true, false).size(), 1u);
  ASSERT_TRUE(channels->FetchChannelFromCacheByChannelId("g-1"));
  EXPECT_FALSE(channels->FetchChannelFromCacheByChannelId("nope"));

  veltrina::User u1, u2;
  u1.set_uid("u-1");
  u2.set_uid("u-2");
  veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
  Answer("users.list", "{\"users\":[" + ToJson(u2) + "," + ToJson(u1) + "]}");
  auto members = channels->FetchMembersOfChannelFromCache("c-1");
  ASSERT_EQ(members.size(), 2u);  // u-ghost is not cached and is skipped
  EXPECT_EQ(members[0]->uid(), "u-1");
  EXPECT_EQ(members[1]->uid(), "u-2");

  core_test::Slot<bool> created;
  channels->CreateChannel("新频道", "topic", veltrina::Channel::kPrivate, {"u-2"},
                          [&](bool ok, const std::string&, std::unique_ptr<veltrina::Channel> c) {
                            created.Set(ok && c && c->channel_id() == "g-9");
                          });
  auto request = service_->WaitForRequest("channels.create");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Param("name"), "新频道");
  EXPECT_EQ(request->Param("type"), "2");
  EXPECT_EQ(request->Param("member_uids"), "[\"u-2\"]");
  service_->Succeed(request->id, "{\"channel\":" + ToJson(MakeChannel("g-9", 2, true)) + "}");
  ASSERT_TRUE(created.Wait());
  EXPECT_TRUE(created.Get());
  EXPECT_TRUE(channels->FetchChannelFromCacheByChannelId("g-9"));
}

TEST_F(Caches, MessagesPageInDisplayOrderWithinBounds) {
  auto* chat = veltrina::ChatManager::DefaultManager();
  chat->SyncRecentMessagesWithServer(20, nullptr);
  std::string list = "{\"messages\":[";
  for (int i = 0; i < 50; ++i) {
    if (i) list += ",";
    // Arrive in a shuffled order; the cache keeps them by time.
    int t = (i * 37) % 50;
    list += ToJson(MakeMessage("k" + std::to_string(t), "c-1", 1000 + t));
  }
  list += "," + ToJson(MakeMessage("k7", "c-1", 1007)) + "]}";  // a duplicate key replaces
  Answer("messages.sync", list);
  bool more = false;
  int64_t oldest = 0;
  auto page = chat->FetchMessagesFromCache("c-1", 0, 2147483647, 20, &more, &oldest, false);
  ASSERT_EQ(page.size(), 20u);
  EXPECT_TRUE(more);
  EXPECT_EQ(page.front()->key(), "k30");
  EXPECT_EQ(page.back()->key(), "k49");
  EXPECT_EQ(oldest, 1030);
  auto first = chat->FetchMessagesFromCache("c-1", 0, 2147483647, 5, nullptr, nullptr, true);
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(first.front()->key(), "k0");
  auto range = chat->FetchMessagesFromCache("c-1", 1010, 1012, 20, &more, nullptr, false);
  ASSERT_EQ(range.size(), 3u);
  EXPECT_FALSE(more);
  EXPECT_TRUE(chat->FetchMessagesFromCache("c-none", 0, 2147483647, 20, nullptr, nullptr, false).empty());
  EXPECT_TRUE(chat->FetchMessagesFromCache("c-1", 0, 2147483647, 0, nullptr, nullptr, false).empty());
}

class UnreadRecorder : public veltrina::NumUnreadHandler {
 public:
  void HandleNumUnreadChanged(const std::string& id, veltrina::_NumUnread counts) override {
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(id + ":" + std::to_string(counts.num_unread));
  }
  std::mutex mutex;
  std::vector<std::string> seen;
};

TEST_F(Caches, UnreadCountsTotalsAndReadCursors) {
  auto* chat = veltrina::ChatManager::DefaultManager();
  veltrina::ChannelManager::DefaultManager()->GetChannels(false, nullptr);
  Answer("channels.list", "{\"channels\":[" + ToJson(MakeChannel("c-1", 1, true)) + "," +
                              ToJson(MakeChannel("c-2", 1, false)) + "," + ToJson(MakeChannel("g-1", 2, true)) + "]}");
  veltrina::IM im;
  im.set_im_id("im-1");
  veltrina::IMManager::DefaultManager()->GetIMs(nullptr);
  Answer("ims.list", "{\"ims\":[" + ToJson(im) + "]}");
  chat->GetNumUnreadFromServer(nullptr);
  Answer("messages.unread", R"({"unread":[{"channel_id":"c-1","num_unread":0,"num_new":2},
      {"channel_id":"c-2","num_unread":9,"num_new":9},{"channel_id":"g-1","num_unread":2,"num_new":2},
      {"channel_id":"im-1","num_unread":1,"num_new":1}]})");
  EXPECT_EQ(chat->NumUnreadInChannelFromMemCache("g-1").num_unread, 2u);
  EXPECT_EQ(chat->NumUnreadInChannelFromMemCache("unknown").num_unread, 0u);
  // c-2 is not joined: it does not count.
  EXPECT_EQ(chat->NumUnreadInCurrentTeam().num_unread, 3u);
  EXPECT_EQ(chat->NumUnreadInCurrentTeam().num_new, 5u);
  // Channels first, then direct messages, then groups.
  EXPECT_EQ(chat->FirstChannelHasUnreadMessage(), "im-1");

  UnreadRecorder recorder;
  chat->AddNumUnreadHandler(&recorder);
  EXPECT_TRUE(chat->MarkReadCursorForChannelInCache("im-1", 2000, false));
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_TRUE(recorder.seen.empty());
  EXPECT_EQ(chat->FirstChannelHasUnreadMessage(), "g-1");
  EXPECT_TRUE(chat->MarkReadCursorForChannelInCache("g-1", 2000, true));
  ASSERT_TRUE(WaitForCoreIdle());
  ASSERT_EQ(recorder.seen.size(), 1u);
  EXPECT_EQ(recorder.seen[0], "g-1:0");
  EXPECT_EQ(chat->FirstChannelHasUnreadMessage(), "");
  EXPECT_EQ(chat->NumUnreadInCurrentTeam().num_unread, 0u);
  EXPECT_FALSE(chat->MarkReadCursorForChannelInCache("", 1, true));
  chat->RemoveNumUnreadHandler(&recorder);

  core_test::Slot<bool> marked;
  chat->MarkAsRead("g-1", 1, 2000, [&](bool ok, const std::string&) { marked.Set(ok); });
  auto request = service_->WaitForRequest("messages.mark_read");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Param("channel_id"), "g-1");
  EXPECT_EQ(request->Param("channel_type"), "1");
  EXPECT_EQ(request->Param("time"), "2000");
  service_->Succeed(request->id);
  ASSERT_TRUE(marked.Wait());
}

TEST_F(Caches, DirectMessagesOpenAndClose) {
  auto* ims = veltrina::IMManager::DefaultManager();
  veltrina::IM a, b;
  a.set_im_id("im-1");
  a.set_to_uid("u-1");
  b.set_im_id("im-2");
  b.set_is_open(false);
  ims->GetIMs(nullptr);
  Answer("ims.list", "{\"ims\":[" + ToJson(a) + "," + ToJson(b) + "]}");
  ASSERT_EQ(ims->FetchImsFromCache().size(), 1u);
  EXPECT_EQ(ims->FetchImFromCacheByImId("im-1")->to_uid(), "u-1");
  ims->ActiveIM("im-2", nullptr);
  b.set_is_open(true);
  Answer("ims.open", "{\"im\":" + ToJson(b) + "}");
  EXPECT_EQ(ims->FetchImsFromCache().size(), 2u);
  ims->CloseIM("im-1", nullptr);
  Answer("ims.close", "{}");
  auto open = ims->FetchImsFromCache();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0]->im_id(), "im-2");
  core_test::Slot<std::string> fresh;
  ims->NewIM("u-5", [&](bool ok, const std::string&, std::unique_ptr<veltrina::IM> im) {
    fresh.Set(ok && im ? im->im_id() : "none");
  });
  auto request = service_->WaitForRequest("ims.new");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Param("uid"), "u-5");
  service_->Succeed(request->id, "{}");  // an answer without the conversation
  ASSERT_TRUE(fresh.Wait());
  EXPECT_EQ(fresh.Get(), "none");
}

}  // namespace
