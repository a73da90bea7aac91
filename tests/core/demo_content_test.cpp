// The demo's content holds together the way the windows read it.
#include <gtest/gtest.h>

#include <ctime>

#include "demo_support.h"

namespace {

using namespace core_test;

bool IsPng(const std::string& url) {
  Slot<std::string> body;
  veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest(url),
                                             [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
                                               body.Set(ok ? r->raw_data() : "");
                                             });
  EXPECT_TRUE(body.Wait());
  return body.Get().size() > 8 && body.Get().compare(1, 3, "PNG") == 0;
}

class DemoContent : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDemo(folder_.path());
    SignInAndLoad("alice", "veltrina");
  }
  TempFolder folder_;
};

TEST_F(DemoContent, EveryAvatarAndThumbnailIsAPicture) {
  for (const auto& user : veltrina::UserManager::DefaultManager()->FetchUsersFromCache()) {
    std::string name = user->header_url();
    size_t dot = name.find('.');
    ASSERT_NE(dot, std::string::npos) << user->uid();
    EXPECT_TRUE(IsPng(std::string(veltrina::kStorageBaseUrl) + "/vtavatar/" + name.substr(0, dot) + "_40x40" +
                      name.substr(dot)))
        << user->uid();
  }
  for (const auto& service : veltrina::ServiceManager::DefaultManager()->FetchServicesFromCache())
    EXPECT_TRUE(IsPng(std::string(veltrina::kStorageBaseUrl) + "/vtstatic/" + service->avatar_url()));
  for (const auto& m : veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-design", 0, 2147483647, 20,
                                                                                     nullptr, nullptr, false)) {
    if (m->message_type() != veltrina::Message::kImage) continue;
    veltrina::Entity e;
    ASSERT_TRUE(e.InitWithJsonOrDie(m->entity_json()));
    ASSERT_GT(e.thumb_width(), 0);
    int w = e.thumb_width() > e.thumb_height() ? 80 : e.thumb_width() * 80 / e.thumb_height();
    int h = e.thumb_width() > e.thumb_height() ? e.thumb_height() * 80 / e.thumb_width() : 80;
    EXPECT_TRUE(IsPng(std::string(veltrina::kFileBoxUrl) + "/thumb/" + e.path() + "_" + std::to_string(w) + "x" +
                      std::to_string(h) + "." + e.file_extension()));
  }
}

TEST_F(DemoContent, CardsCarryWhatTheirRenderersRead) {
  auto* chat = veltrina::ChatManager::DefaultManager();
  for (const auto& channel : veltrina::ChannelManager::DefaultManager()->FetchChannelsFromCache(1, true, true)) {
    for (const auto& m : chat->FetchMessagesFromCache(channel->channel_id(), 0, 2147483647, 20, nullptr, nullptr, false)) {
      int type = m->message_type();
      veltrina::Entity e;
      bool entity = e.InitWithJsonOrDie(m->entity_json());
      if (type == 5 || type == 6 || type == 7 || type == 8) {
        EXPECT_TRUE(entity);
        EXPECT_FALSE(e.path().empty());
        EXPECT_NE(m->content().find(':'), std::string::npos);  // the title follows the first ":"
      } else if (type == 12) {
        EXPECT_TRUE(entity);
        EXPECT_FALSE(e.subject().empty());
        EXPECT_FALSE(e.from().empty());
      } else if (type == 22) {
        EXPECT_TRUE(entity);
        EXPECT_FALSE(e.title().empty());
      } else if (type == 32) {
        auto a = m->GetAttachment();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->color().size(), 7u);
        EXPECT_EQ(a->color()[0], '#');
      } else if (m->sender_type() == 3) {
        EXPECT_TRUE(entity);
        EXPECT_FALSE(e.public_url().empty());
      }
      if (m->sender_type() == 1)
        EXPECT_TRUE(veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid(m->uid())) << m->uid();
      else
        EXPECT_TRUE(veltrina::ServiceManager::DefaultManager()->FetchServiceFromCacheByServiceId(m->uid()));
    }
  }
}

TEST_F(DemoContent, OpeningAConversationClearsItsUnreadCount) {
  auto* chat = veltrina::ChatManager::DefaultManager();
  std::string first = chat->FirstChannelHasUnreadMessage();
  ASSERT_FALSE(first.empty());
  uint32_t before = chat->NumUnreadInCurrentTeam().num_unread;
  uint32_t own = chat->NumUnreadInChannelFromMemCache(first).num_unread;
  ASSERT_GT(own, 0u);
  int64_t now = std::time(nullptr);
  chat->MarkReadCursorForChannelInCache(first, now, true);
  Slot<bool> marked;
  chat->MarkAsRead(first, 1, now, [&](bool ok, const std::string&) { marked.Set(ok); });
  ASSERT_TRUE(marked.Wait());
  EXPECT_TRUE(marked.Get());
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  EXPECT_EQ(chat->NumUnreadInCurrentTeam().num_unread, before - own);
  EXPECT_NE(chat->FirstChannelHasUnreadMessage(), first);
  Slot<bool> synced;
  chat->GetNumUnreadFromServer([&](bool ok, const std::string&) { synced.Set(ok); });
  ASSERT_TRUE(synced.Wait());
  EXPECT_EQ(chat->NumUnreadInChannelFromMemCache(first).num_unread, 0u);
}

TEST_F(DemoContent, MembersAndDirectMessages) {
  auto members = veltrina::ChannelManager::DefaultManager()->FetchMembersOfChannelFromCache("c-general");
  EXPECT_GE(members.size(), 5u);
  Slot<std::string> im;
  veltrina::IMManager::DefaultManager()->NewIM("u-zhaomin", [&](bool ok, const std::string&, std::unique_ptr<veltrina::IM> i) {
    im.Set(ok && i ? i->im_id() + "|" + i->to_uid() : "");
  });
  ASSERT_TRUE(im.Wait());
  std::string id = im.Get().substr(0, im.Get().find('|'));
  EXPECT_EQ(im.Get().substr(im.Get().find('|') + 1), "u-zhaomin");
  ASSERT_TRUE(veltrina::IMManager::DefaultManager()->FetchImFromCacheByImId(id));
  Slot<bool> invited;
  veltrina::ChannelManager::DefaultManager()->InviteToChannel("c-random", "u-zhaomin",
                                                              [&](bool ok, const std::string&) { invited.Set(ok); });
  ASSERT_TRUE(invited.Wait());
  EXPECT_TRUE(invited.Get());
  bool found = false;
  for (const auto& u : veltrina::ChannelManager::DefaultManager()->FetchMembersOfChannelFromCache("c-random"))
    found = found || u->uid() == "u-zhaomin";
  EXPECT_TRUE(found);
  Slot<bool> closed;
  veltrina::IMManager::DefaultManager()->CloseIM(id, [&](bool ok, const std::string&) { closed.Set(ok); });
  ASSERT_TRUE(closed.Wait());
  for (const auto& i : veltrina::IMManager::DefaultManager()->FetchImsFromCache()) EXPECT_NE(i->im_id(), id);
}

}  // namespace
