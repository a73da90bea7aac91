// Not a timed test: prints the cost of converting messages with 50, 500 and 5,000 items and of
// opening a conversation of 20 mixed messages.
#include <chrono>
#include <cstdio>

#include "conversation/markup.h"
#include "frame/window_manager.h"
#include "main_fixture.h"
#include "veltrina/chat_manager.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {
double Millis(const std::function<void()>& f, int repeat) {
  double best = 1e9;
  for (int i = 0; i < repeat; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}
}  // namespace

class ConversationBenchmark : public MainTest {};

TEST_F(ConversationBenchmark, ConversionAndOpening) {
  for (int items : {50, 500, 5000}) {
    std::string content;
    for (int i = 0; i < items; ++i) content += "see [http://e.com/" + std::to_string(i) + "|link] and <@u-a> ";
    double ms = Millis([&] { veltrinawnd::ConvertMessageMarkup(content); }, 3);
    std::printf("markup conversion: %d items (%zu bytes) %.2f ms\n", items, content.size(), ms);
  }
  std::vector<veltrina::Message> page;
  const char* texts[] = {"plain text", "with :smile: emoji :+1:", "[http://a.com|a link] and <#c-1|one>",
                         "12:30:45 time", "a much longer message that wraps over several lines of the view, again and again"};
  for (int i = 0; i < 20; ++i) page.push_back(Message("c-1", 1, i % 2 ? "u-a" : "u-b", texts[i % 5], 100 + i));
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [](bool, const std::string&) {});
  auto sync = service_->WaitForRequest("messages.sync");
  ASSERT_TRUE(sync);
  service_->Succeed(sync->id, bodies::MessagesBody(page));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  double open_ms = 0;
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("open", [&open_ms] {
    open_ms = Millis([] {
      testkit::NotifyControl(Main(), L"channelItem_c-2", L"itemclick");
      auto* list = dynamic_cast<DuiLib::CListUI*>(Control(L"sessionList"));
      list->SelectItem(list->GetItemIndex(Control(L"channelItem_c-2")), false);
      list->SelectItem(list->GetItemIndex(Control(L"channelItem_c-1")), false);
    }, 5);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
  std::printf("opening a conversation of 20 mixed messages: %.2f ms\n", open_ms);
}
