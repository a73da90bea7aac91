// The main window's refresh chain and its core handlers, driven by pushed events.
#include <malloc.h>

#include <mutex>

#include "main_fixture.h"
#include "veltrina/log.h"

namespace bodies = veltrina::backend;

class HandlersTest : public MainTest {
 protected:
  static int ChatRows() {
    auto* list = dynamic_cast<DuiLib::CListUI*>(Control(L"chat_display"));
    return list ? list->GetCount() : -1;
  }
  static std::wstring Dot() {
    auto* dot = dynamic_cast<DuiLib::CButtonUI*>(Control(L"status_btnu-a"));
    return dot ? std::wstring(dot->GetNormalImage()) : L"";
  }
  void Push(const veltrina::Message& m) { service_->Push("message", bodies::MessageEvent(m)); }
};

TEST_F(HandlersTest, RefreshChainRunsInOrderAndStopsSilentlyOnAFailure) {
  auto svc = service_;
  testkit::UiDriver d;
  Answer(d, "channels.list", [svc](const auto& r) { svc->Succeed(r.id, bodies::ChannelsBody({})); });
  Answer(d, "ims.list", [svc](const auto& r) { svc->Succeed(r.id, bodies::ImsBody({})); });
  Answer(d, "messages.sync", [svc](const auto& r) { svc->Fail(r.id, 500, "down"); });
  d.Pause(150).Do("no further step, no message", [this, svc] {
    EXPECT_EQ(svc->CountRequests("messages.unread"), 0u);
    EXPECT_TRUE(shell_.boxes.empty());
    std::vector<std::string> order;
    for (const auto& r : svc->Requests())
      if (r.method == "channels.list" || r.method == "ims.list" || r.method == "messages.sync") order.push_back(r.method);
    EXPECT_EQ(order, (std::vector<std::string>{"channels.list", "ims.list", "messages.sync"}));
  });
  Finish(d);
}

TEST_F(HandlersTest, MessagesForTheOpenConversationShowOnceOthersMoveBadgesPresenceMovesTheDotUnknownOnesRefreshOnce) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {Im("i-a", "u-a")});
  // What teammates write stays out of the log: arrivals are logged by id and size.
  auto logged = std::make_shared<std::pair<std::mutex, std::string>>();
  veltrina::set_log_observer([logged](const std::string& line) {
    std::lock_guard<std::mutex> lock(logged->first);
    logged->second += line + "\n";
  });
  testkit::UiDriver d;
  WaitMain(d);
  AnswerRefresh(d, {Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {Im("i-a", "u-a")});
  auto rows = std::make_shared<int>(0);
  d.Do("push for the open channel", [this, rows] {
    *rows = ChatRows();
    Push(Message("c-1", 1, "u-a", "你好", 1000));
  });
  d.WaitFor("appended", [rows] { return ChatRows() == *rows + 1; });
  d.Do("the same message again, then elsewhere", [this] {
    Push(Message("c-1", 1, "u-a", "你好", 1000));  // a stored message may also come from the cache
    Push(Message("c-2", 1, "u-b", "elsewhere", 1001));
    service_->Push("unread", bodies::UnreadEvent("c-2", 4, 4));
    service_->Push("unread", bodies::UnreadEvent("c-1", 2, 2));
    service_->Push("presence", bodies::PresenceEvent("u-a", 3));
  });
  d.WaitFor("badge and dot", [] { return Text(L"channelItem_c-2_num_unread_id") == L"4" && Dot() == L"status/status_away_normal.png"; });
  d.Do("the open conversation shows no badge; its cursor moved; no refresh", [this, rows] {
    EXPECT_EQ(ChatRows(), *rows + 1);
    EXPECT_FALSE(Control(L"channelItem_c-1_num_unread_id")->IsVisible());
    EXPECT_GE(service_->CountRequests("messages.cursor"), 1u);
    EXPECT_EQ(service_->CountRequests("channels.list"), 2u);
    service_->Push("presence", bodies::PresenceEvent("u-a", 9));
  });
  d.Pause(100).Do("an unknown presence leaves the dot; a message for an unknown channel", [this] {
    EXPECT_EQ(Dot(), L"status/status_away_normal.png");
    Push(Message("c-new", 1, "u-a", "hi", 2000));
  });
  Answer(d, "channels.list", [this](const auto& r) { service_->Fail(r.id, 500, "down"); });
  d.Pause(100).Do("one refresh only; a direct message from an unknown conversation", [this] {
    EXPECT_EQ(service_->CountRequests("channels.list"), 3u);
    Push(Message("i-new", 2, "u-b", "dm", 2001));
  });
  // The conversation is opened on the server first, the lists reloaded only after it.
  Answer(d, "ims.open", [this](const auto& r) {
    EXPECT_EQ(r.Param("im_id"), "i-new");
    service_->Succeed(r.id, bodies::ImBody(Im("i-new", "u-b")));
  });
  Answer(d, "ims.list", [this](const auto& r) { service_->Succeed(r.id, bodies::ImsBody({Im("i-new", "u-b")})); });
  d.WaitFor("a row for it", [] { return Control(L"imItem_i-new") != nullptr; });
  d.Do("a failed opening reloads nothing", [this] { Push(Message("i-other", 2, "u-c", "dm", 2002)); });
  Answer(d, "ims.open", [this](const auto& r) { service_->Fail(r.id, 404, "gone"); });
  d.Pause(100).Do("check", [this] { EXPECT_EQ(service_->CountRequests("ims.list"), 3u); });
  Finish(d);
  veltrina::set_log_observer(nullptr);
  std::lock_guard<std::mutex> lock(logged->first);
  EXPECT_NE(logged->second.find("Recv channel message "), std::string::npos);
  EXPECT_NE(logged->second.find("Recv direct message : "), std::string::npos);
  for (const char* text : {"你好", "elsewhere"}) EXPECT_EQ(logged->second.find(text), std::string::npos) << text;
}

