// The caches the Fetch...FromCache and count calls read, after the service's answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>

#include "scripted_fixture.h"
#include "test_support.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace {

using namespace veltrina::backend;

veltrina::Channel MakeChannel(const std::string& id, int type, bool member, bool archived = false) {
  veltrina::Channel c;
  c.set_channel_id(id), c.set_type(static_cast<veltrina::Channel::Type>(type)), c.set_is_member(member);
  c.set_is_archived(archived), c.set_member_uids({"u-1", "u-ghost", "u-2"});
  return c;
}

class Caches : public core_test::ScriptedTest {
 protected:
  veltrina::ChatManager* chat_ = veltrina::ChatManager::DefaultManager();
  veltrina::ChannelManager* channels_ = veltrina::ChannelManager::DefaultManager();
  veltrina::UserManager* users_ = veltrina::UserManager::DefaultManager();
};

TEST_F(Caches, UsersChannelsAndMembersByStateKindAndMembership) {
  std::vector<veltrina::User> list(2);
  list[0].set_uid("u-2"), list[0].set_state(veltrina::User::kStateInactive), list[1].set_uid("u-1");
  users_->GetTeamMembers(nullptr);
  Answer("users.list", UsersBody(list));
  list[1].set_status(3);
  users_->GetUsersStatus(nullptr);
  Answer("users.status", StatusesBody(list));
  EXPECT_EQ(users_->FetchUsersFromCache().size(), 2u);
  ASSERT_EQ(users_->FetchUsersFromCache(veltrina::User::kStateNormal).size(), 1u);
  EXPECT_EQ(users_->FetchUserFromCacheByUid("u-1")->status(), 3);
  users_->FetchUserFromCacheByUid("u-1")->set_display_name("changed");  // a copy: the cache keeps its own
  EXPECT_EQ(users_->FetchUserFromCacheByUid("u-1")->display_name(), "");

  channels_->GetChannels(false, nullptr);
  Answer("channels.list", ChannelsBody({MakeChannel("c-1", 1, true), MakeChannel("c-2", 1, false),
                                        MakeChannel("c-3", 1, true, true), MakeChannel("g-1", 2, true)}));
  auto ids = [&](int type, bool member, bool archived) {
    std::string out;
    for (const auto& c : channels_->FetchChannelsFromCache(type, member, archived)) out += c->channel_id() + " ";
    return out;
  };
  EXPECT_EQ(ids(1, true, false), "c-1 ");
  EXPECT_EQ(ids(1, true, true), "c-1 c-3 ");
  EXPECT_EQ(ids(1, false, false), "c-2 ");
  EXPECT_EQ(ids(2, true, false), "g-1 ");
  auto members = channels_->FetchMembersOfChannelFromCache("c-1");
  ASSERT_EQ(members.size(), 2u);  // u-ghost is not cached and is skipped
  EXPECT_EQ(members[0]->uid() + members[1]->uid(), "u-1u-2");
}

TEST_F(Caches, MessagesPageInTimeOrderWithinBounds) {
  chat_->SyncRecentMessagesWithServer(20, nullptr);
  std::vector<veltrina::Message> list(51);
  for (int i = 0; i < 51; ++i) {
    int t = i == 50 ? 7 : (i * 37) % 50;  // shuffled; the last repeats a key and replaces it
    list[i].set_key("k" + std::to_string(t)), list[i].set_channel_id("c-1"), list[i].set_timestamp(1000 + t);
  }
  Answer("messages.sync", MessagesBody(list));
  bool more = false;
  int64_t oldest = 0;
  auto page = chat_->FetchMessagesFromCache("c-1", 0, 2147483647, 20, &more, &oldest, false);
  ASSERT_EQ(page.size(), 20u);
  EXPECT_TRUE(more && oldest == 1030);
  EXPECT_EQ(page.front()->key() + page.back()->key(), "k30k49");
  EXPECT_EQ(chat_->FetchMessagesFromCache("c-1", 0, 2147483647, 5, nullptr, nullptr, true).front()->key(), "k0");
  EXPECT_EQ(chat_->FetchMessagesFromCache("c-1", 1010, 1012, 20, &more, nullptr, false).size(), 3u);
  EXPECT_FALSE(more);
  auto count = [&](const char* id, int n) {
    return chat_->FetchMessagesFromCache(id, 0, 2147483647, n, nullptr, nullptr, false).size();
  };
  EXPECT_EQ(count("c-1", 1000) * 100 + count("c-none", 20) * 10 + count("c-1", 0), 5000u);
}

