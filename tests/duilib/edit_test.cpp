// Edit boxes over native windows: text, notifications, focus, rich edit text and key preview.
#include <gtest/gtest.h>

#include <richedit.h>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

const wchar_t kEditSkin[] =
    L"<Window size=\"400,300\"><VerticalLayout>"
    L"<Edit name=\"e1\" height=\"30\"/>"
    L"<Edit name=\"e2\" height=\"30\" text=\"initial\"/>"
    L"<RichEdit name=\"rich\" height=\"120\"/>"
    L"<Button name=\"btn\" height=\"30\"/>"
    L"<Control/>"
    L"</VerticalLayout></Window>";

// Posts a key to a native window and runs the toolkit's loop over it.
void PostKey(HWND hwnd, UINT vk) {
  PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
  PostMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
  Pump();
}

void SetKey(int vk, bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[vk] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

struct EditFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(w.Open(400, 300));
    SetForegroundWindow(w.GetHWND());
    e1 = w.Find<CEditUI>(L"e1");
    e2 = w.Find<CEditUI>(L"e2");
    rich = w.Find<CRichEditUI>(L"rich");
    ASSERT_NE(e1, nullptr);
    ASSERT_NE(rich, nullptr);
    ASSERT_NE(e1->GetNativeWindow(), nullptr);
    ASSERT_NE(rich->GetNativeWindow(), nullptr);
    w.Layout();
    Pump();
  }
  SkinWindow w{kEditSkin};
  CEditUI* e1 = nullptr;
  CEditUI* e2 = nullptr;
  CRichEditUI* rich = nullptr;
};

TEST_F(EditFixture, TextRoundTripsAndSkinTextReachesTheNativeWindow) {
  EXPECT_EQ(e2->GetText(), L"initial");
  wchar_t buf[64] = {};
  GetWindowTextW(e2->GetNativeWindow(), buf, 64);
  EXPECT_STREQ(buf, L"initial");
  for (const wchar_t* s : {L"hello", L"中文输入测试", L"", L"mixed 中 and \U0001F600 emoji"}) {
    e1->SetText(s);
    EXPECT_EQ(e1->GetText(), s);
  }
  // The native box sits inside the control, minus its text padding.
  RECT native;
  GetWindowRect(e1->GetNativeWindow(), &native);
  MapWindowPoints(nullptr, w.GetHWND(), reinterpret_cast<POINT*>(&native), 2);
  RECT pos = e1->GetPos();
  EXPECT_RECT(native, pos.left + 4, pos.top + 3, pos.right - 4, pos.bottom - 3);
  EXPECT_TRUE(IsWindowVisible(e1->GetNativeWindow()));
  e1->SetVisible(false);
  w.Layout();
  EXPECT_FALSE(IsWindowVisible(e1->GetNativeWindow()));
}

TEST_F(EditFixture, OnlyUserEditsRaiseTextChanged) {
  w.seen.clear();
  e1->SetText(L"programmatic");
  Pump();
  EXPECT_EQ(w.Count(DUI_MSGTYPE_TEXTCHANGED), 0);
  e1->SetFocus();
  Pump();
  SendMessageW(e1->GetNativeWindow(), WM_CHAR, L'x', 1);
  Pump();
  ASSERT_EQ(w.Count(DUI_MSGTYPE_TEXTCHANGED), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_TEXTCHANGED)->sender, e1);
  EXPECT_NE(e1->GetText().find(L'x'), CDuiString::npos);
  rich->SetText(L"also programmatic");
  rich->AppendText(L" more");
  Pump();
  EXPECT_EQ(w.Count(DUI_MSGTYPE_TEXTCHANGED), 1);
}

TEST_F(EditFixture, EnterThroughTheMessageLoopRaisesReturn) {
  e1->SetText(L"abc");
  e1->SetFocus();
  Pump();
  w.seen.clear();
  PostKey(e1->GetNativeWindow(), VK_RETURN);
  ASSERT_EQ(w.Count(DUI_MSGTYPE_RETURN), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_RETURN)->sender, e1);
  EXPECT_EQ(e1->GetText(), L"abc");  // the edit ignores it
  EXPECT_EQ(w.Count(DUI_MSGTYPE_TEXTCHANGED), 0);
}

