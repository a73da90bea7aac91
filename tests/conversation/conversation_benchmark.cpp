// Not a timed test: prints the cost of converting messages with 50, 500 and 5,000 items, of
// opening a conversation of 20 mixed messages and of one of 20 cards with cached thumbnails.
#include <chrono>
#include <cstdio>

#include "conversation/markup.h"
#include "frame/window_manager.h"
#include "main_fixture.h"
#include "veltrina/attachment.h"
#include "veltrina/chat_manager.h"
#include "veltrina/entity.h"

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
  // Cards: images, files, comments, mails and attachments, in turn.
  for (int i = 0; i < 20; ++i) {
    veltrina::Entity e;
    e.set_entity_id("e-" + std::to_string(i));
    e.set_title("file-" + std::to_string(i) + ".pdf");
    e.set_path("f/e-" + std::to_string(i));
    e.set_file_extension(i % 5 == 0 ? "png" : "pdf");
    e.set_thumb_width(400);
    e.set_thumb_height(300);
    e.set_subject("subject");
    veltrina::Message m = Message("c-3", 1, i % 2 ? "u-a" : "u-b", "上传了文件: file-" + std::to_string(i) + ".pdf", 200 + i);
    const int types[] = {5, 6, 22, 12, 32};
    m.set_message_type(types[i % 5]);
    m.set_entity_json(e.ToJson());
    veltrina::Attachment a;
    a.set_pretext("构建完成");
    a.set_color("#36A64F");
    a.set_title("build " + std::to_string(i));
    a.set_fields({{"分支", "main", true}, {"耗时", "3 分钟", true}});
    m.set_attachment(a);
    page.push_back(m);
  }
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1), Channel("c-3", "three", 1)}, {});
  veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [](bool, const std::string&) {});
  auto sync = service_->WaitForRequest("messages.sync");
  ASSERT_TRUE(sync);
  service_->Succeed(sync->id, bodies::MessagesBody(page));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  double open_ms = 0, cards_ms = 0;
  auto open = [](const wchar_t* row) {
    return [row] {
      auto* list = dynamic_cast<DuiLib::CListUI*>(Control(L"sessionList"));
      list->SelectItem(list->GetItemIndex(Control(L"channelItem_c-2")), false);
      list->SelectItem(list->GetItemIndex(Control(row)), false);
    };
  };
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("open", [&] { open_ms = Millis(open(L"channelItem_c-1"), 5); });
  // The first opening of the cards downloads their thumbnails; the timed ones find them cached.
  d.Do("fetch the thumbnails", [&] { open(L"channelItem_c-3")(); });
  d.Pause(1000);
  d.Do("open the cards", [&] {
    cards_ms = Millis(open(L"channelItem_c-3"), 5);
    EXPECT_EQ(dynamic_cast<DuiLib::CListUI*>(Control(L"chat_display"))->GetCount(), 20);  // every card drawn
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
  std::printf("opening a conversation of 20 mixed messages: %.2f ms\n", open_ms);
  std::printf("opening a conversation of 20 cards with cached thumbnails: %.2f ms\n", cards_ms);
}
