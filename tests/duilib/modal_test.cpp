// Modal loops: results, failed creation and nested loops ending on a quit request.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

const wchar_t kDialog[] =
    L"<Window size=\"200,120\"><VerticalLayout><Button name=\"closebtn\" height=\"30\"/>"
    L"<Button name=\"ok\" height=\"30\"/><Control/></VerticalLayout></Window>";

// Nothing may be left in the queue for the next test.
void ExpectNoQuitPending() {
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Modal, FailedCreationReturnsAtOnce) {
  LogCapture log;
  SkinWindow w(L"<Window>\n<VerticalLayout>\n</Window>");
  EXPECT_FALSE(w.Open());
  EXPECT_EQ(w.GetHWND(), nullptr);
  DWORD start = GetTickCount();
  EXPECT_EQ(w.ShowModal(), static_cast<UINT>(IDCANCEL));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_TRUE(log.Contains(L"line 3")) << Narrow(log.All());
  ExpectNoQuitPending();
}

TEST(Modal, ClosePostsTheResult) {
  SkinWindow w(kDialog);
  ASSERT_TRUE(w.Open());
  w.Close(42);
  EXPECT_TRUE(IsWindow(w.GetHWND()));  // only posted
  EXPECT_EQ(w.ShowModal(), 42u);
  EXPECT_EQ(w.GetHWND(), nullptr);
  ExpectNoQuitPending();
}

TEST(Modal, ButtonsCloseFromInsideTheLoop) {
  SkinWindow w(kDialog);
  ASSERT_TRUE(w.Open());
  w.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender->GetName() == L"ok") w.Close(IDOK);
  };
  w.Layout();
  POINT ok = Center(w.Find(L"ok")->GetPos());
  w.PostWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ok.x, ok.y));
  w.PostWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(ok.x, ok.y));
  EXPECT_EQ(w.ShowModal(), static_cast<UINT>(IDOK));

  SkinWindow w2(kDialog);
  ASSERT_TRUE(w2.Open());
  w2.Layout();
  POINT close = Center(w2.Find(L"closebtn")->GetPos());
  w2.PostWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(close.x, close.y));
  w2.PostWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(close.x, close.y));
  EXPECT_EQ(w2.ShowModal(), static_cast<UINT>(IDCANCEL));
  ExpectNoQuitPending();

  SkinWindow w3(kDialog);
  ASSERT_TRUE(w3.Open());
  w3.PostWindowMessage(WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(w3.ShowModal(), static_cast<UINT>(IDCANCEL));
  ExpectNoQuitPending();
}

constexpr UINT kRunInner = WM_APP + 40;

class Outer : public SkinWindow {
 public:
  Outer() : SkinWindow(kDialog) {}
  UINT innerResult = 0;
  bool innerRan = false;

 protected:
  // Runs a second modal window from inside this window's own message handling.
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override {
    if (uMsg != kRunInner) return SkinWindow::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    SkinWindow inner(kDialog);
    if (inner.Open(200, 120, GetHWND())) {
      innerRan = true;
      PostQuitMessage(7);
      innerResult = inner.ShowModal();
    }
    bHandled = TRUE;
    return 0;
  }
};

TEST(Modal, NestedLoopsBothEndOnQuitAndTheQuitIsPostedAgain) {
  Outer outer;
  ASSERT_TRUE(outer.Open());
  outer.PostWindowMessage(kRunInner);
  UINT outerResult = outer.ShowModal();
  EXPECT_TRUE(outer.innerRan);
  EXPECT_EQ(outer.innerResult, static_cast<UINT>(IDCANCEL));
  EXPECT_EQ(outerResult, static_cast<UINT>(IDCANCEL));
  // The outer window is enabled again (or already gone) once the inner loop ended.
  EXPECT_TRUE(!IsWindow(outer.GetHWND()) || IsWindowEnabled(outer.GetHWND()));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  ExpectNoQuitPending();
}

// A window that runs the next one from a message another thread sent it (as a core answer is)
// and closes meanwhile: its loop must end with the inner one, though no other message comes.
class SentOuter : public SkinWindow {
 public:
  SentOuter() : SkinWindow(kDialog) {}
  bool innerRan = false;

 protected:
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override {
    if (uMsg != kRunInner) return SkinWindow::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    bHandled = TRUE;
    Close(IDOK);
    ReplyMessage(0);
    SkinWindow inner(kDialog);
    if (!inner.Open(200, 120)) return 0;
    innerRan = true;
    inner.Close(IDOK);
    inner.ShowModal();
    return 0;
  }
};