// Blocks in use on the C runtime's heap (operator new takes its memory there).
size_t BusyHeapBlocks() {
  _HEAPINFO entry{};
  size_t busy = 0;
  while (_heapwalk(&entry) == _HEAPOK)
    if (entry._useflag == _USEDENTRY) ++busy;
  return busy;
}

TEST_F(HandlersTest, EveryHandledCoreEventIsFreed) {
  Prime({Channel("c-1", "one", 1)}, {Im("i-a", "u-a")});
  testkit::UiDriver d;
  WaitMain(d);
  AnswerRefresh(d, {Channel("c-1", "one", 1)}, {Im("i-a", "u-a")});
  // Presence changes of a known peer hold nothing once handled; a payload kept after its
  // handler would stay on the heap, one block (and more) per event.
  constexpr int kEvents = 600;
  auto before = std::make_shared<size_t>(0);
  auto storm = [this](int status) {
    for (int i = 0; i < kEvents; ++i) service_->Push("presence", bodies::PresenceEvent("u-a", i % 2 == 0 ? 1 : status));
  };
  d.Do("a first storm settles the heap", [storm] { storm(3); });
  d.WaitFor("handled", [] { return Dot() == L"status/status_away_normal.png"; });
  d.Pause(200).Do("a second storm", [before, storm] {
    *before = BusyHeapBlocks();
    ASSERT_GT(*before, 0u) << "the heap can be walked";
    storm(2);
  });
  d.WaitFor("handled", [] { return Dot() == L"status/status_busy_normal.png"; });
  d.Pause(200).Do("the heap did not grow by the events", [before] {
    const size_t after = BusyHeapBlocks();
    EXPECT_LT(after, *before + kEvents / 2) << *before << " blocks before, " << after << " after";
  });
  Finish(d);
}