TEST_F(EditFixture, FocusChangesAreNotified) {
  w.seen.clear();
  e1->SetFocus();
  Pump();
  EXPECT_EQ(w.PM().GetFocus(), e1);
  EXPECT_EQ(GetFocus(), e1->GetNativeWindow());
  ASSERT_EQ(w.Count(DUI_MSGTYPE_SETFOCUS), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_SETFOCUS)->sender, e1);
  EXPECT_TRUE(e1->IsFocused());

  e2->SetFocus();
  Pump();
  ASSERT_EQ(w.Count(DUI_MSGTYPE_KILLFOCUS), 1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_KILLFOCUS)->sender, e1);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_SETFOCUS)->sender, e2);
  EXPECT_FALSE(e1->IsFocused());
  EXPECT_EQ(w.PM().GetFocus(), e2);

  // Clicking into the native window (as Windows moves the focus itself) is recorded too.
  SetFocus(rich->GetNativeWindow());
  Pump();
  EXPECT_EQ(w.PM().GetFocus(), rich);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_KILLFOCUS)->sender, e2);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_SETFOCUS)->sender, rich);

  // A click on a plain control takes the focus away from the edit.
  w.Click(Center(w.Find(L"btn")->GetPos()));
  EXPECT_EQ(w.PM().GetFocus(), nullptr);
  EXPECT_EQ(w.Last(DUI_MSGTYPE_KILLFOCUS)->sender, rich);

  // Tab walks the edits.
  e1->SetFocus();
  Pump();
  SetKey(VK_SHIFT, false);
  PostKey(e1->GetNativeWindow(), VK_TAB);
  EXPECT_EQ(w.PM().GetFocus(), e2);
}

TEST_F(EditFixture, RichEditUsesNewlines) {
  rich->SetText(L"a\nb");
  EXPECT_EQ(rich->GetText(), L"a\nb");
  rich->SetText(L"line one\nline two\n\n中文第四行");
  EXPECT_EQ(rich->GetText(), L"line one\nline two\n\n中文第四行");
  rich->SetText(L"x\r\ny");
  EXPECT_EQ(rich->GetText(), L"x\ny");
}

TEST_F(EditFixture, RichEditAppendsAtTheEnd) {
  rich->SetText(L"first\nsecond");
  rich->SetSel(0, 0);  // caret at the start: appending ignores it
  rich->AppendText(L" tail");
  EXPECT_EQ(rich->GetText(), L"first\nsecond tail");
  rich->AppendText(L"\nthird");
  EXPECT_EQ(rich->GetText(), L"first\nsecond tail\nthird");
  // The caret is left at the end.
  DWORD start = 0, end = 0;
  SendMessageW(rich->GetNativeWindow(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end);
  rich->ReplaceSel(L"!");
  EXPECT_EQ(rich->GetText(), L"first\nsecond tail\nthird!");
  rich->SetText(L"");
  rich->AppendText(L"only");
  EXPECT_EQ(rich->GetText(), L"only");
}

TEST_F(EditFixture, RichEditCopyPasteThroughTheClipboard) {
  rich->SetText(L"copy me 中文");
  rich->SetSel(0, -1);
  rich->Copy();
  rich->SetText(L"");
  rich->Paste();
  EXPECT_EQ(rich->GetText(), L"copy me 中文");
  // Pasting inserts at the caret, keeping the text around it.
  rich->SetText(L"abc");
  rich->SetSel(1, 2);
  rich->Paste();
  EXPECT_EQ(rich->GetText(), L"acopy me 中文c");
  rich->SetText(L"copy me 中文");
  rich->SetSel(0, 4);
  rich->Cut();
  EXPECT_EQ(rich->GetText(), L" me 中文");
  rich->SetSel(-1, -1);
  rich->AppendText(L" ");
  rich->Paste();
  EXPECT_EQ(rich->GetText(), L" me 中文 copy");
}

TEST_F(EditFixture, RichEditCtrlVInsertsAtTheCaret) {
  rich->SetText(L"pasted");
  rich->SetSel(0, -1);
  rich->Copy();
  rich->SetText(L"[]");
  rich->SetFocus();
  rich->SetSel(1, 1);
  Pump();
  w.seen.clear();
  SetKey(VK_CONTROL, true);
  PostMessageW(rich->GetNativeWindow(), WM_KEYDOWN, 'V', 1);
  Pump();
  SetKey(VK_CONTROL, false);
  EXPECT_EQ(rich->GetText(), L"[pasted]");
  EXPECT_EQ(w.Count(DUI_MSGTYPE_TEXTCHANGED), 1);  // a user edit
}

TEST_F(EditFixture, ReadOnlyAndDisabled) {
  e1->SetText(L"fixed");
  e1->SetReadOnly(true);
  e1->SetFocus();
  Pump();
  SendMessageW(e1->GetNativeWindow(), WM_CHAR, L'z', 1);
  EXPECT_EQ(e1->GetText(), L"fixed");
  e1->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(e1->GetNativeWindow()));
}

