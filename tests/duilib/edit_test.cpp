// Edit boxes over native windows: text, notifications, focus, rich edit text and key preview.
#include <richedit.h>

#include "dui_test_support.h"

// Posts a key to a native window and runs the toolkit's loop over it, with the given modifiers down.
static void PostKey(HWND hwnd, UINT vk, std::initializer_list<int> held = {}) {
  BYTE keys[256];
  GetKeyboardState(keys);
  for (int k : held) keys[k] = 0x80;
  SetKeyboardState(keys);
  PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
  PostMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
  Pump();
  for (int k : held) keys[k] = 0;
  SetKeyboardState(keys);
}

static void Type(HWND hwnd, const std::wstring& text) { for (wchar_t ch : text) SendMessageW(hwnd, WM_CHAR, ch, 1); }

// A window that keeps Enter for itself while its rich edit has the focus ("send on Enter").
class ChatWindow : public SkinWindow {
 public:
  ChatWindow()
      : SkinWindow(L"<Window size=\"400,300\"><VerticalLayout name=\"root\"><Edit name=\"e1\" height=\"30\"/>"
                   L"<Edit name=\"e2\" height=\"30\" text=\"initial\"/><RichEdit name=\"rich\" height=\"120\" "
                   L"textcolor=\"#FF0000FF\"/><Button name=\"btn\" height=\"30\"/><Control/></VerticalLayout></Window>") {}
  int enterSeen = 0;

 protected:
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg != WM_KEYDOWN || wParam != VK_RETURN || GetKeyState(VK_SHIFT) < 0 ||
        m_PaintManager.GetFocus() != m_PaintManager.FindControl(L"rich"))
      return SkinWindow::HandleMessage(uMsg, wParam, lParam);
    return ++enterSeen, 0;
  }
};

struct EditFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(w.Open());
    SetForegroundWindow(w.GetHWND());
    e1 = w.Find<CEditUI>(L"e1"), e2 = w.Find<CEditUI>(L"e2"), rich = w.Find<CRichEditUI>(L"rich");
    w.Layout();
    Pump();
  }
  void Focus(CControlUI* c) { c->SetFocus(), Pump(); }
  ChatWindow w;
  CEditUI *e1 = nullptr, *e2 = nullptr;
  CRichEditUI* rich = nullptr;
};

TEST_F(EditFixture, TextNativeBoxAndUserEditsOnly) {
  wchar_t buf[64] = {};
  GetWindowTextW(e2->GetNativeWindow(), buf, 64);
  EXPECT_STREQ(buf, L"initial");
  e1->SetText(L"mixed 中 and \U0001F600 emoji");
  EXPECT_EQ(e1->GetText(), L"mixed 中 and \U0001F600 emoji");
  // The native box sits inside the control, minus its text padding.
  RECT native, pos = e1->GetPos();
  GetWindowRect(e1->GetNativeWindow(), &native);
  MapWindowPoints(nullptr, w.GetHWND(), reinterpret_cast<POINT*>(&native), 2);
  EXPECT_RECT(native, pos.left + 4, pos.top + 3, pos.right - 4, pos.bottom - 3);
  // Only what the user types raises textchanged; Enter raises return and leaves the text.
  w.seen.clear();
  e1->SetText(L"abc");
  rich->SetText(L"programmatic");
  rich->AppendText(L" more");
  Focus(e1);
  PostKey(e1->GetNativeWindow(), VK_RETURN);
  EXPECT_TRUE(w.Last(DUI_MSGTYPE_RETURN)->sender == e1 && w.Count(DUI_MSGTYPE_TEXTCHANGED) == 0);
  Type(e1->GetNativeWindow(), L"x");
  EXPECT_TRUE(w.Last(DUI_MSGTYPE_TEXTCHANGED)->sender == e1 && e1->GetText().size() == 4u);
  e1->SetReadOnly(true);
  Type(e1->GetNativeWindow(), L"z");
  e1->SetEnabled(false);
  EXPECT_FALSE(e1->GetText().find(L'z') != CDuiString::npos || IsWindowEnabled(e1->GetNativeWindow()));
}

