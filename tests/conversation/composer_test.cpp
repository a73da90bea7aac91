// History, arrival and the composer, through the main window.
#include "conversation/outgoing_texts.h"
#include "main_fixture.h"
#include "veltrina/chat_manager.h"

namespace bodies = veltrina::backend;

// A refused session hands every text over, answered or not, in send order; a text kept for a
// later main window comes back with its conversation, and a late answer finds nothing.
TEST(OutgoingTexts, EveryTextGoesOverToTheNextMainWindow) {
  veltrinawnd::OutgoingTexts texts;
  const int waiting = texts.Sent("c-1", L"one");
  const int failed = texts.Sent("c-2", L"two");
  EXPECT_EQ(texts.Answered(failed, false), "c-2");
  texts.Sent("c-1", L"three");
  const auto all = texts.TakeAll();
  EXPECT_EQ(all, (std::vector<std::pair<std::string, std::wstring>>{{"c-1", L"one"}, {"c-2", L"two"}, {"c-1", L"three"}}));
  EXPECT_FALSE(texts.waiting());
  EXPECT_EQ(texts.Answered(waiting, false), "");
  veltrinawnd::OutgoingTexts next;
  for (const auto& [id, text] : all) next.Keep(id, text);
  EXPECT_FALSE(next.waiting());
  EXPECT_EQ(next.TakeDraft("c-1"), L"one\nthree");
  EXPECT_EQ(next.TakeDraft("c-2"), L"two");
}

class ComposerTest : public MainTest {
 protected:
  static DuiLib::CListUI* Chat() { return dynamic_cast<DuiLib::CListUI*>(Control(L"chat_display")); }
  static HWND Input() {
    auto* input = dynamic_cast<DuiLib::CRichEditUI*>(Control(L"chat_input"));
    return input ? input->GetNativeWindow() : nullptr;
  }
  // Delivers Enter the way the modal loop would, synchronously (pumping here would let the
  // driver's later steps run inside this one).
  static void PressEnter(HWND target, bool shift = false) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg{target, WM_KEYDOWN, VK_RETURN, 0x001C0001, GetTickCount(), {}};
    if (!DuiLib::CPaintManagerUI::TranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MSG pending;  // the character a translated key leaves behind
    while (PeekMessageW(&pending, target, WM_CHAR, WM_CHAR, PM_REMOVE)) DispatchMessageW(&pending);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
  }
};

TEST_F(ComposerTest, HistoryShowsTheLastPageScrolledDownAndReopeningAddsNoDuplicates) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  std::vector<veltrina::Message> page;
  for (int i = 0; i < 50; ++i) page.push_back(Message("c-1", 1, i % 2 ? "u-a" : "u-b", "message " + std::to_string(i), 1000 + i));
  veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [](bool, const std::string&) {});
  auto sync = service_->WaitForRequest("messages.sync");
  ASSERT_TRUE(sync);
  service_->Succeed(sync->id, bodies::MessagesBody(page));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  testkit::UiDriver d;
  d.WaitFor("scrolled to the newest", [] {
    DuiLib::CListUI* list = Main() ? Chat() : nullptr;
    return list && list->GetCount() == 20 && list->GetScrollRange().cy > 0 &&
           list->GetScrollPos().cy == list->GetScrollRange().cy;
  });
  d.Do("open another", [] { testkit::ClickControl(Main(), L"channelItem_c-2"); });
  d.WaitFor("other open", [] { return Text(L"title_label") == L"#two"; });
  d.Do("reopen", [] { testkit::ClickControl(Main(), L"channelItem_c-1"); });
  d.WaitFor("reopened", [] { return Text(L"title_label") == L"#one"; });
  d.Do("twenty rows again, none twice", [] { EXPECT_EQ(Chat()->GetCount(), 20); });
  Finish(d);
}