// A window that keeps Enter for itself while its rich edit has the focus ("send on Enter").
class ChatWindow : public SkinWindow {
 public:
  ChatWindow() : SkinWindow(kEditSkin) {}
  int enterSeen = 0;

 protected:
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_KEYDOWN && wParam == VK_RETURN && GetKeyState(VK_SHIFT) >= 0) {
      auto* rich = m_PaintManager.FindControl(L"rich");
      if (rich && m_PaintManager.GetFocus() == rich) {
        ++enterSeen;
        return 0;
      }
    }
    return SkinWindow::HandleMessage(uMsg, wParam, lParam);
  }
};

void SetShift(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = down ? 0x80 : 0;
  keys[VK_LSHIFT] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

TEST(KeyPreview, WindowSeesEnterBeforeItsRichEdit) {
  ChatWindow w;
  ASSERT_TRUE(w.Open(400, 300));
  auto* rich = w.Find<CRichEditUI>(L"rich");
  rich->SetText(L"hello");
  rich->SetFocus();
  rich->SetSel(-1, -1);
  Pump();
  ASSERT_EQ(w.PM().GetFocus(), rich);
  HWND native = rich->GetNativeWindow();

  PostKey(native, VK_RETURN);
  EXPECT_EQ(w.enterSeen, 1);
  EXPECT_EQ(rich->GetText(), L"hello");

  // Other keys reach the rich edit.
  PostKey(native, VK_BACK);
  EXPECT_EQ(rich->GetText(), L"hell");
  EXPECT_EQ(w.enterSeen, 1);

  // Shift+Enter is left to the rich edit: a new line.
  SetShift(true);
  PostKey(native, VK_RETURN);
  SetShift(false);
  EXPECT_EQ(w.enterSeen, 1);
  CDuiString after = rich->GetText();
  EXPECT_EQ(after.substr(0, 4), L"hell");
  EXPECT_GT(after.size(), 4u);

  // Without the focus on the rich edit, Enter in another edit is not the window's business.
  auto* e1 = w.Find<CEditUI>(L"e1");
  e1->SetFocus();
  Pump();
  w.seen.clear();
  PostKey(e1->GetNativeWindow(), VK_RETURN);
  EXPECT_EQ(w.enterSeen, 1);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_RETURN), 1);
}

}  // namespace

// A dialog's input is read after its modal loop ended and its window is gone.
TEST(EditAfterClose, TypedTextOutlivesTheWindow) {
  SkinWindow w(kEditSkin);
  ASSERT_TRUE(w.Open(400, 300));
  auto* e1 = w.Find<CEditUI>(L"e1");
  auto* rich = w.Find<CRichEditUI>(L"rich");
  e1->SetText(L"set ");
  e1->SetFocus();
  e1->SetSel(4, 4);
  for (wchar_t ch : std::wstring(L"typed 中文")) SendMessageW(e1->GetNativeWindow(), WM_CHAR, ch, 1);
  rich->SetText(L"line1\nline2");
  rich->SetSel(11, 11);
  rich->SetFocus();
  SendMessageW(rich->GetNativeWindow(), WM_CHAR, L'!', 1);
  ASSERT_EQ(e1->GetText(), L"set typed 中文");
  w.Close(IDOK);
  EXPECT_EQ(w.ShowModal(), static_cast<UINT>(IDOK));
  ASSERT_EQ(w.GetHWND(), nullptr);
  EXPECT_EQ(e1->GetNativeWindow(), nullptr);
  EXPECT_EQ(e1->GetText(), L"set typed 中文");
  EXPECT_EQ(rich->GetText(), L"line1\nline2!");
}

