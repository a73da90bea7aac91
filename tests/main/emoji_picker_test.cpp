// The emoji picker as the composer's emoji button opens it: placement, the grid, picking an
// emoji, and closing by a click outside.
#include "frame/window_manager.h"
#include "main_fixture.h"

using veltrinawnd::WindowManager;

namespace {

constexpr int kWidth = 432, kHeight = 236;

HWND MainHwnd() { return FindWindowW(L"MainWindow", L"Veltrina"); }
DuiLib::CControlUI* MainControl(const wchar_t* name) { return testkit::FindControl(MainHwnd(), name); }
HWND Picker() { return testkit::FindVisibleWindow(L"SelectEmojiWnd"); }
bool PickerGone() { return !Picker() && !WindowManager::Instance()->select_emoji_wnd(); }
DuiLib::CContainerUI* Face() { return testkit::FindControlAs<DuiLib::CContainerUI>(Picker(), L"emoji_face"); }
DuiLib::CContainerUI* Row(int i) { return dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Face()->GetItemAt(i)); }

RECT PickerRect() {
  RECT rc{};
  GetWindowRect(Picker(), &rc);
  return rc;
}

// Where the picker must appear: the emoji button's top left corner in screen coordinates,
// less (216, 236).
POINT ExpectedOrigin() {
  RECT b = MainControl(L"emoji_btn")->GetPos();
  POINT pt{b.left, b.top};
  ClientToScreen(MainHwnd(), &pt);
  return POINT{pt.x - 216, pt.y - 236};
}

POINT ScreenCentre(HWND hwnd, const wchar_t* name) {
  testkit::ManagerOf(hwnd)->UpdateLayout();
  RECT rc = testkit::FindControl(hwnd, name)->GetPos();
  POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  ClientToScreen(hwnd, &pt);
  return pt;
}

// The pointer may be reported late under X: it counts as there once it has stayed a few rounds.
void PointerTo(testkit::UiDriver& d, std::function<POINT()> where) {
  auto steady = std::make_shared<int>(0);
  d.WaitFor("pointer in place", [where, steady] {
    POINT want = where(), now{};
    GetCursorPos(&now);
    if (now.x != want.x || now.y != want.y) {
      *steady = 0;
      SetCursorPos(want.x, want.y);
      return false;
    }
    return ++*steady >= 3;
  });
}

// A press and release at a screen point, delivered to the picker as its mouse capture would
// deliver them.
void ClickAt(testkit::UiDriver& d, std::function<POINT()> where, UINT down = WM_LBUTTONDOWN) {
  PointerTo(d, where);
  d.Do("click", [where, down] {
    HWND picker = Picker();
    POINT pt = where();
    ScreenToClient(picker, &pt);
    PostMessageW(picker, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(pt.x, pt.y));
    PostMessageW(picker, down + 1, 0, MAKELPARAM(pt.x, pt.y));
  });
}

// Scrolls the emoji's row to the top of the view, as a user would before clicking it.
void ClickEmoji(testkit::UiDriver& d, const wchar_t* name) {
  d.Do("scroll to the emoji", [name] {
    DuiLib::CControlUI* row = testkit::FindControl(Picker(), name)->GetParent();
    Face()->SetScrollPos(SIZE{0, 22 * Face()->GetItemIndex(row)});
  });
  ClickAt(d, [name] { return ScreenCentre(Picker(), name); });
}

std::wstring Composer() { return MainControl(L"chat_input")->GetText(); }

}  // namespace

class EmojiPickerTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    Prime({Channel("c-1", "one", 1, true)}, {});
    d_.WaitFor("main", [] { return Main() != nullptr; });
  }
  void Open() {
    d_.Do("click the emoji button", [] { testkit::ClickControl(Main(), L"emoji_btn"); });
    d_.WaitFor("picker", [] { return Picker() != nullptr; });
  }
  void Closed() { d_.WaitFor("picker closed", [] { return PickerGone(); }); }
  void Finish() {
    d_.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
    RunMain(d_);
  }
  testkit::UiDriver d_;
};