TEST_F(ComposerTest, EnterSendsShiftEnterAddsALineTheCompletionShowsTheRowAndAFailureGivesTheTextBack) {
  Prime({Channel("c-1", "one", 1)}, {Im("i-a", "u-a")});
  auto rows = std::make_shared<int>(0);
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() && Input(); });
  d.Do("enter on an empty composer, then a text with two lines", [this, rows] {
    SetFocus(Input());
    PressEnter(Input());
    EXPECT_EQ(service_->CountRequests("messages.send"), 0u);
    Control(L"chat_input")->SetText(L"word");
    PressEnter(Input(), true);
    PressEnter(Input(), true);
    EXPECT_EQ(Text(L"chat_input"), L"word\n\n");
    *rows = Chat()->GetCount();
    PressEnter(Input());
  });
  Answer(d, "messages.send", [this, rows](const auto& r) {
    EXPECT_EQ(Text(L"chat_input"), L"");
    EXPECT_EQ(Chat()->GetCount(), *rows);  // nothing shown before the completion
    std::string m = r.Param("message");
    EXPECT_TRUE(m.find("\"c-1\"") != std::string::npos && m.find("word\\n\\n") != std::string::npos) << m;
    service_->Succeed(r.id, bodies::MessageBody(Message("c-1", 1, "u-me", "word\n\n", 9000)));
  });
  d.WaitFor("one row", [rows] { return Chat()->GetCount() == *rows + 1; });
  d.Do("enter elsewhere is not the composer's", [this] {
    Control(L"chat_input")->SetText(L"kept");
    SetFocus(Main());
    Control(L"sessionList")->SetFocus();
    PressEnter(Main());
    EXPECT_EQ(service_->CountRequests("messages.send"), 1u);
    EXPECT_EQ(Text(L"chat_input"), L"kept");
    testkit::ClickControl(Main(), L"imItem_i-a");
  });
  d.WaitFor("direct message open", [] { return Text(L"title_label") == L"安娜"; });
  d.Do("send to the direct message", [] {
    Control(L"chat_input")->SetText(L"你好");
    testkit::ClickControl(Main(), L"send_message_btn");
  });
  Answer(d, "messages.send", [this](const auto& r) {
    std::string m = r.Param("message");
    EXPECT_TRUE(m.find("\"i-a\"") != std::string::npos && m.find("\"u-a\"") != std::string::npos) << m;  // the partner
    service_->Fail(r.id, 500, "down");
  });
  d.WaitFor("text restored after the failure", [] { return Text(L"chat_input") == L"你好"; });
  d.Do("the edit menu: copy, cut, paste, dismissed", [this] {
    auto* input = dynamic_cast<DuiLib::CRichEditUI*>(Control(L"chat_input"));
    input->SetSel(0, -1);
    const std::pair<int, const wchar_t*> steps[] = {{1059, L"你好"}, {1061, L""}, {1060, L"你好"}, {0, L"你好"}};
    for (auto [command, after] : steps) {
      shell_.menu_answer = command;
      testkit::NotifyControl(Main(), L"chat_input", L"richedit_click");
      EXPECT_EQ(input->GetText(), after) << command;
    }
  });
  Finish(d);
}

TEST_F(ComposerTest, AFailedOrUnansweredSendKeepsItsTextForItsConversationAndNeverOverwritesNewText) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  auto send = [](const wchar_t* text) {
    Control(L"chat_input")->SetText(text);
    testkit::ClickControl(Main(), L"send_message_btn");
  };
  auto open = [](testkit::UiDriver& d, const wchar_t* id, const std::wstring& title) {
    d.Do("open", [id] { testkit::ClickControl(Main(), (std::wstring(L"channelItem_") + id).c_str()); });
    d.WaitFor("open", [title] { return Text(L"title_label") == title; });
  };
  auto tick = [](int ticks) {
    for (int i = 0; i < ticks; ++i) SendMessageW(Main(), WM_TIMER, veltrinawnd::kTimerSendTimeOut, 0);
  };
  testkit::UiDriver d;
  d.WaitFor("c-1 open", [] { return Main() && Input() && Text(L"title_label") == L"#one"; });
  d.Do("send in c-1", [send] { send(L"first"); });
  Request first = Take(d, "messages.send");
  open(d, L"c-2", L"#two");
  d.Do("c-1's send fails while c-2 is open", [this, first] { service_->Fail((*first)->id, 500, "down"); });
  d.Pause(100);
  d.Do("nothing of it in c-2; a send there stays unanswered", [send] {
    EXPECT_EQ(Text(L"chat_input"), L"");
    send(L"second");
  });
  Request second = Take(d, "messages.send");
  d.Do("the time-out keeps the text after what was typed meanwhile", [tick] {
    Control(L"chat_input")->SetText(L"more");
    tick(veltrinawnd::kSendTimeOutTicks - 1);
    EXPECT_EQ(Text(L"chat_input"), L"more");
    tick(1);
    EXPECT_EQ(Text(L"chat_input"), L"more\nsecond");
  });
  d.Do("a late failure adds nothing", [this, second] { service_->Fail((*second)->id, 500, "late"); });
  d.Pause(100);
  d.Do("leave with an empty composer", [] {
    EXPECT_EQ(Text(L"chat_input"), L"more\nsecond");
    Control(L"chat_input")->SetText(L"");
  });
  open(d, L"c-1", L"#one");
  d.Do("c-1's text is back; send again, unanswered", [send] {
    EXPECT_EQ(Text(L"chat_input"), L"first");
    send(L"third");
  });
  Request third = Take(d, "messages.send");
  open(d, L"c-2", L"#two");
  d.Do("it times out, then goes through after all", [this, third, tick] {
    tick(veltrinawnd::kSendTimeOutTicks);
    EXPECT_EQ(Text(L"chat_input"), L"");
    service_->Succeed((*third)->id, bodies::MessageBody(Message("c-1", 1, "u-me", "third", 9000)));
  });
  d.Pause(100);
  open(d, L"c-1", L"#one");
  d.Do("no text comes back twice, and a sent one not at all", [] { EXPECT_EQ(Text(L"chat_input"), L""); });
  Finish(d);
}