// A handler may take the edit away while the edit is still inside its own message.
TEST(EditRemoval, RemovingAnEditFromItsOwnNotificationIsSafe) {
  SkinWindow w(L"<Window size=\"300,200\"><VerticalLayout name=\"root\">"
               L"<HorizontalLayout name=\"box\" height=\"30\"><Edit name=\"e\"/></HorizontalLayout>"
               L"<RichEdit name=\"r\" height=\"60\"/><Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  auto* root = w.Find<CContainerUI>(L"root");
  w.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_TEXTCHANGED || msg.sType == DUI_MSGTYPE_RETURN)
      if (CControlUI* box = w.Find(L"box")) root->Remove(box);
  };
  auto* edit = w.Find(L"e");
  HWND native = edit->GetNativeWindow();
  edit->SetFocus();
  SendMessageW(native, WM_CHAR, L'a', 1);
  SendMessageW(native, WM_CHAR, L'b', 1);
  Pump();
  EXPECT_EQ(w.Find(L"box"), nullptr);
  EXPECT_FALSE(IsWindow(native));

  auto* rich = w.Find(L"r");
  HWND richNative = rich->GetNativeWindow();
  w.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_TEXTCHANGED) root->Remove(rich);
  };
  rich->SetFocus();
  SendMessageW(richNative, WM_CHAR, L'x', 1);
  Pump();
  EXPECT_EQ(w.Find(L"r"), nullptr);
  EXPECT_FALSE(IsWindow(richNative));
}

// The skin's text colour is what the user types in, from the first character on.
TEST(RichEditLook, SkinTextColourReachesTheNativeControl) {
  SkinWindow w(L"<Window size=\"300,200\"><VerticalLayout>"
               L"<RichEdit name=\"r\" height=\"80\" textcolor=\"#FF0000FF\"/><Control/></VerticalLayout></Window>");
  ASSERT_TRUE(w.Open(300, 200));
  auto* rich = w.Find<CRichEditUI>(L"r");
  HWND native = rich->GetNativeWindow();
  auto colourOfText = [&]() {
    SendMessageW(native, EM_SETSEL, 0, -1);
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR;
    SendMessageW(native, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    return cf.crTextColor;
  };
  rich->SetFocus();
  SendMessageW(native, WM_CHAR, L'x', 1);
  ASSERT_EQ(rich->GetText(), L"x");
  EXPECT_EQ(colourOfText(), RGB(0, 0, 255));

  rich->SetAttribute(L"textcolor", L"#FF00FF00");
  EXPECT_EQ(colourOfText(), RGB(0, 255, 0));
  rich->SetText(L"after");
  EXPECT_EQ(colourOfText(), RGB(0, 255, 0));
}

// Switching to another program and back leaves the caret where the user was typing.
TEST(EditFocus, ReactivatingTheWindowRestoresTheEditFocus) {
  SkinWindow w(kEditSkin);
  ASSERT_TRUE(w.Open(400, 300));
  auto* rich = w.Find(L"rich");
  rich->SetFocus();
  Pump();
  ASSERT_EQ(GetFocus(), rich->GetNativeWindow());
  // What Windows does on a switch away and back: deactivate, focus leaves the edit, activate.
  w.SendWindowMessage(WM_ACTIVATE, WA_INACTIVE, 0);
  SetFocus(w.GetHWND());
  EXPECT_EQ(w.PM().GetFocus(), nullptr);
  w.seen.clear();
  w.SendWindowMessage(WM_ACTIVATE, WA_ACTIVE, 0);
  Pump();
  EXPECT_EQ(GetFocus(), rich->GetNativeWindow());
  EXPECT_EQ(w.PM().GetFocus(), rich);
  EXPECT_EQ(w.Count(DUI_MSGTYPE_SETFOCUS), 1);

  // An edit hidden meanwhile is not focused again.
  w.SendWindowMessage(WM_ACTIVATE, WA_INACTIVE, 0);
  SetFocus(w.GetHWND());
  rich->SetVisible(false);
  w.Layout();
  w.SendWindowMessage(WM_ACTIVATE, WA_ACTIVE, 0);
  Pump();
  EXPECT_NE(GetFocus(), rich->GetNativeWindow());
}