TEST(Modal, ALoopEnteredFromASentMessageEndsWithItsWindow) {
  SentOuter outer;
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
  EXPECT_TRUE(outer.innerRan);
  EXPECT_LT(elapsed, 2000u);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(Modal, InnerDialogDisablesItsOwnerUntilItCloses) {
  SkinWindow owner(kDialog);
  ASSERT_TRUE(owner.Open());
  SkinWindow dlg(kDialog);
  ASSERT_TRUE(dlg.Open(200, 120, owner.GetHWND()));
  bool disabledWhileOpen = false;
  // Once the loop runs, check the owner and close with a result.
  SetTimer(dlg.GetHWND(), 5, 1, nullptr);
  struct Probe : IMessageFilterUI {
    SkinWindow* dlg;
    HWND owner;
    bool* disabled;
    LRESULT MessageHandler(UINT uMsg, WPARAM, LPARAM, bool&) override {
      if (uMsg == WM_TIMER) {
        KillTimer(dlg->GetHWND(), 5);
        *disabled = !IsWindowEnabled(owner);
        dlg->Close(77);
      }
      return 0;
    }
  } probe;
  probe.dlg = &dlg;
  probe.owner = owner.GetHWND();
  probe.disabled = &disabledWhileOpen;
  dlg.PM().AddMessageFilter(&probe);
  EXPECT_EQ(dlg.ShowModal(), 77u);
  EXPECT_TRUE(disabledWhileOpen);
  EXPECT_TRUE(IsWindowEnabled(owner.GetHWND()));
  ExpectNoQuitPending();
}

}  // namespace

namespace {

constexpr UINT kAfterVeto = WM_APP + 41;

// A dialog that refuses the first close (say, to ask about an unsent message).
class Stubborn : public SkinWindow {
 public:
  Stubborn() : SkinWindow(kDialog) {}
  int vetoes = 1;
  HWND owner = nullptr;
  bool ownerEnabledAfterVeto = true;

 protected:
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) override {
    if (vetoes > 0) {
      --vetoes;
      PostWindowMessage(kAfterVeto);
      bHandled = TRUE;  // stays open
      return 0;
    }
    bHandled = FALSE;
    return 0;
  }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override {
    if (uMsg != kAfterVeto) return SkinWindow::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    ownerEnabledAfterVeto = IsWindowEnabled(owner) != FALSE;
    Close(6);
    bHandled = TRUE;
    return 0;
  }
};

TEST(Modal, ARefusedCloseKeepsTheOwnerDisabled) {
  SkinWindow owner(kDialog);
  ASSERT_TRUE(owner.Open());
  Stubborn dlg;
  dlg.owner = owner.GetHWND();
  ASSERT_TRUE(dlg.Open(200, 120, owner.GetHWND()));
  dlg.Close(5);
  EXPECT_EQ(dlg.ShowModal(), 6u);
  EXPECT_FALSE(dlg.ownerEnabledAfterVeto);
  EXPECT_TRUE(IsWindowEnabled(owner.GetHWND()));
  ExpectNoQuitPending();
}

}  // namespace

namespace {

// A dialog object kept by its owner and shown again: the second window is as whole as the first.
TEST(Reopen, ASecondWindowOfTheSameObjectWorksLikeTheFirst) {
  SkinWindow w(L"<Window size=\"200,120\" roundcorner=\"6,6\"><VerticalLayout>"
               L"<Edit name=\"e\" height=\"30\"/><Button name=\"ok\" height=\"30\"/><Control/>"
               L"</VerticalLayout></Window>");
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(w.Open(200, 120));
    w.Layout();
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(w.GetHWND(), rgn), ERROR);  // rounded corners on every window
    DeleteObject(rgn);
    auto* edit = w.Find(L"e");
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(edit->GetNativeWindow(), nullptr);
    EXPECT_EQ(GetParent(edit->GetNativeWindow()), w.GetHWND());
    w.seen.clear();
    edit->SetFocus();
    SendMessageW(edit->GetNativeWindow(), WM_CHAR, L'a', 1);
    EXPECT_EQ(w.Count(DUI_MSGTYPE_TEXTCHANGED), 1);
    w.Click(Center(w.Find(L"ok")->GetPos()));
    EXPECT_EQ(w.Count(DUI_MSGTYPE_CLICK), 1);
    // Hover follows the mouse in and out of the button.
    auto* ok = w.Find<CButtonUI>(L"ok");
    w.SendWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(10, 40));
    EXPECT_TRUE(ok->IsHot());
    w.SendWindowMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(ok->IsHot());
    w.Close(IDOK);
    EXPECT_EQ(w.ShowModal(), static_cast<UINT>(IDOK));
  }
}

}  // namespace