int64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return static_cast<int64_t>(std::max(counters.PrivateUsage, counters.PagefileUsage));  // Wine: the latter only
}

// A large team's sync, 750 conversations of 20 messages with a shared file in every third, stays
// within a budget once cached (the Message objects and a key index took twice as much), and every
// field of a message comes back as it went in, NULs, cards and all; a key sent again with
// another time moves its message.
TEST_F(Caches, ALargeTeamsSyncIsKeptSmallAndWhole) {
  veltrina::Entity file;
  file.set_entity_id("e-1"), file.set_title("report.final.pdf"), file.set_path("f/e-1"), file.set_file_size(1536);
  file.set_file_extension("pdf"), file.set_creator_uid("u-lilei"), file.set_created_at(1796513664);
  veltrina::Attachment card;
  card.set_title("构建报告"), card.set_text("nightly build passed"), card.set_color("#36a64f");
  // Written a few hundred at a time into a body reserved up front: a block of its own, given
  // back whole, so that what the heap keeps afterwards is the cache's.
  auto message = [&](size_t i) {
    veltrina::Message m;
    m.set_key("m-" + std::to_string(i)), m.set_uid("u-" + std::to_string(i % 97));
    m.set_channel_id("c-x" + std::to_string(i % 750)), m.set_timestamp(1796400000 + static_cast<int64_t>(i));
    m.set_content("今日进展：接口联调完成，明天继续压测 #" + std::to_string(i));
    if (i % 3 == 2) m.set_message_type(veltrina::Message::kFile), m.set_entity_json(file.ToJson());
    return m;
  };
  constexpr size_t kMessages = 15000, kChunk = 500;
  veltrina::Message expected = message(kMessages - 1);  // conversation c-x749's newest
  expected.set_content(std::string("a\0b", 3)), expected.set_to_uid("u-peer"), expected.set_sender_type(3);
  expected.set_message_type(77), expected.set_channel_type(2), expected.set_attachment(card);
  std::string body;
  body.reserve(16 << 20);
  body = "{\"messages\":[";
  for (size_t first = 0; first < kMessages; first += kChunk) {
    std::vector<veltrina::Message> chunk;
    for (size_t i = first; i < first + kChunk; ++i) chunk.push_back(i == kMessages - 1 ? expected : message(i));
    const std::string part = MessagesBody(chunk);
    if (first > 0) body += ',';
    body.append(part, part.find('[') + 1, part.rfind(']') - part.find('[') - 1);
  }
  body += "]}";
  chat_->SyncRecentMessagesWithServer(20, nullptr);
  const int64_t before = PrivateBytes();
  Answer("messages.sync", body);
  body = std::string();
  const int64_t grown = PrivateBytes() - before;
  EXPECT_LT(grown, 5 << 20) << grown / 1024 << " KB";  // 3 MB; 6.7 MB as Message objects and a key index

  const int64_t newest = std::numeric_limits<int64_t>::max();
  auto page = chat_->FetchMessagesFromCache("c-x749", 0, newest, 20, nullptr, nullptr, false);
  ASSERT_EQ(page.size(), 20u);
  const veltrina::Message& back = *page.back();
  EXPECT_EQ(back.key() + "|" + back.uid() + "|" + back.ChannelID() + "|" + back.to_uid() + "|" + back.content(),
            expected.key() + "|" + expected.uid() + "|c-x749|u-peer|" + std::string("a\0b", 3));
  EXPECT_EQ(back.entity_json(), expected.entity_json());
  EXPECT_EQ(std::vector<int64_t>({back.sender_type(), back.message_type(), back.channel_type(), back.timestamp()}),
            std::vector<int64_t>({3, 77, 2, expected.timestamp()}));
  ASSERT_TRUE(back.has_attachment());
  EXPECT_EQ(back.GetAttachment()->title() + back.GetAttachment()->text(), "构建报告nightly build passed");
  veltrina::Entity shared;
  EXPECT_TRUE(shared.InitWithJsonOrDie(page.front()->entity_json()) && shared.title() == "report.final.pdf");
  EXPECT_EQ(page.front()->message_type(), veltrina::Message::kFile);

  veltrina::Message moved = *page.back();  // the newest, sent again as the oldest
  moved.set_timestamp(1);
  service_->Push("message", MessageEvent(moved));
  ASSERT_TRUE(WaitForCoreIdle());
  page = chat_->FetchMessagesFromCache("c-x749", 0, newest, 20, nullptr, nullptr, true);
  ASSERT_EQ(page.size(), 20u);
  EXPECT_EQ(page.front()->key() + " " + std::to_string(page.front()->timestamp()), expected.key() + " 1");
  EXPECT_NE(page.back()->key(), expected.key());
}