TEST_F(EditFixture, FocusChangesAreNotifiedFromCodeClicksTabAndReactivation) {
  w.seen.clear();
  e1->SetFocus();
  Focus(e2);
  EXPECT_EQ(w.Types(), (std::vector<CDuiString>{DUI_MSGTYPE_SETFOCUS, DUI_MSGTYPE_KILLFOCUS, DUI_MSGTYPE_SETFOCUS}));
  EXPECT_TRUE(w.Last(DUI_MSGTYPE_KILLFOCUS)->sender == e1 && !e1->IsFocused() && e2->IsFocused());
  // Windows moving the focus itself (a click into the native box) is recorded too.
  SetFocus(rich->GetNativeWindow());
  Pump();
  EXPECT_TRUE(w.PM().GetFocus() == rich && w.Last(DUI_MSGTYPE_KILLFOCUS)->sender == e2);
  // A click on a plain control takes the focus away from the edit.
  w.Click(Center(w.Find(L"btn")->GetPos()));
  EXPECT_TRUE(w.PM().GetFocus() == nullptr && w.Last(DUI_MSGTYPE_KILLFOCUS)->sender == rich);
  Focus(e1);
  PostKey(e1->GetNativeWindow(), VK_TAB);
  EXPECT_EQ(w.PM().GetFocus(), e2);
  // Switching to another program and back leaves the caret where the user typed, unless that edit was hidden.
  Focus(rich);
  for (bool hide : {false, true}) {
    w.SendWindowMessage(WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(nullptr);
    EXPECT_EQ(w.PM().GetFocus(), nullptr);
    rich->SetVisible(!hide);
    w.Layout();
    w.SendWindowMessage(WM_ACTIVATE, WA_ACTIVE, 0);
    Pump();
    EXPECT_EQ(GetFocus() == rich->GetNativeWindow(), !hide);
  }
}

// The caret comes back where the user typed: after a click on a plain control (a toolbar button that opens a
// popup), on activation, or when the focus comes from another window (a closed dialog hands it to its owner),
// whatever had the focus by the time the window was told it lost the activation.
TEST_F(EditFixture, TheLastFocusedControlGetsTheFocusBackOnActivationAndFromOtherWindows) {
  Focus(rich);
  w.Click(Center(w.Find(L"btn")->GetPos()));
  ASSERT_EQ(w.PM().GetFocus(), nullptr);
  EXPECT_EQ(w.PM().GetLastFocus(), rich);
  w.SendWindowMessage(WM_ACTIVATE, WA_INACTIVE, 0);
  w.SendWindowMessage(WM_ACTIVATE, WA_ACTIVE, 0);
  Pump();
  EXPECT_EQ(GetFocus(), rich->GetNativeWindow()) << "on activation";
  EXPECT_EQ(w.PM().GetFocus(), rich);

  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  Focus(e1);
  SetFocus(other);
  EXPECT_EQ(w.PM().GetFocus(), nullptr);
  SetFocus(w.GetHWND());  // as a closed dialog does for its owner
  Pump();
  EXPECT_EQ(GetFocus(), e1->GetNativeWindow()) << "from another window";
  // A hidden control is not given the focus: the window keeps it.
  SetFocus(other);
  w.PM().FindControl(L"root")->SetVisible(false);
  SetFocus(w.GetHWND());
  EXPECT_EQ(GetFocus(), w.GetHWND());
  w.PM().FindControl(L"root")->SetVisible(true);
  DestroyWindow(other);
}

TEST_F(EditFixture, RichEditNewlinesAppendClipboardAndColour) {
  rich->SetText(L"x\r\ny\n\n中文");
  rich->SetSel(0, 0);  // appending ignores the caret and leaves it at the end
  rich->AppendText(L" tail");
  rich->ReplaceSel(L"!");
  EXPECT_EQ(rich->GetText(), L"x\ny\n\n中文 tail!");
  rich->SetText(L"copy me");
  rich->SetSel(0, 4);
  rich->Cut();
  rich->SetText(L"[]");
  Focus(rich);
  rich->SetSel(1, 1);
  w.seen.clear();
  PostKey(rich->GetNativeWindow(), 'V', {VK_CONTROL});  // pastes at the caret
  EXPECT_TRUE(rich->GetText() == L"[copy]" && w.Count(DUI_MSGTYPE_TEXTCHANGED) == 1);  // a user edit
  // The skin's text colour is what the user types in, from the first character on.
  HWND native = rich->GetNativeWindow();
  auto colourOfText = [&]() {
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf, cf.dwMask = CFM_COLOR;
    SendMessageW(native, EM_SETSEL, 0, -1);
    SendMessageW(native, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    return cf.crTextColor;
  };
  rich->SetText(L"");
  Type(native, L"x");
  EXPECT_EQ(colourOfText(), RGB(0, 0, 255));
  rich->SetAttribute(L"textcolor", L"#FF00FF00");
  rich->SetText(L"after");
  EXPECT_EQ(colourOfText(), RGB(0, 255, 0));
}

TEST_F(EditFixture, WindowSeesEnterBeforeItsRichEditAndTypedTextOutlivesTheWindow) {
  rich->SetText(L"hello");
  Focus(rich);
  rich->SetSel(-1, -1);
  HWND native = rich->GetNativeWindow();
  PostKey(native, VK_RETURN);
  PostKey(native, VK_BACK);  // other keys reach the rich edit
  EXPECT_TRUE(w.enterSeen == 1 && rich->GetText() == L"hell");
  PostKey(native, VK_RETURN, {VK_SHIFT, VK_LSHIFT});  // Shift+Enter is left to the rich edit: a new line
  EXPECT_TRUE(w.enterSeen == 1 && rich->GetText().size() > 4u);
  Focus(e1);  // Enter in another edit is not the window's business
  PostKey(e1->GetNativeWindow(), VK_RETURN);
  EXPECT_TRUE(w.enterSeen == 1 && w.Last(DUI_MSGTYPE_RETURN)->sender == e1);
  // A dialog's input is read after its modal loop ended and its window is gone.
  e1->SetText(L"set ");
  e1->SetSel(4, 4);
  Type(e1->GetNativeWindow(), L"typed 中文");
  rich->SetText(L"line1\nline2");
  rich->SetSel(11, 11);
  rich->SetFocus();
  Type(rich->GetNativeWindow(), L"!");
  w.Close(IDOK);
  EXPECT_TRUE(w.ShowModal() == IDOK && e1->GetNativeWindow() == nullptr);
  EXPECT_TRUE(e1->GetText() == L"set typed 中文" && rich->GetText() == L"line1\nline2!");
}

// A handler may take the edit away while the edit is still inside its own message.
TEST_F(EditFixture, RemovingAnEditFromItsOwnNotificationIsSafe) {
  for (CControlUI* edit : {static_cast<CControlUI*>(e1), static_cast<CControlUI*>(rich)}) {
    HWND native = edit->GetNativeWindow();
    w.onNotify = [&](TNotifyUI& msg) {
      if (msg.sType == DUI_MSGTYPE_TEXTCHANGED && msg.pSender == edit) w.Find<CContainerUI>(L"root")->Remove(edit);
    };
    Focus(edit);
    Type(native, L"ab");
    Pump();
    EXPECT_FALSE(IsWindow(native));
  }
  EXPECT_EQ(w.Find(L"e1"), nullptr);
}
