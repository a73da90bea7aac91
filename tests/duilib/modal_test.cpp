// Modal loops: results, failed creation, owners, refused closes and nested loops ending on quit.
#include <atomic>
#include <thread>

#include "dui_test_support.h"

const wchar_t kDialog[] =
    L"<Window size=\"200,120\" roundcorner=\"6,6\"><VerticalLayout><Button name=\"closebtn\" height=\"30\"/>"
    L"<Button name=\"ok\" height=\"30\"/><Edit name=\"e\" height=\"30\"/><Control/></VerticalLayout></Window>";
constexpr UINT kRunInner = WM_APP + 40;

// Takes a pending quit off the queue: nothing may be left for the next test.
static bool TakeQuit(WPARAM* code = nullptr) {
  MSG msg{};
  const bool got = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  return code ? (*code = msg.wParam, got) : got;
}

// A dialog that refuses the first close (say, to ask about an unsent message), or runs a second modal window from
// inside its own message handling.
class ModalDialog : public SkinWindow {
 public:
  ModalDialog() : SkinWindow(kDialog) {}
  int vetoes = 0;
  bool sent = false;  // kRunInner comes from SendMessage on another thread
  bool innerRan = false, ownerEnabledAfterVeto = true;
  UINT innerResult = 0;

 protected:
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) override {
    bHandled = vetoes > 0;
    if (vetoes-- > 0) PostWindowMessage(kRunInner + 1);  // stays open
    return 0;
  }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override {
    if (uMsg == kRunInner + 1) {
      ownerEnabledAfterVeto = IsWindowEnabled(GetWindow(GetHWND(), GW_OWNER)) != FALSE;
      Close(6);
    } else if (uMsg == kRunInner) {
      SkinWindow inner(kDialog);
      if (sent) Close(IDOK), ReplyMessage(0);
      if (inner.Open(200, 120, sent ? nullptr : GetHWND())) {
        innerRan = true;
        if (sent) inner.Close(IDOK);
        else PostQuitMessage(7);
        innerResult = inner.ShowModal();
      }
    } else {
      return SkinWindow::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    }
    bHandled = TRUE;
    return 0;
  }
};

TEST(Modal, ResultsFromCloseButtonsEscapeAndFailedCreation) {
  {
    LogCapture log;
    SkinWindow broken(L"<Window>\n<VerticalLayout>\n</Window>");
    EXPECT_FALSE(broken.Open());
    DWORD start = GetTickCount();
    EXPECT_EQ(broken.ShowModal(), static_cast<UINT>(IDCANCEL));  // at once
    EXPECT_TRUE(GetTickCount() - start < 1000u && log.Contains(L"line 3")) << log.All();
  }
  const struct { const wchar_t* click; UINT key; UINT close; UINT result; } cases[] = {
      {nullptr, 0, 42, 42}, {L"ok", 0, 0, IDOK}, {L"closebtn", 0, 0, IDCANCEL}, {nullptr, VK_ESCAPE, 0, IDCANCEL}};
  for (const auto& c : cases) {
    SkinWindow w(kDialog);
    ASSERT_TRUE(w.Open());
    w.onNotify = [&](TNotifyUI& msg) {
      if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender->GetName() == L"ok") w.Close(IDOK);
    };
    w.Layout();
    if (c.close) w.Close(c.close);
    EXPECT_TRUE(IsWindow(w.GetHWND()));  // only posted
    if (c.key) w.PostWindowMessage(WM_KEYDOWN, c.key, 0);
    if (c.click) {
      POINT pt = Center(w.Find(c.click)->GetPos());
      w.PostWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
      w.PostWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    }
    EXPECT_TRUE(w.ShowModal() == c.result && w.GetHWND() == nullptr);
    EXPECT_FALSE(TakeQuit());
  }
}

TEST(Modal, NestedLoopsBothEndOnQuitAndTheQuitIsPostedAgain) {
  ModalDialog outer;
  ASSERT_TRUE(outer.Open());
  outer.PostWindowMessage(kRunInner);
  EXPECT_TRUE(outer.ShowModal() == IDCANCEL && outer.innerRan && outer.innerResult == IDCANCEL);
  EXPECT_TRUE(!IsWindow(outer.GetHWND()) || IsWindowEnabled(outer.GetHWND()));
  WPARAM code = 0;
  EXPECT_TRUE(TakeQuit(&code) && code == 7u);
  EXPECT_FALSE(TakeQuit());
}

// A window runs the next one from a message another thread sent it (as a core answer is) and closes meanwhile:
// its loop must end with the inner one, though no other message comes.
TEST(Modal, ALoopEnteredFromASentMessageEndsWithItsWindow) {
  ModalDialog outer;
  outer.sent = true;
  ASSERT_TRUE(outer.Open());
  HWND hwnd = outer.GetHWND();
  std::thread sender([hwnd] { SendMessageW(hwnd, kRunInner, 0, 0); });
  // Should the loop hang, a late quit request ends it and the time tells.
  std::atomic<bool> ended{false};
  DWORD thread = GetCurrentThreadId();
  std::thread rescue([thread, &ended] {
    for (int i = 0; i < 300 && !ended; ++i) Sleep(10);
    if (!ended) PostThreadMessageW(thread, WM_QUIT, 0, 0);
  });
  DWORD start = GetTickCount();
  outer.ShowModal();
  DWORD elapsed = GetTickCount() - start;
  ended = true;
  sender.join();
  rescue.join();
  EXPECT_TRUE(outer.innerRan && elapsed < 2000u);
  Pump();
  while (TakeQuit()) {
  }
}

// The owner stays disabled while its dialog runs, even after a refused close, and is enabled after.
TEST(Modal, ADialogDisablesItsOwnerUntilItReallyCloses) {
  SkinWindow owner(kDialog);
  ASSERT_TRUE(owner.Open());
  ModalDialog dlg;
  dlg.vetoes = 1;
  ASSERT_TRUE(dlg.Open(200, 120, owner.GetHWND()));
  dlg.Close(5);
  EXPECT_TRUE(dlg.ShowModal() == 6u && !dlg.ownerEnabledAfterVeto && IsWindowEnabled(owner.GetHWND()));
  EXPECT_FALSE(TakeQuit());
}

// A dialog object kept by its owner and shown again: the second window is as whole as the first.
TEST(Modal, ASecondWindowOfTheSameObjectWorksLikeTheFirst) {
  SkinWindow w(kDialog);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(w.Open());
    w.Layout();
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(w.GetHWND(), rgn), ERROR);  // rounded corners on every window
    DeleteObject(rgn);
    auto* edit = w.Find(L"e");
    auto* ok = w.Find<CButtonUI>(L"ok");
    EXPECT_EQ(GetParent(edit->GetNativeWindow()), w.GetHWND());
    w.seen.clear();
    edit->SetFocus();
    SendMessageW(edit->GetNativeWindow(), WM_CHAR, L'a', 1);
    w.Click(Center(ok->GetPos()));  // hover follows the mouse in and out of the button
    EXPECT_TRUE(w.Count(DUI_MSGTYPE_TEXTCHANGED) + w.Count(DUI_MSGTYPE_CLICK) == 2 && ok->IsHot());
    w.SendWindowMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(ok->IsHot());
    w.Close(IDOK);
    EXPECT_EQ(w.ShowModal(), static_cast<UINT>(IDOK));
  }
}