// Seconds past 2038 are kept as they are; stamps in milliseconds or finer are taken down to
// seconds, so that they sort and page among the others.
TEST_F(Caches, TimesAfter2038AndInMillisecondsSortAndPageOnOneScale) {
  const int64_t stamps[] = {4102444800, 1700000001000, 1700000000, 1700000003000000000, 1700000002};
  std::vector<veltrina::Message> list;
  for (int64_t t : stamps) {
    list.emplace_back().set_key("k" + std::to_string(t)), list.back().set_channel_id("c-1");
    list.back().set_timestamp(t);
  }
  chat_->SyncRecentMessagesWithServer(20, nullptr);
  Answer("messages.sync", MessagesBody({list[0], list[1], list[2], list[3]}));
  service_->Push("message", MessageEvent(list[4]));
  ASSERT_TRUE(WaitForCoreIdle());
  const int64_t newest = std::numeric_limits<int64_t>::max();
  auto times = [&](int64_t to, int count, int64_t* oldest) {
    std::string out;
    for (const auto& m : chat_->FetchMessagesFromCache("c-1", 0, to, count, nullptr, oldest, false))
      out += std::to_string(m->timestamp()) + " ";
    return out;
  };
  EXPECT_EQ(times(newest, 20, nullptr), "1700000000 1700000001 1700000002 1700000003 4102444800 ");
  int64_t oldest = 0;
  EXPECT_EQ(times(newest, 2, &oldest), "1700000003 4102444800 ");
  EXPECT_EQ(times(oldest - 1, 2, &oldest), "1700000001 1700000002 ");
  EXPECT_EQ(times(oldest - 1, 2, &oldest), "1700000000 ");
}

