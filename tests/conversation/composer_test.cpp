// History, arrival and the composer, through the main window.
#include "frame/window_manager.h"
#include "main_fixture.h"
#include "veltrina/chat_manager.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {
DuiLib::CListUI* ChatDisplay() {
  HWND h = FindWindowW(L"MainWindow", L"Veltrina");
  return h ? dynamic_cast<DuiLib::CListUI*>(testkit::FindControl(h, L"chat_display")) : nullptr;
}
}  // namespace

class ComposerTest : public MainTest {
 protected:
  // Caches 50 messages of c-1 and 2 of the direct message i-a.
  void PrimeHistory() {
    std::vector<veltrina::Message> page;
    for (int i = 0; i < 50; ++i) page.push_back(Message("c-1", 1, i % 2 ? "u-a" : "u-b", "message " + std::to_string(i), 1000 + i));
    page.push_back(Message("i-a", 2, "u-a", "hello", 900));
    veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [](bool, const std::string&) {});
    auto sync = service_->WaitForRequest("messages.sync");
    ASSERT_TRUE(sync);
    service_->Succeed(sync->id, bodies::MessagesBody(page));
    ASSERT_TRUE(bodies::WaitForCoreIdle());
  }
  static HWND InputWindow() {
    auto* input = dynamic_cast<DuiLib::CRichEditUI*>(Control(L"chat_input"));
    return input ? input->GetNativeWindow() : nullptr;
  }
  static void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
  }
  // Delivers Enter the way the modal loop would, synchronously (pumping here would let the
  // driver's later steps run inside this one).
  static void PressEnter(HWND target) {
    MSG msg{target, WM_KEYDOWN, VK_RETURN, 0x001C0001, GetTickCount(), {}};
    if (!DuiLib::CPaintManagerUI::TranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MSG pending;  // the character a translated key leaves behind
    while (PeekMessageW(&pending, target, WM_CHAR, WM_CHAR, PM_REMOVE)) DispatchMessageW(&pending);
  }
};

TEST_F(ComposerTest, HistoryShowsTheLastPageScrolledDownAndReopeningAddsNoDuplicates) {
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {Im("i-a", "u-a")});
  PrimeHistory();
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.WaitFor("scrolled to the newest", [] {
    DuiLib::CListUI* list = ChatDisplay();
    return list && list->GetCount() == 20 && list->GetScrollRange().cy > 0 &&
           list->GetScrollPos().cy == list->GetScrollRange().cy;
  });
  d.Do("open another", [] { testkit::ClickControl(Main(), L"channelItem_c-2"); });
  d.WaitFor("other open", [] { return Text(L"title_label") == L"#two"; });
  d.Do("reopen", [] { testkit::ClickControl(Main(), L"channelItem_c-1"); });
  d.WaitFor("reopened", [] { return Text(L"title_label") == L"#one"; });
  d.Do("twenty rows again", [this] {
    EXPECT_EQ(ChatDisplay()->GetCount(), 20);
    // A message for another conversation adds no row; one for the open one adds exactly one.
    service_->Push("message", bodies::MessageEvent(Message("c-2", 1, "u-a", "elsewhere", 5000)));
    service_->Push("message", bodies::MessageEvent(Message("c-1", 1, "u-a", "here", 5001)));
  });
  d.WaitFor("arrived", [] { return ChatDisplay()->GetCount() == 21; });
  d.Pause(100);
  d.Do("only one", [] {
    EXPECT_EQ(ChatDisplay()->GetCount(), 21);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(ComposerTest, EnterSendsShiftEnterAddsALineAndOnlyTheCompletionShowsTheRow) {
  Prime({Channel("c-1", "one", 1)}, {Im("i-a", "u-a")});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr && InputWindow() != nullptr; });
  d.Do("enter on an empty composer", [this] {
    SetFocus(InputWindow());
    PressEnter(InputWindow());
    EXPECT_EQ(service_->CountRequests("messages.send"), 0u);
    EXPECT_EQ(Text(L"chat_input"), L"");
  });
  auto rows = std::make_shared<int>(0);
  d.Do("two shift+enters then enter", [rows] {
    Control(L"chat_input")->SetText(L"word");
    SetShift(true);
    PressEnter(InputWindow());
    PressEnter(InputWindow());
    SetShift(false);
    EXPECT_EQ(Text(L"chat_input"), L"word\n\n");
    *rows = ChatDisplay()->GetCount();
    PressEnter(InputWindow());
  });
  Answer(d, "messages.send", [this, rows](const auto& r) {
    EXPECT_EQ(Text(L"chat_input"), L"");
    EXPECT_EQ(ChatDisplay()->GetCount(), *rows);  // nothing shown before the completion
    std::string m = r.Param("message");
    EXPECT_NE(m.find("\"c-1\""), std::string::npos) << m;
    EXPECT_NE(m.find("word\\n\\n"), std::string::npos) << m;
    service_->Succeed(r.id, bodies::MessageBody(Message("c-1", 1, "u-me", "word\n\n", 9000)));
  });
  d.WaitFor("one row", [rows] { return ChatDisplay()->GetCount() == *rows + 1; });
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
    EXPECT_NE(m.find("\"i-a\""), std::string::npos) << m;
    EXPECT_NE(m.find("\"u-a\""), std::string::npos) << m;  // the partner
    service_->Fail(r.id, 500, "down");
  });
  d.WaitFor("text restored after the failure", [] { return Text(L"chat_input") == L"你好"; });
  d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
  RunMain(d);
}

TEST_F(ComposerTest, NothingIsSentToAConversationThatCannotTakeIt) {
  testkit::UiDriver d;  // no channels, no direct messages: nothing is open
  d.WaitFor("main", [] { return Main() != nullptr && InputWindow() != nullptr; });
  d.Do("try", [this] {
    Control(L"chat_input")->SetText(L"nowhere");
    testkit::NotifyControl(Main(), L"send_message_btn", L"click");
    EXPECT_EQ(service_->CountRequests("messages.send"), 0u);
    EXPECT_EQ(Text(L"chat_input"), L"nowhere");  // kept
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(ComposerTest, TheEditMenuCopiesCutsAndPastes) {
  Prime({Channel("c-1", "one", 1)}, {});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr && InputWindow() != nullptr; });
  d.Do("copy, cut, paste", [this] {
    auto* input = dynamic_cast<DuiLib::CRichEditUI*>(Control(L"chat_input"));
    input->SetText(L"剪贴板 text");
    input->SetSel(0, -1);
    shell_.menu_answer = 1059;  // copy
    testkit::NotifyControl(Main(), L"chat_input", L"richedit_click");
    EXPECT_EQ(input->GetText(), L"剪贴板 text");
    shell_.menu_answer = 1061;  // cut
    testkit::NotifyControl(Main(), L"chat_input", L"richedit_click");
    EXPECT_EQ(input->GetText(), L"");
    shell_.menu_answer = 1060;  // paste
    testkit::NotifyControl(Main(), L"chat_input", L"richedit_click");
    EXPECT_EQ(input->GetText(), L"剪贴板 text");
    shell_.menu_answer = 0;  // dismissed: nothing happens
    testkit::NotifyControl(Main(), L"chat_input", L"richedit_click");
    EXPECT_EQ(input->GetText(), L"剪贴板 text");
    EXPECT_EQ(shell_.menus, 4);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}
