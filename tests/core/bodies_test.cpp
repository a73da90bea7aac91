// The ready-made bodies answer the scripted service the way the core expects.
#include <gtest/gtest.h>

#include "test_support.h"
#include "veltrina/backend/bodies.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/veltrina.h"

namespace {

using namespace veltrina::backend;

TEST(Bodies, AnswerEveryCommonRequest) {
  auto service = std::make_shared<ScriptedService>();
  InstallService(service);
  veltrina::User alice;
  alice.set_uid("u-a");
  alice.set_status(veltrina::User::kBusy);
  veltrina::Channel general;
  general.set_channel_id("c-1");
  general.set_is_member(true);
  general.set_is_general(true);
  general.set_member_uids({"u-a"});
  veltrina::IM im;
  im.set_im_id("im-1");
  im.set_to_uid("u-a");
  veltrina::Message m;
  m.set_key("k");
  m.set_channel_id("c-1");
  m.set_timestamp(5);
  veltrina::Service bot;
  bot.set_service_id("s-1");

  core_test::Slot<int64_t> login;
  veltrina::Auth::SharedAuth()->PostLoginRequest("a", "b", "t", "s", [&](bool ok, int64_t code, auto token, auto user) {
    login.Set(ok && token && user && user->uid() == "u-a" ? code : -99);
  });
  auto request = service->WaitForRequest("auth.login");
  ASSERT_TRUE(request);
  service->Answer(request->id, true, 201, "", LoginBody(veltrina::Token(), alice));
  ASSERT_TRUE(login.Wait());
  EXPECT_EQ(login.Get(), 201);

  veltrina::UserManager::DefaultManager()->GetTeamMembers(nullptr);
  veltrina::UserManager::DefaultManager()->GetUsersStatus(nullptr);
  veltrina::ServiceManager::DefaultManager()->GetServices(nullptr);
  veltrina::ChannelManager::DefaultManager()->GetChannels(false, nullptr);
  veltrina::IMManager::DefaultManager()->GetIMs(nullptr);
  veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, nullptr);
  veltrina::ChatManager::DefaultManager()->GetNumUnreadFromServer(nullptr);
  service->Succeed(service->WaitForRequest("users.list")->id, UsersBody({alice}));
  service->Succeed(service->WaitForRequest("users.status")->id, StatusesBody({alice}));
  service->Succeed(service->WaitForRequest("services.list")->id, ServicesBody({bot}));
  service->Succeed(service->WaitForRequest("channels.list")->id, ChannelsBody({general}));
  service->Succeed(service->WaitForRequest("ims.list")->id, ImsBody({im}));
  service->Succeed(service->WaitForRequest("messages.sync")->id, MessagesBody({m}));
  service->Succeed(service->WaitForRequest("messages.unread")->id, UnreadBody({{"c-1", 2, 3}}));
  service->Push("presence", PresenceEvent("u-a", 3));
  ASSERT_TRUE(WaitForCoreIdle());
  EXPECT_EQ(veltrina::UserManager::DefaultManager()->FetchUserFromCacheByUid("u-a")->status(), 3);
  EXPECT_TRUE(veltrina::ServiceManager::DefaultManager()->FetchServiceFromCacheByServiceId("s-1"));
  EXPECT_TRUE(veltrina::ChannelManager::DefaultManager()->FetchChannelFromCacheByChannelId("c-1")->IsGeneral());
  EXPECT_EQ(veltrina::IMManager::DefaultManager()->FetchImsFromCache().size(), 1u);
  EXPECT_EQ(veltrina::ChatManager::DefaultManager()->NumUnreadInChannelFromMemCache("c-1").num_new, 3u);
  EXPECT_EQ(veltrina::ChatManager::DefaultManager()
                ->FetchMessagesFromCache("c-1", 0, 2147483647, 20, nullptr, nullptr, false)
                .size(),
            1u);

  core_test::Slot<int> entities;
  veltrina::Director director;
  veltrina::Entity e;
  e.set_entity_id("e-1");
  director.entity_manager()->GetEntitiesByChannelId("c-1", 1, 0, "", 1, 20, [&](bool, const std::string&, auto list, int total) {
    entities.Set(static_cast<int>(list.size()) * 100 + total);
  });
  service->Succeed(service->WaitForRequest("entities.list")->id, EntitiesBody({e, e}, 42));
  ASSERT_TRUE(entities.Wait());
  EXPECT_EQ(entities.Get(), 242);
}

}  // namespace