TEST_F(Caches, UnreadCountsTotalsAndReadCursors) {
  channels_->GetChannels(false, nullptr);
  Answer("channels.list", ChannelsBody({MakeChannel("c-1", 1, true), MakeChannel("c-2", 1, false),
                                        MakeChannel("g-1", 2, true)}));
  veltrina::IM im;
  im.set_im_id("im-1");
  veltrina::IMManager::DefaultManager()->GetIMs(nullptr);
  Answer("ims.list", ImsBody({im}));
  chat_->GetNumUnreadFromServer(nullptr);
  Answer("messages.unread", UnreadBody({{"c-1", 0, 2}, {"c-2", 9, 9}, {"g-1", 2, 2}, {"im-1", 1, 1}}));
  EXPECT_EQ(chat_->NumUnreadInChannelFromMemCache("g-1").num_unread * 10 +
                chat_->NumUnreadInChannelFromMemCache("x").num_unread, 20u);
  // c-2 is not joined: it does not count.
  EXPECT_EQ(chat_->NumUnreadInCurrentTeam().num_unread * 10 + chat_->NumUnreadInCurrentTeam().num_new, 35u);
  EXPECT_EQ(chat_->FirstChannelHasUnreadMessage(), "im-1");  // channels, then direct messages, then groups

  struct : veltrina::NumUnreadHandler {
    void HandleNumUnreadChanged(const std::string& id, veltrina::_NumUnread c) override {
      seen += id + ":" + std::to_string(c.num_unread) + " ";
    }
    std::string seen;  // read once the core is idle
  } recorder;
  chat_->AddNumUnreadHandler(&recorder);
  EXPECT_TRUE(chat_->MarkReadCursorForChannelInCache("im-1", 2000, false));
  EXPECT_EQ(chat_->FirstChannelHasUnreadMessage(), "g-1");
  EXPECT_TRUE(chat_->MarkReadCursorForChannelInCache("g-1", 2000, true));
  EXPECT_FALSE(chat_->MarkReadCursorForChannelInCache("", 1, true));
  ASSERT_TRUE(WaitForCoreIdle());
  // A cursor that passes nothing unread is not sent: a service answering cursors with unread
  // events cannot start an endless exchange.
  EXPECT_EQ(service_->CountRequests("messages.cursor"), 2u);
  EXPECT_TRUE(chat_->MarkReadCursorForChannelInCache("g-1", 2001, false));
  EXPECT_TRUE(chat_->MarkReadCursorForChannelInCache("g-1", 1999, false));
  EXPECT_EQ(service_->CountRequests("messages.cursor"), 2u);
  EXPECT_EQ(recorder.seen + chat_->FirstChannelHasUnreadMessage(), "g-1:0 ");
  EXPECT_EQ(chat_->NumUnreadInCurrentTeam().num_unread, 0u);
  chat_->RemoveNumUnreadHandler(&recorder);

  chat_->MarkAsRead("g-1", 1, 2000, nullptr);
  auto request = service_->WaitForRequest("messages.mark_read");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Param("channel_id") + request->Param("channel_type") + request->Param("time"), "g-112000");
}

TEST_F(Caches, DirectMessagesOpenAndClose) {
  auto* ims = veltrina::IMManager::DefaultManager();
  std::vector<veltrina::IM> list(2);
  list[0].set_im_id("im-1"), list[1].set_im_id("im-2"), list[1].set_is_open(false);
  ims->GetIMs(nullptr);
  Answer("ims.list", ImsBody(list));
  EXPECT_EQ(ims->FetchImsFromCache().size(), 1u);
  ims->ActiveIM("im-2", nullptr);
  list[1].set_is_open(true);
  Answer("ims.open", ImBody(list[1]));
  EXPECT_EQ(ims->FetchImsFromCache().size(), 2u);
  ims->CloseIM("im-1", nullptr);
  Answer("ims.close", "{}");
  ASSERT_EQ(ims->FetchImsFromCache().size(), 1u);
  EXPECT_EQ(ims->FetchImsFromCache()[0]->im_id(), "im-2");
  core_test::Slot<std::string> fresh;
  ims->NewIM("u-5", [&](bool ok, auto&, auto im) { fresh.Set(ok && im ? im->im_id() : "none"); });
  EXPECT_EQ(service_->WaitForRequest("ims.new")->Param("uid"), "u-5");
  service_->Succeed(service_->Requests("ims.new")[0].id, "{}");  // an answer without the conversation
  EXPECT_TRUE(fresh.Wait() && fresh.Get() == "none");
}

}  // namespace