TEST_F(HandlersTest, AStormForUnknownConversationsReloadsEachListOnceThenOnceMoreAfterTheGap) {
  Prime({Channel("c-1", "one", 1)}, {});
  testkit::UiDriver d;
  WaitMain(d);
  AnswerRefresh(d, {Channel("c-1", "one", 1)}, {});
  std::vector<veltrina::Channel> all = {Channel("c-1", "one", 1)};
  for (int i = 0; i < 30; ++i) all.push_back(Channel("c-new" + std::to_string(i), "new", 1));
  d.Do("a storm", [this] {
    for (int i = 0; i < 30; ++i) Push(Message("c-new" + std::to_string(i), 1, "u-a", "hi", 2000 + i));
    for (int i = 0; i < 10; ++i) Push(Message("i-new", 2, "u-b", "dm", 3000 + i));
  });
  Answer(d, "channels.list", [this, all](const auto& r) {
    service_->Succeed(r.id, bodies::ChannelsBody({all[0], all[1]}));
  });
  Answer(d, "ims.open", [this](const auto& r) { service_->Succeed(r.id, bodies::ImBody(Im("i-new", "u-b"))); });
  Answer(d, "ims.list", [this](const auto& r) { service_->Succeed(r.id, bodies::ImsBody({Im("i-new", "u-b")})); });
  d.Pause(300).Do("one request of each so far (after the priming's and the refresh chain's)", [this] {
    EXPECT_EQ(service_->CountRequests("channels.list"), 3u);
    EXPECT_EQ(service_->CountRequests("ims.open"), 1u);
    EXPECT_EQ(service_->CountRequests("ims.list"), 3u);
    EXPECT_TRUE(Control(L"channelItem_c-new0") && Control(L"imItem_i-new") && !Control(L"channelItem_c-new29"));
  });
  // The messages after the first reload are served by one more, when the gap ends.
  Answer(d, "channels.list", [this, all](const auto& r) { service_->Succeed(r.id, bodies::ChannelsBody(all)); });
  d.WaitFor("the last new channel's row", [] { return Control(L"channelItem_c-new29") != nullptr; });
  d.Pause(300).Do("and nothing more", [this] {
    EXPECT_EQ(service_->CountRequests("channels.list"), 4u);
    EXPECT_EQ(service_->CountRequests("ims.list"), 3u);
  });
  Finish(d);
}

TEST_F(HandlersTest, AReadCursorAnsweredWithAnUnreadEventSendsNoFurtherCursor) {
  // A service that confirms every cursor with the conversation's new counts.
  bodies::ScriptedService* svc = service_.get();
  service_->AutoAnswer("messages.cursor", [svc](const bodies::RecordedRequest& r) {
    svc->Push("unread", bodies::UnreadEvent(r.Param("channel_id"), 0, 0));
    return bodies::Reply{true, 0, "", "{}", ""};
  });
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  testkit::UiDriver d;
  WaitMain(d);
  AnswerRefresh(d, {Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  d.Do("opened with nothing unread: no cursor; then a message in the open channel", [this] {
    EXPECT_EQ(service_->CountRequests("messages.cursor"), 0u);
    Push(Message("c-1", 1, "u-a", "one", 1000));
    service_->Push("unread", bodies::UnreadEvent("c-1", 1, 1));
  });
  d.Pause(500).Do("one cursor, confirmed, and no other", [this] {
    EXPECT_EQ(service_->CountRequests("messages.cursor"), 1u);
    EXPECT_FALSE(Control(L"channelItem_c-1_num_unread_id")->IsVisible());
  });
  Finish(d);
}

TEST_F(HandlersTest, MessagesStampedAfter2038OrInMillisecondsShowInTimeOrder) {
  Prime({Channel("c-1", "one", 1)}, {});
  testkit::UiDriver d;
  WaitMain(d);
  AnswerRefresh(d, {Channel("c-1", "one", 1)}, {}, {},
                {Message("c-1", 1, "u-a", "in 2100", 4102444800), Message("c-1", 1, "u-a", "in milliseconds", 1700000001000),
                 Message("c-1", 1, "u-a", "in seconds", 1700000000)});
  d.WaitFor("all three", [] { return ChatRows() == 3; });
  d.Do("oldest first", [] {
    auto* chat = dynamic_cast<DuiLib::CListUI*>(Control(L"chat_display"));
    std::wstring order;
    for (int i = 0; i < 3; ++i) order += At(chat->GetItemAt(i), {0, 1, 1})->GetText() + L"|";
    EXPECT_EQ(order, L"in seconds|in milliseconds|in 2100|");
  });
  Finish(d);
}
