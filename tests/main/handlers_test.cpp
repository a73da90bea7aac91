// The main window's refresh chain and its core handlers, driven by pushed events.
#include "frame/window_manager.h"
#include "main_fixture.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {
int ChatRows() {
  auto* list = dynamic_cast<DuiLib::CListUI*>(
      testkit::FindControl(FindWindowW(L"MainWindow", L"Veltrina"), L"chat_display"));
  return list ? list->GetCount() : -1;
}
void Leave() { WindowManager::Instance()->CloseAll(); }
}  // namespace

class HandlersTest : public MainTest {};

TEST_F(HandlersTest, RefreshChainRunsInOrderAndStopsSilentlyOnAFailure) {
  auto svc = service_;
  testkit::UiDriver d;
  Answer(d, "channels.list", [svc](const auto& r) { svc->Succeed(r.id, bodies::ChannelsBody({})); });
  Answer(d, "ims.list", [svc](const auto& r) { svc->Succeed(r.id, bodies::ImsBody({})); });
  Answer(d, "messages.sync", [svc](const auto& r) { svc->Fail(r.id, 500, "down"); });
  d.Pause(150);
  d.Do("no further step", [this, svc] {
    EXPECT_EQ(svc->CountRequests("messages.unread"), 0u);
    EXPECT_TRUE(shell_.boxes.empty());  // the main window shows no error texts
    std::vector<std::string> order;
    for (const auto& r : svc->Requests())
      if (r.method == "channels.list" || r.method == "ims.list" || r.method == "messages.sync") order.push_back(r.method);
    EXPECT_EQ(order, (std::vector<std::string>{"channels.list", "ims.list", "messages.sync"}));
    Leave();
  });
  RunMain(d);
}

TEST_F(HandlersTest, MessagesForTheOpenConversationAppearAndOthersOnlyMoveBadges) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {Im("i-a", "u-a")});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  AnswerRefresh(d, {Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {Im("i-a", "u-a")});
  auto rows = std::make_shared<int>(0);
  d.Do("push for the open channel", [this, rows] {
    *rows = ChatRows();
    service_->Push("message", bodies::MessageEvent(Message("c-1", 1, "u-a", "你好", 1000)));
  });
  d.WaitFor("appended", [rows] { return ChatRows() == *rows + 1; });
  d.Do("the same message again, then elsewhere", [this] {
    // Stored messages may also reach the view from the cache: a repeated key shows once.
    service_->Push("message", bodies::MessageEvent(Message("c-1", 1, "u-a", "你好", 1000)));
    service_->Push("message", bodies::MessageEvent(Message("c-2", 1, "u-b", "elsewhere", 1001)));
    service_->Push("unread", bodies::UnreadEvent("c-2", 4, 4));
    service_->Push("unread", bodies::UnreadEvent("c-1", 2, 2));
  });
  d.WaitFor("badge", [] { return Text(L"channelItem_c-2_num_unread_id") == L"4"; });
  d.Do("open conversation never shows a badge, its cursor moved", [this, rows] {
    EXPECT_EQ(ChatRows(), *rows + 1);
    EXPECT_FALSE(Control(L"channelItem_c-1_num_unread_id")->IsVisible());
    EXPECT_GE(service_->CountRequests("messages.cursor"), 1u);
    EXPECT_EQ(service_->CountRequests("channels.list"), 2u);  // no refresh for known ids
    Leave();
  });
  RunMain(d);
}

TEST_F(HandlersTest, UnknownConversationsStartExactlyOneRefresh) {
  Prime({Channel("c-1", "one", 1)}, {});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  AnswerRefresh(d, {Channel("c-1", "one", 1)}, {});
  d.Do("message for an unknown channel", [this] {
    service_->Push("message", bodies::MessageEvent(Message("c-new", 1, "u-a", "hi", 2000)));
  });
  // Whatever GetChannels reports, the lists are reloaded.
  Answer(d, "channels.list", [this](const auto& r) { service_->Fail(r.id, 500, "down"); });
  d.Pause(100);
  d.Do("one refresh only", [this] {
    EXPECT_EQ(service_->CountRequests("channels.list"), 3u);
    service_->Push("message", bodies::MessageEvent(Message("i-new", 2, "u-b", "dm", 2001)));
  });
  // A direct message from an unknown conversation: ActiveIM first, the lists only after it.
  Answer(d, "ims.open", [this](const auto& r) {
    EXPECT_EQ(r.Param("im_id"), "i-new");
    service_->Succeed(r.id, bodies::ImBody(Im("i-new", "u-b")));
  });
  Answer(d, "ims.list", [this](const auto& r) {
    service_->Succeed(r.id, bodies::ImsBody({Im("i-new", "u-b")}));
  });
  d.WaitFor("row for the new direct message", [] { return Control(L"imItem_i-new") != nullptr; });
  d.Do("a failed ActiveIM reloads nothing", [this] {
    service_->Push("message", bodies::MessageEvent(Message("i-other", 2, "u-c", "dm", 2002)));
  });
  Answer(d, "ims.open", [this](const auto& r) { service_->Fail(r.id, 404, "gone"); });
  d.Pause(100);
  d.Do("check", [this] {
    EXPECT_EQ(service_->CountRequests("ims.list"), 3u);  // refresh chain, prime, the successful one
    Leave();
  });
  RunMain(d);
}

TEST_F(HandlersTest, PresenceChangesMoveTheDot) {
  Prime({}, {Im("i-a", "u-a")});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("push presence", [this] { service_->Push("presence", bodies::PresenceEvent("u-a", 3)); });
  d.WaitFor("away", [] {
    auto* dot = dynamic_cast<DuiLib::CButtonUI*>(Control(L"status_btnu-a"));
    return dot && dot->GetNormalImage() == L"status/status_away_normal.png";
  });
  d.Do("unknown code leaves it", [this] { service_->Push("presence", bodies::PresenceEvent("u-a", 9)); });
  d.Pause(100);
  d.Do("check", [] {
    auto* dot = dynamic_cast<DuiLib::CButtonUI*>(Control(L"status_btnu-a"));
    EXPECT_EQ(dot->GetNormalImage(), L"status/status_away_normal.png");
    Leave();
  });
  RunMain(d);
}
