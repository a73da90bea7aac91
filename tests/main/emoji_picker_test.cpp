// The emoji picker as the composer's emoji button opens it: placement, picking, closing by a click outside.
#include "frame/window_manager.h"
#include "main_fixture.h"

using veltrinawnd::WindowManager;

class EmojiPickerTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    Prime({Channel("c-1", "one", 1, true)}, {});
    WaitMain(d_);
  }
  static HWND Picker() { return Wnd(L"SelectEmojiWnd"); }
  static RECT PickerRect() { RECT rc{}; return GetWindowRect(Picker(), &rc), rc; }
  static DuiLib::CContainerUI* Face() { return testkit::FindControlAs<DuiLib::CContainerUI>(Picker(), L"emoji_face"); }
  static POINT Centre(HWND hwnd, DuiLib::CControlUI* c) {
    testkit::ManagerOf(hwnd)->UpdateLayout();
    RECT rc = c->GetPos();
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(hwnd, &pt);
    return pt;
  }
  void Open() {
    d_.Do("click the emoji button", [] { testkit::ClickControl(Main(), L"emoji_btn"); }).WaitFor("picker", [] { return Picker(); });
  }
  void Closed() { d_.WaitFor("picker closed", [] { return !Picker() && !WindowManager::Instance()->select_emoji_wnd(); }); }
  // The pointer may be reported late under X: it counts as there once it has stayed a few rounds.
  void PointerTo(std::function<POINT()> where) {
    auto steady = std::make_shared<int>(0);
    d_.WaitFor("pointer in place", [where, steady] {
      POINT want = where(), now{};
      GetCursorPos(&now);
      if (now.x == want.x && now.y == want.y) return ++*steady >= 3;
      *steady = 0;
      SetCursorPos(want.x, want.y);
      return false;
    });
  }
  // A press and release, delivered to the picker as its mouse capture would deliver them.
  void ClickAt(std::function<POINT()> where, UINT down = WM_LBUTTONDOWN) {
    PointerTo(where);
    d_.Do("click", [where, down] {
      POINT pt = where();
      ScreenToClient(Picker(), &pt);
      PostMessageW(Picker(), down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(pt.x, pt.y));
      PostMessageW(Picker(), down + 1, 0, MAKELPARAM(pt.x, pt.y));
    });
  }
  // Scrolls the emoji's row to the top of the view, as a user would, and clicks the emoji.
  void ClickEmoji(const wchar_t* name) {
    d_.Do("scroll to the emoji", [name] {
      Face()->SetScrollPos(SIZE{0, 22 * Face()->GetItemIndex(testkit::FindControl(Picker(), name)->GetParent())});
    });
    ClickAt([name] { return Centre(Picker(), testkit::FindControl(Picker(), name)); });
    Closed();
  }
  testkit::UiDriver d_;
};

TEST_F(EmojiPickerTest, OpensOnceAboveTheButtonAppendsTheLastAliasAndImagesWithoutCodeWriteNothing) {
  Open();
  d_.Do("placed and capturing; a second request while it is open", [] {
    RECT rc = PickerRect(), button = Control(L"emoji_btn")->GetPos();
    POINT origin{button.left, button.top};
    ClientToScreen(Main(), &origin);
    EXPECT_EQ(std::vector<LONG>({rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top}),
              std::vector<LONG>({origin.x - 216, origin.y - 236, 432, 236}));
    EXPECT_EQ(GetCapture(), Picker());
    testkit::NotifyControl(Main(), L"emoji_btn", L"click");
  });
  d_.Pause(100).Do("still one picker", [] { EXPECT_EQ(testkit::CountVisibleWindows(L"SelectEmojiWnd"), 1); });
  ClickEmoji(L"128077");
  d_.Do("the alias that sorts last", [] { EXPECT_EQ(Text(L"chat_input"), L":thumbsup:"); });
  Open();
  ClickEmoji(L"128516");
  Open();
  ClickEmoji(L"127776");  // U+1F320 in the last row: an image, no short code
  Open();
  d_.Do("a button that is not an emoji", [] {
    auto* odd = new DuiLib::CButtonUI();  // owned by the row it is added to
    odd->SetName(L"12abc");
    odd->SetFixedWidth(20);
    odd->SetFixedHeight(20);
    static_cast<DuiLib::CContainerUI*>(Face()->GetItemAt(Face()->GetCount() - 1))->Add(odd);
  });
  ClickEmoji(L"12abc");
  d_.Do("appended at the end, nothing for the others", [] { EXPECT_EQ(Text(L"chat_input"), L":thumbsup::smile:"); });
  Finish(d_);
}

TEST_F(EmojiPickerTest, ClicksOutsideCloseItClicksOnItsBorderDoNotAndTheButtonOpensNoSecond) {
  Open();
  ClickAt([] { return POINT{PickerRect().left + 1, PickerRect().top + 1}; });  // the border: not an emoji
  d_.Pause(150).Do("still open and capturing", [] { EXPECT_EQ(GetCapture(), Picker()); });
  ClickAt([] { return POINT{PickerRect().left, PickerRect().top + 100}; });  // the left edge column is outside
  Closed();
  Open();
  ClickAt([] { return POINT{PickerRect().left + 100, PickerRect().bottom + 20}; }, WM_RBUTTONDOWN);
  Closed();
  Open();
  // A real click on the emoji button: the captured press closes the picker and opens no other.
  PointerTo([] { return Centre(Main(), Control(L"emoji_btn")); });
  d_.Do("press and release", [] {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    EXPECT_EQ(SendInput(2, in, sizeof(INPUT)), 2u);
  });
  Closed();
  d_.Pause(200).Do("no second picker", [] { EXPECT_TRUE(!Picker() && Text(L"chat_input").empty()); });
  Finish(d_);
}