TEST_F(EmojiPickerTest, OpensAboveTheButtonWithTheWholeGridAndOnlyOnce) {
  Open();
  d_.Do("placed, titled, capturing", [] {
    HWND picker = Picker();
    wchar_t title[32] = {};
    GetWindowTextW(picker, title, 32);
    EXPECT_STREQ(title, L"发送表情");
    RECT rc = PickerRect();
    POINT origin = ExpectedOrigin();
    EXPECT_EQ(rc.left, origin.x);
    EXPECT_EQ(rc.top, origin.y);
    EXPECT_EQ(rc.right - rc.left, kWidth);
    EXPECT_EQ(rc.bottom - rc.top, kHeight);
    EXPECT_EQ(GetCapture(), picker);
  });
  d_.Do("42 rows of 20, the last of 4, in code point order", [] {
    DuiLib::CContainerUI* face = Face();
    ASSERT_NE(face, nullptr);
    ASSERT_EQ(face->GetCount(), 42);
    int buttons = 0;
    for (int i = 0; i < face->GetCount(); ++i) {
      DuiLib::CContainerUI* row = Row(i);
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->GetFixedWidth(), kWidth);
      EXPECT_EQ(row->GetFixedHeight(), 22);
      EXPECT_EQ(row->GetCount(), i < 41 ? 20 : 4) << "row " << i;
      buttons += row->GetCount();
    }
    EXPECT_EQ(buttons, 824);
    auto* first = dynamic_cast<DuiLib::CButtonUI*>(Row(0)->GetItemAt(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetName(), L"169");  // U+00A9
    EXPECT_EQ(first->GetNormalImage(), L"emoji/emoji_00a9.png");
    EXPECT_EQ(first->GetFixedWidth(), 20);
    EXPECT_EQ(first->GetFixedHeight(), 20);
    EXPECT_EQ(first->GetBorderRound().cx, 3);
    EXPECT_EQ(first->GetBorderRound().cy, 3);
    RECT pad = first->GetPadding();
    EXPECT_EQ((std::vector<LONG>{pad.left, pad.top, pad.right, pad.bottom}), (std::vector<LONG>{1, 1, 0, 1}));
    DuiLib::CControlUI* last = Row(41)->GetItemAt(3);
    EXPECT_EQ(last->GetName(), L"128709");  // U+1F6C5
    auto* shooting_star = testkit::FindControlAs<DuiLib::CButtonUI>(Picker(), L"127776");
    ASSERT_NE(shooting_star, nullptr);
    EXPECT_EQ(shooting_star->GetNormalImage(), L"emoji/emoji_1f303.png");  // shown with U+1F303's image
  });
  d_.Do("the last row can be scrolled into view", [] {
    DuiLib::CContainerUI* face = Face();
    EXPECT_EQ(face->GetScrollPos().cy, 0);
    face->EndDown();
    testkit::ManagerOf(Picker())->UpdateLayout();
    EXPECT_GT(face->GetScrollPos().cy, 0);
    RECT view = face->GetPos(), last = face->GetItemAt(41)->GetPos();
    EXPECT_GE(last.top, view.top);
    EXPECT_LE(last.bottom, view.bottom);
    face->HomeUp();
  });
  d_.Do("a second request while it is open", [] { testkit::NotifyControl(Main(), L"emoji_btn", L"click"); });
  d_.Pause(100);
  d_.Do("still one picker", [] { EXPECT_EQ(testkit::CountVisibleWindows(L"SelectEmojiWnd"), 1); });
  ClickEmoji(d_, L"128077");
  Closed();
  d_.Do("the alias that sorts last is written", [] { EXPECT_EQ(Composer(), L":thumbsup:"); });
  Open();  // a closed picker opens again
  ClickEmoji(d_, L"128516");
  Closed();
  d_.Do("appended at the end", [] { EXPECT_EQ(Composer(), L":thumbsup::smile:"); });
  Finish();
}

TEST_F(EmojiPickerTest, ImagesWithoutCodeAndNonNumericNamesCloseAndWriteNothing) {
  d_.Do("some text", [] { MainControl(L"chat_input")->SetText(L"hi "); });
  Open();
  ClickEmoji(d_, L"127776");  // U+1F320: an image, no short code
  Closed();
  d_.Do("nothing appended", [] { EXPECT_EQ(Composer(), L"hi "); });
  Open();
  d_.Do("a button that is not an emoji", [] {
    auto* odd = new DuiLib::CButtonUI();  // owned by the row it is added to
    odd->SetName(L"12abc");
    odd->SetFixedWidth(20);
    odd->SetFixedHeight(20);
    Row(41)->Add(odd);
  });
  ClickEmoji(d_, L"12abc");
  Closed();
  d_.Do("still nothing appended", [] {
    EXPECT_EQ(Composer(), L"hi ");
    EXPECT_NE(Main(), nullptr);
  });
  Finish();
}

TEST_F(EmojiPickerTest, ClicksOutsideCloseItAndClicksOnItsBorderDoNot) {
  Open();
  // Just inside the top left corner, on the border: not an emoji.
  ClickAt(d_, [] { return POINT{PickerRect().left + 1, PickerRect().top + 1}; });
  d_.Pause(150);
  d_.Do("still open and still catching clicks outside", [] {
    EXPECT_NE(Picker(), nullptr);
    EXPECT_EQ(GetCapture(), Picker());
  });
  // The left edge column itself counts as outside.
  ClickAt(d_, [] { return POINT{PickerRect().left, PickerRect().top + 100}; });
  Closed();
  Open();
  // A right click below the picker, over the main window.
  ClickAt(d_, [] { return POINT{PickerRect().left + 100, PickerRect().bottom + 20}; }, WM_RBUTTONDOWN);
  Closed();
  Open();
  // A real click on the emoji button: the captured press closes the picker and opens no other.
  PointerTo(d_, [] { return ScreenCentre(Main(), L"emoji_btn"); });
  d_.Do("press and release", [] {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    EXPECT_EQ(SendInput(2, in, sizeof(INPUT)), 2u);
  });
  Closed();
  d_.Pause(200);
  d_.Do("no second picker", [] {
    EXPECT_EQ(Picker(), nullptr);
    EXPECT_EQ(Composer(), L"");
  });
  Finish();
}
