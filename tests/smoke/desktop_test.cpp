// Desktop manners, outside in: the header menus, the composer's edit menu and the emoji picker open on a click,
// stay until a choice or a click outside, and act; after any of them, a dialog or a message box the caret is back
// in the composer, so typing and Enter go on where they were. tools/openbox-run.sh runs this group again under a
// real window manager, where activation and focus follow X's rules rather than Wine's virtual desktop.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "smoke_steps.h"
#include "smoke_user.h"

namespace smoke {
namespace {

// Where the skins put the header's buttons (skin/skin_main_wnd.xml), in client coordinates of the main window.
constexpr POINT kTeamMenuButton{12 + 16, 12 + 16};
constexpr POINT kImOrChannelButton{kLeftPanel - 12 - 28 - 6 - 14, 14 + 14};
constexpr POINT kPersonalMenuButton{kLeftPanel - 12 - 14, 14 + 14};
inline POINT EmojiButton(SIZE c) { return POINT{kLeftPanel + 12 + 20, c.cy - kComposer + 6 + 14}; }
inline POINT UploadButton(SIZE c) { return POINT{kLeftPanel + 12 + 2 * (40 + 6) + 20, c.cy - kComposer + 6 + 14}; }
// The upload window's own upload button (skin_upload_file.xml: 467 by 372, the buttons' row inset 20 and 18).
constexpr POINT kUploadWindowUpload{467 - 20 - 42, 372 - 18 - 18};
// Right to left: close, minimise, invite, members (#general has no leave button).
inline POINT MembersButton(SIZE c) { return POINT{c.cx - 44 - 40 - 64 - 32, kHeader / 2}; }
// The conversation's title: a place in the main window where a click does nothing.
constexpr POINT kNowhere{kLeftPanel + 300, kHeader / 2};
// The menus' rows (skin_*_menu.xml): 8 pixels of inset above rows 36 high.
POINT MenuRow(HWND menu, int row) {
  RECT rc{};
  ::GetWindowRect(menu, &rc);
  return POINT{(rc.left + rc.right) / 2, rc.top + 8 + 36 * row + 18};
}
POINT Centre(HWND window) {
  RECT rc{};
  ::GetWindowRect(window, &rc);
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

class Desktop : public ::testing::Test {  // a first start; no state left for the groups sharing the documents folder
 protected:
  void SetUp() override { ForgetEverything(); }
  void TearDown() override { ForgetEverything(); }

  // Started, signed in, #general open; the composer has the focus.
  void Start() {
    client_.emplace();
    user_.emplace(*client_);
    main_ = SignIn(*user_, EnterTeamDemo(*user_, true));
    composer_ = LaidOutField(*user_, main_, L"RICHEDIT50W", false, ChatInputTopLeft(ClientSize(main_)));
    OpenGeneral(*user_, main_);
    user_->TypeInto("the composer takes the caret", composer_, L"");
  }
  // Opens a window of this class with a click at the main window's client point; it must stay up.
  HWND OpenByClick(const std::string& step, POINT client_point, const wchar_t* class_name, bool right = false) {
    ::ClientToScreen(main_, &client_point);
    user_->CheckAlive(step, main_);
    user_->Click(client_point, right);
    HWND window = user_->WaitForWindow(step, class_name);
    ::Sleep(700);  // long enough for a window manager to have moved the focus
    user_->CheckAlive(step + " (still up)", window);
    EXPECT_TRUE(::IsWindowVisible(window)) << step << ": it closed by itself";
    return window;
  }
  // Typing without a click first reaches the composer: the caret came back.
  void TypeIntoComposerAgain(const std::string& step, const std::wstring& before, const std::wstring& typed) {
    user_->WaitUntil(step + " (the composer has the focus)", [&] { return SmokeUser::FocusOf(main_) == composer_; },
                    main_, [&] { return "the focus on " + std::to_string(reinterpret_cast<uintptr_t>(
                                                              SmokeUser::FocusOf(main_))); });
    user_->Type(step, main_, typed);
    std::wstring now;
    user_->WaitUntil(step + " (typed)", [&] { return (now = TextOf(composer_)) == before + typed; }, main_,
                    [&] { return Utf8(now); });
  }
  // Enter sends the composer's text: it arrives in the demo service's state as alice's in #general.
  void SendWithEnter(const std::string& step, const std::wstring& text) {
    user_->PressEnter(step, main_);
    std::string stored;
    user_->WaitUntil(step + " (stored)", [&] { return (stored = StoredMessage(Utf8(text))) == "alice in #general"; },
                    main_, [&] { return stored; });
    user_->WaitUntil(step + " (an empty composer)", [&] { return TextOf(composer_).empty(); }, main_);
  }

  POINT InMain(POINT screen) const { return ::ScreenToClient(main_, &screen), screen; }

  std::optional<ClientProcess> client_;  // started by Start, after SetUp forgot everything
  std::optional<SmokeUser> user_;
  HWND main_ = nullptr, composer_ = nullptr;
};

TEST_F(Desktop, HeaderMenusOpenStayAndActOrCloseOnAClickOutside) {
  Start();
  for (auto [button, name] : {std::pair{kTeamMenuButton, L"TeamMenuWnd"}, {kPersonalMenuButton, L"PersonalMenuWnd"}}) {
    const std::string step = "the " + Utf8(name);
    HWND menu = OpenByClick(step, button, name);
    user_->Click(step + ": a click outside", main_, kNowhere);
    user_->WaitUntilHidden(step + " closes on a click outside", menu);
  }
  HWND menu = OpenByClick("the ImOrChannelMenuWnd", kImOrChannelButton, L"ImOrChannelMenuWnd");
  user_->Click(MenuRow(menu, 1));  // 加入频道
  HWND join = user_->WaitForWindow("its item 加入频道 opens the channel list", L"JoinChannelWnd", L"更多频道");
  user_->WaitUntilHidden("the menu goes with its choice", menu);
  RECT rc{};
  ::GetClientRect(join, &rc);
  user_->Click("close the channel list", join, POINT{rc.right - 22, 26});
  user_->WaitUntilHidden("the channel list closes", join);
  TypeIntoComposerAgain("type after the menu and the channel list", L"", L"menus");
}

TEST_F(Desktop, TheCaretComesBackAfterThePickerTheEditMenuAndADialog) {
  Start();
  const std::wstring stamp = std::to_wstring(::GetTickCount64());
  const std::wstring text = L"picked " + stamp;
  user_->TypeInto("type a message", composer_, text);
  HWND picker = OpenByClick("the emoji picker", EmojiButton(ClientSize(main_)), L"SelectEmojiWnd");
  RECT rc{};
  ::GetWindowRect(picker, &rc);
  user_->Click(POINT{rc.left + 1 + 10, rc.top + 1 + 10});  // the first emoji
  user_->WaitUntilHidden("the picker closes with its choice", picker);
  std::wstring picked;
  user_->WaitUntil("the emoji's code follows the text",
                  [&] { return (picked = TextOf(composer_)).size() > text.size() && picked.starts_with(text); }, main_,
                  [&] { return Utf8(picked); });
  SendWithEnter("Enter after the picker sends", picked);
  picker = OpenByClick("the emoji picker again", EmojiButton(ClientSize(main_)), L"SelectEmojiWnd");
  user_->Click("a click outside the picker", main_, kNowhere);
  user_->WaitUntilHidden("the picker closes on a click outside", picker);
  const std::wstring typed = L"typed " + stamp;
  TypeIntoComposerAgain("type after the picker closed", L"", typed);
  SendWithEnter("Enter after the picker closed sends", typed);

  // The edit menu: its Paste puts the clipboard's text in, and the caret stays for Enter.
  const std::wstring pasted = L"pasted " + stamp;
  ASSERT_TRUE(::OpenClipboard(nullptr));
  ::EmptyClipboard();
  const size_t bytes = (pasted.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(::GlobalLock(memory), pasted.c_str(), bytes);
  ::GlobalUnlock(memory);
  const bool put = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  ::CloseClipboard();
  ASSERT_TRUE(put) << "cannot put text on the clipboard";
  HWND menu = OpenByClick("the composer's edit menu", InMain(Centre(composer_)), L"#32768", true);
  ::GetWindowRect(menu, &rc);
  user_->Click(POINT{(rc.left + rc.right) / 2, rc.top + (rc.bottom - rc.top) * 5 / 6});  // the third item: 粘贴
  user_->WaitUntilHidden("the edit menu closes with its choice", menu);
  std::wstring now;
  user_->WaitUntil("Paste puts the clipboard's text in", [&] { return (now = TextOf(composer_)) == pasted; }, main_,
                  [&] { return Utf8(now); });
  SendWithEnter("Enter after the edit menu sends", pasted);

  HWND members = OpenByClick("the members of #general", MembersButton(ClientSize(main_)), L"ViewMembersWnd");
  ::GetClientRect(members, &rc);
  user_->Click("close the members", members, POINT{rc.right - 24, 24});
  user_->WaitUntilHidden("the members close", members);
  TypeIntoComposerAgain("type after the members", L"", L"after");
}

// A common dialog, a window of the client and a message box from it, one after the other: the caret is back too.
TEST_F(Desktop, TheCaretComesBackAfterTheFileDialogAndAMessageBox) {
  const std::filesystem::path file = L"C:\\veltrina-focus.txt";
  std::ofstream(file) << "about to go";
  Start();
  user_->TypeInto("type a message", composer_, L"kept");
  ::Sleep(300);  // the typed text stays in the composer, with the caret
  HWND files = OpenByClick("the file dialog", UploadButton(ClientSize(main_)), L"#32770");
  user_->WaitUntil("the file dialog has the focus", [&] { return SmokeUser::FocusOf(files) != nullptr; }, files);
  user_->Type("type the file's path", files, file.wstring());
  user_->PressEnter("open it", files);
  HWND upload = user_->WaitForWindow("the upload window", L"UploadFileWnd");
  std::error_code error;
  std::filesystem::remove(file, error);
  ASSERT_FALSE(std::filesystem::exists(file)) << error.message();
  user_->Click("upload a file that has gone meanwhile", upload, kUploadWindowUpload);
  HWND box = user_->WaitForWindow("the message box", L"#32770");
  EXPECT_EQ(Utf8(user_->AnswerMessageBox("answer the box", box)), "文件已不存在，无法上传。");
  user_->WaitUntilHidden("the upload window closes with the box", upload);
  TypeIntoComposerAgain("type after the file dialog and the message box", L"kept", L" going");
}

}  // namespace
}  // namespace smoke
