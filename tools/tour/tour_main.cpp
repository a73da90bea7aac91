// Runs the client with a UI driver that visits every window reachable so far and writes a
// screenshot of each into the folder named on the command line (NN-WindowClass.png).
#include <windows.h>

#include <cstdio>
#include <functional>
#include <vector>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/storage.h"
#include "dialogs/upload_file_wnd.h"
#include "frame/window_manager.h"
#include "frame/wnd_shadow.h"
#include "message_box.h"
#include "screenshot.h"
#include "ui_driver.h"

namespace {

std::wstring g_folder;
int g_step = 0;

void ShootWindow(HWND hwnd, const wchar_t* label) {
  wchar_t name[64];
  swprintf(name, 64, L"%02d-%ls.png", ++g_step, label);
  std::wstring path = g_folder + L"\\" + name;
  bool ok = testkit::SaveWindowPng(hwnd, path);
  std::fwprintf(stdout, L"tour: %ls %ls\n", name, ok ? L"written" : L"FAILED");
  std::fflush(stdout);
}

void Shoot(const wchar_t* window_class) { ShootWindow(testkit::FindVisibleWindow(window_class), window_class); }

// Xvfb has no compositor, so a layered window's alpha is not blended and a shadow would show as
// a hard black band. Screen shots therefore hide the shadow windows, let the desktop repaint,
// capture, and blend each shadow's own bitmap over the capture as the desktop composes it.
void ShowShadows(const std::vector<HWND>& windows, bool show) {
  for (HWND hwnd : windows)
    if (CWndShadow* shadow = CWndShadow::FromParent(hwnd)) ShowWindow(shadow->GetHWND(), show ? SW_SHOWNA : SW_HIDE);
}

void BlendShadow(HWND hwnd, uint32_t* pixels, const RECT& captured) {
  CWndShadow* shadow = CWndShadow::FromParent(hwnd);
  RECT parent, placed;
  if (!shadow || !GetWindowRect(hwnd, &parent) || !GetWindowRect(shadow->GetHWND(), &placed)) return;
  const int sw = placed.right - placed.left, sh = placed.bottom - placed.top;
  if (sw <= 0 || sh <= 0) return;
  std::vector<UINT32> bits(static_cast<size_t>(sw) * sh, 0);
  shadow->MakeShadow(bits.data(), hwnd, parent);
  const int cw = captured.right - captured.left;
  for (int y = 0; y < sh; ++y) {
    for (int x = 0; x < sw; ++x) {
      const int sx = placed.left + x, sy = placed.top + y;
      if (sx < captured.left || sx >= captured.right || sy < captured.top || sy >= captured.bottom) continue;
      const UINT32 s = bits[static_cast<size_t>(sh - 1 - y) * sw + x];  // bottom-up
      const UINT32 a = s >> 24;
      if (!a) continue;
      uint32_t& d = pixels[static_cast<size_t>(sy - captured.top) * cw + (sx - captured.left)];
      uint32_t out = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        const UINT32 c = ((s >> shift) & 0xFF) + ((d >> shift) & 0xFF) * (255 - a) / 255;
        out |= (c > 255 ? 255 : c) << shift;
      }
      d = out;
    }
  }
}

// Photographs the screen around these windows (with a margin), shadows included: windows over
// others, a window against the desktop. Adds the steps to the driver.
void ShootScreen(testkit::UiDriver& d, std::function<std::vector<HWND>()> find, const wchar_t* label,
                 int margin = 24) {
  auto windows = std::make_shared<std::vector<HWND>>();
  d.Do("hide shadows", [find, windows] {
    *windows = find();
    ShowShadows(*windows, false);
  });
  d.Pause(400);
  std::wstring name = label;
  d.Do("shoot", [windows, name, margin] {
    RECT area{};
    for (HWND hwnd : *windows) {
      RECT rc;
      if (hwnd && GetWindowRect(hwnd, &rc)) UnionRect(&area, &area, &rc);
    }
    InflateRect(&area, margin, margin);
    wchar_t file[64];
    swprintf(file, 64, L"%02d-%ls.png", ++g_step, name.c_str());
    bool ok = testkit::SaveScreenPng(area, g_folder + L"\\" + file, [windows](uint32_t* px, const RECT& captured) {
      for (HWND hwnd : *windows) BlendShadow(hwnd, px, captured);
    });
    ShowShadows(*windows, true);
    std::fwprintf(stdout, L"tour: %ls %ls\n", file, ok ? L"written" : L"FAILED");
    std::fflush(stdout);
  });
}

HWND MainWindow() { return testkit::FindVisibleWindow(L"MainWindow"); }

// Clicks a control of the main window as a user does: the pointer first, then the click.
void ClickInMain(testkit::UiDriver& d, const wchar_t* name) {
  auto at = std::make_shared<POINT>();
  std::wstring control = name;
  d.Do("point", [control, at] {
    RECT rc = testkit::FindControl(MainWindow(), control.c_str())->GetPos();
    *at = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(MainWindow(), at.get());
    SetCursorPos(at->x, at->y);
  });
  d.WaitFor("pointer there", [at] {
    POINT now{};
    GetCursorPos(&now);
    return now.x == at->x && now.y == at->y;
  });
  d.Do("click", [control] { testkit::ClickControl(MainWindow(), control.c_str()); });
}

// Opens a header menu, photographs it over the main window and lets it close by losing the focus.
void VisitMenu(testkit::UiDriver& d, const wchar_t* button, const wchar_t* window_class) {
  std::wstring cls = window_class;
  ClickInMain(d, button);
  d.OnWindow(window_class, [](HWND) {});
  ShootScreen(d, [cls] { return std::vector<HWND>{MainWindow(), testkit::FindVisibleWindow(cls.c_str())}; },
              window_class, 0);
  d.Do("a click outside the menu (the capture brings it there)", [cls] {
    if (HWND menu = testkit::FindVisibleWindow(cls.c_str())) PostMessageW(menu, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-20, -20));
  });
  d.WaitFor("menu closed", [cls] { return testkit::FindVisibleWindow(cls.c_str()) == nullptr; });
}

// Opens a secondary window through the window manager, photographs it and closes it again.
void Visit(testkit::UiDriver& d, const wchar_t* window_class, std::function<void()> open,
           std::function<void()> close) {
  std::wstring cls = window_class;
  d.Do("open", std::move(open));
  d.OnWindow(window_class, [cls, close](HWND) {
    Shoot(cls.c_str());
    close();
  });
  d.WaitFor("closed", [cls] { return testkit::FindVisibleWindow(cls.c_str()) == nullptr; });
}

// The files of the open conversation (#design): each filter, load more, and the details of an
// image and of a document, with a comment posted.
DuiLib::CListUI* FileList() {
  return testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"ViewFilesWnd"), L"file_list");
}

void ShowFilter(testkit::UiDriver& d, const wchar_t* tab, int rows) {
  std::wstring name = tab;
  d.Do("filter", [name] { testkit::ClickControl(testkit::FindVisibleWindow(L"ViewFilesWnd"), name.c_str()); });
  d.WaitFor("rows", [rows] { return FileList() && FileList()->GetCount() == rows; });
  d.Pause(400);  // thumbnails
  d.OnWindow(L"ViewFilesWnd", [](HWND) { Shoot(L"ViewFilesWnd"); });
}

void OpenFirstFile(testkit::UiDriver& d) {
  d.Do("open the first file", [] { FileList()->SelectItem(0); });
  d.OnWindow(L"FileDetailsWnd", [](HWND) {});
  d.WaitFor("details", [] {
    DuiLib::CControlUI* name = testkit::FindControl(testkit::FindVisibleWindow(L"FileDetailsWnd"), L"file_name_label");
    return name && !name->GetText().empty();
  });
  d.Pause(500);
}

void VisitFiles(testkit::UiDriver& d) {
  auto wm = [] { return veltrinawnd::WindowManager::Instance(); };
  ClickInMain(d, L"file_btn");
  d.OnWindow(L"ViewFilesWnd", [](HWND) {});
  d.WaitFor("first page", [] { return FileList() && FileList()->GetCount() == 21; });
  d.Pause(400);
  d.OnWindow(L"ViewFilesWnd", [](HWND) { Shoot(L"ViewFilesWnd"); });
  ShowFilter(d, L"fragment_file_btn", 21);
  ShowFilter(d, L"document_file_btn", 21);
  ShowFilter(d, L"all_file_btn", 21);
  d.Do("load more", [] {
    FileList()->EnsureVisible(FileList()->GetCount() - 1);
    testkit::ClickControl(testkit::FindVisibleWindow(L"ViewFilesWnd"), L"load_more");
  });
  d.WaitFor("second page", [] { return FileList()->GetCount() == 41; });
  d.Pause(400);
  d.OnWindow(L"ViewFilesWnd", [](HWND) { Shoot(L"ViewFilesWnd"); });
  ShowFilter(d, L"image_file_btn", 21);
  OpenFirstFile(d);
  d.OnWindow(L"FileDetailsWnd", [](HWND h) {
    Shoot(L"FileDetailsWnd");
    testkit::SetControlText(h, L"comment_edit", L"导览路过，这张图不错！");
    testkit::ClickControl(h, L"send_comment_btn");
  });
  d.WaitFor("comment posted", [] {
    DuiLib::CControlUI* count = testkit::FindControl(testkit::FindVisibleWindow(L"FileDetailsWnd"), L"comment_number_label");
    return count && count->GetText() == L"3";
  });
  d.Pause(300);
  d.OnWindow(L"FileDetailsWnd", [wm](HWND) {
    Shoot(L"FileDetailsWnd");
    wm()->CloseFileDetailsWnd();
  });
  d.WaitFor("details closed", [] { return testkit::FindVisibleWindow(L"FileDetailsWnd") == nullptr; });
  ShowFilter(d, L"document_file_btn", 21);
  OpenFirstFile(d);
  d.OnWindow(L"FileDetailsWnd", [wm](HWND) {
    Shoot(L"FileDetailsWnd");
    wm()->CloseFileDetailsWnd();
  });
  d.WaitFor("details closed", [] { return testkit::FindVisibleWindow(L"FileDetailsWnd") == nullptr; });
  d.Do("close the files", [wm] { wm()->CloseViewFilesWnd(); });
  d.WaitFor("files closed", [] { return testkit::FindVisibleWindow(L"ViewFilesWnd") == nullptr; });
}

void WriteDemoConfig(const char8_t* json) {
  std::wstring folder = veltrinawnd::GetDataFolder();
  CreateDirectoryW(veltrinawnd::GetDocumentsFolder().c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  FILE* f = _wfopen((folder + L"\\demo-config.json").c_str(), L"wb");
  if (!f) return;
  std::fputs(reinterpret_cast<const char*>(json), f);
  std::fclose(f);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  g_folder = argc > 1 ? argv[1] : L".";
  LocalFree(argv);
  CreateDirectoryW(g_folder.c_str(), nullptr);

  using veltrinawnd::WindowManager;
  // A newer version is announced by the demo service (its config file in the data folder), so
  // the update window comes first.
  WriteDemoConfig(
      u8R"({"client_version_code": 5, "client_version_name": "2.0.0",
  "client_version_description": "• 会话列表显示未读消息数\n• 支持表情和文件卡片\n• 修复若干问题",
  "client_download_url": "https://veltrina.demo/download"})");
  testkit::UiDriver d;
  d.OnWindow(L"UpdateWnd", [](HWND h) {
    Shoot(L"UpdateWnd");
    testkit::ClickControl(h, L"cancel_btn");
  }, 60000);  // the first start of a fresh prefix can be slow
  d.WaitFor("update closed", [] { return testkit::FindVisibleWindow(L"UpdateWnd") == nullptr; });
  // Sign in as the demo's new member: the team, the login and the initial password.
  d.OnWindow(L"SubdomainWnd", [](HWND h) {
    testkit::SetControlText(h, L"subdomain_edit", L"demo");
    Shoot(L"SubdomainWnd");
    testkit::ClickControl(h, L"continue_btn");
  });
  // A wrong password first: the real message box, answered as a user would.
  d.OnWindow(L"LoginWindow", [](HWND h) {
    testkit::SetControlText(h, L"username_edit", L"newbie");
    testkit::SetControlText(h, L"password_edit", L"wrong-password");
    testkit::ClickControl(h, L"login_btn");
  });
  d.WaitFor("the wrong-password box", [] { return testkit::FindMessageBox() != nullptr; }, 15000);
  d.Do("shoot and answer the box", [] {
    HWND box = testkit::FindMessageBox();
    ShootWindow(box, L"MessageBox");
    testkit::AnswerMessageBox(box, IDOK);
  });
  d.WaitFor("the box answered", [] { return testkit::FindMessageBox() == nullptr; });
  d.OnWindow(L"LoginWindow", [](HWND h) {
    testkit::SetControlText(h, L"password_edit", L"init1234");
    Shoot(L"LoginWindow");
    testkit::ClickControl(h, L"login_btn");
  });
  d.OnWindow(L"RestPwdWnd", [](HWND h) {
    testkit::SetControlText(h, L"new_pwd_edit", L"newpass1");
    testkit::SetControlText(h, L"confirm_pwd_edit", L"newpass1");
    Shoot(L"RestPwdWnd");
    testkit::ClickControl(h, L"sure_btn");
  });
  // The session list fills when the refresh chain is done; open #general the way a user would.
  d.WaitFor("channels listed", [] {
    return testkit::FindControl(testkit::FindVisibleWindow(L"MainWindow"), L"channelItem_c-general") != nullptr;
  }, 15000);
  d.Do("open #general", [] {
    testkit::ClickControl(testkit::FindVisibleWindow(L"MainWindow"), L"channelItem_c-general");
  });
  d.WaitFor("conversation shown", [] {
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"MainWindow"), L"chat_display");
    return list && list->GetCount() > 0;
  });
  d.Pause(300);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  // The cards of #general (images, files, comments, mails, attachments, shares), page by page
  // from the top.
  for (int page = 0; page < 3; ++page) {
    d.Do("scroll #general", [page] {
      auto* list = testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"MainWindow"), L"chat_display");
      list->SetScrollPos(SIZE{0, page * (list->GetPos().bottom - list->GetPos().top - 40)});
    });
    d.Pause(200);
    d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  }
  // A message typed and sent with Enter; it shows when the service has stored it.
  auto rows = std::make_shared<int>(0);
  d.Do("type and send", [rows] {
    HWND main = testkit::FindVisibleWindow(L"MainWindow");
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(main, L"chat_display");
    *rows = list->GetCount();
    auto* input = testkit::FindControlAs<DuiLib::CRichEditUI>(main, L"chat_input");
    input->SetFocus();
    input->SetText(L"大家好 :wave: 这是 Veltrina 的导览，详情见 [https://veltrina.demo/tour|导览页面]");
    MSG msg{input->GetNativeWindow(), WM_KEYDOWN, VK_RETURN, 0x001C0001, GetTickCount(), {}};
    if (!DuiLib::CPaintManagerUI::TranslateMessage(&msg)) DispatchMessageW(&msg);
  });
  d.WaitFor("sent message shown", [rows] {
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"MainWindow"), L"chat_display");
    return list && list->GetCount() > *rows;
  });
  d.Pause(300);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  // Closing hides the main window into the tray; a left click on the tray icon brings it back
  // with the first conversation that has unread messages (the assistant's welcome).
  d.Do("hide", [] { testkit::ClickControl(testkit::FindVisibleWindow(L"MainWindow"), L"customCloseBtn"); });
  d.WaitFor("hidden", [] { return testkit::FindVisibleWindow(L"MainWindow") == nullptr; });
  d.Do("tray click", [] {
    HWND main = FindWindowW(L"MainWindow", L"Veltrina");
    PostMessageW(main, WM_USER + 7, 0, WM_LBUTTONDOWN);
  });
  d.WaitFor("shown again", [] { return testkit::FindVisibleWindow(L"MainWindow") != nullptr; });
  // Ask the assistant something; its answer arrives live.
  d.Do("ask the bot", [rows] {
    HWND main = testkit::FindVisibleWindow(L"MainWindow");
    *rows = testkit::FindControlAs<DuiLib::CListUI>(main, L"chat_display")->GetCount();
    testkit::SetControlText(main, L"chat_input", L"/time");
    testkit::ClickControl(main, L"send_message_btn");
  });
  d.WaitFor("the answer arrived", [rows] {
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(testkit::FindVisibleWindow(L"MainWindow"), L"chat_display");
    return list && list->GetCount() >= *rows + 2;
  }, 20000);
  d.Pause(300);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  // The header menus and the emoji picker over the main window, as a user opens them.
  VisitMenu(d, L"team_menu_btn", L"TeamMenuWnd");
  VisitMenu(d, L"personal_menu_btn", L"PersonalMenuWnd");
  VisitMenu(d, L"im_or_channel_btn", L"ImOrChannelMenuWnd");
  ClickInMain(d, L"emoji_btn");
  d.OnWindow(L"SelectEmojiWnd", [](HWND) {});
  ShootScreen(d, [] { return std::vector<HWND>{MainWindow(), testkit::FindVisibleWindow(L"SelectEmojiWnd")}; },
              L"SelectEmojiWnd", 0);
  d.Do("pick the thumbs-up", [] {
    testkit::NotifyControl(testkit::FindVisibleWindow(L"SelectEmojiWnd"), L"128077", L"click");  // wherever it is scrolled
  });
  d.WaitFor("picker closed", [] { return testkit::FindVisibleWindow(L"SelectEmojiWnd") == nullptr; });
  d.Pause(200);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  d.Do("empty the composer", [] { testkit::SetControlText(MainWindow(), L"chat_input", L""); });
  auto wm = [] { return WindowManager::Instance(); };
  // A window with its shadow against the desktop.
  d.Do("open", [wm] { wm()->ShowJoinChannelWnd(1); });
  d.OnWindow(L"JoinChannelWnd", [](HWND) { Shoot(L"JoinChannelWnd"); });
  ShootScreen(d, [] { return std::vector<HWND>{testkit::FindVisibleWindow(L"JoinChannelWnd")}; }, L"Shadow");
  d.Do("close", [wm] { wm()->CloseJoinChannelWnd(); });
  d.WaitFor("closed", [] { return testkit::FindVisibleWindow(L"JoinChannelWnd") == nullptr; });
  // The join list narrowed by a typed text.
  d.Do("open", [wm] { wm()->ShowJoinChannelWnd(1); });
  d.OnWindow(L"JoinChannelWnd", [](HWND h) {
    testkit::NotifyControl(h, L"search", L"setfocus");
    testkit::SetControlText(h, L"search", L"de");
    testkit::NotifyControl(h, L"search", L"textchanged");
  });
  d.Pause(200);
  d.OnWindow(L"JoinChannelWnd", [](HWND h) {
    Shoot(L"JoinChannelWnd");
    testkit::ClickControl(h, L"ceid_c-design");  // join #design; the window closes at once
  });
  d.WaitFor("#design listed", [] {
    return testkit::FindVisibleWindow(L"JoinChannelWnd") == nullptr &&
           testkit::FindControl(MainWindow(), L"channelItem_c-design") != nullptr;
  }, 15000);
  d.Do("open #design", [] { testkit::ClickControl(MainWindow(), L"channelItem_c-design"); });
  d.WaitFor("#design shown", [] {
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(MainWindow(), L"chat_display");
    return list && list->GetCount() > 0;
  });
  d.Pause(500);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  VisitFiles(d);
  Visit(d, L"OpenImWnd", [wm] { wm()->ShowOpenImWnd(); }, [wm] { wm()->CloseOpenImWnd(); });
  // A new group, created as a user does: the main window then shows it, and its add-members list
  // offers the whole team.
  ClickInMain(d, L"add_group_btn");
  d.OnWindow(L"JoinChannelWnd", [](HWND h) { testkit::ClickControl(h, L"create_channel_btn"); });
  d.OnWindow(L"CreateChannelWnd", [](HWND h) {
    testkit::SetControlText(h, L"name_edit", L"导览小组");
    testkit::SetControlText(h, L"topic_edit", L"试一试群组");
    Shoot(L"CreateChannelWnd");
    testkit::ClickControl(h, L"save_btn");
  });
  d.WaitFor("the group shown", [] {
    return testkit::FindVisibleWindow(L"CreateChannelWnd") == nullptr &&
           testkit::FindVisibleWindow(L"JoinChannelWnd") == nullptr &&
           testkit::FindControl(MainWindow(), L"add_members_btn")->IsVisible();
  }, 15000);
  d.Pause(300);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  ClickInMain(d, L"add_members_btn");
  d.OnWindow(L"AddMembersWnd", [wm](HWND) {
    Shoot(L"AddMembersWnd");
    wm()->CloseAddMembersWnd();
  });
  d.WaitFor("closed", [] { return testkit::FindVisibleWindow(L"AddMembersWnd") == nullptr; });
  // The members of #general, and a direct message started from there.
  d.Do("open", [wm] { wm()->ShowViewMembersWnd("c-general"); });
  d.OnWindow(L"ViewMembersWnd", [](HWND h) {
    Shoot(L"ViewMembersWnd");
    testkit::ClickControl(h, L"ueid_u-lilei");
  });
  d.WaitFor("the direct message shown", [] { return testkit::FindVisibleWindow(L"ViewMembersWnd") == nullptr; });
  d.Pause(500);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  // A picture uploaded into #design as a user does it: the upload button, the real file dialog,
  // the preview, the upload, and the card that arrives.
  auto picture = std::make_shared<std::wstring>();
  d.Do("a picture in the documents folder", [picture] {
    *picture = veltrinawnd::GetDocumentsFolder() + L"\\导览截图.png";
    CopyFileW((veltrinawnd::GetExecutableFolder() + L"\\..\\Veltrina\\skin\\logo.png").c_str(), picture->c_str(), FALSE);
  });
  ClickInMain(d, L"upload_btn");
  d.WaitFor("the file dialog", [] {
    HWND dialog = testkit::FindMessageBox();
    return dialog && GetDlgItem(dialog, IDOK);
  }, 15000);
  d.Do("choose the picture", [picture] {
    HWND dialog = testkit::FindMessageBox();
    SetDlgItemTextW(dialog, 1148, picture->c_str());  // the file name box
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  d.OnWindow(L"UploadFileWnd", [](HWND) {});
  d.WaitFor("the preview", [] {
    auto* preview = dynamic_cast<veltrinawnd::UploadPreviewUI*>(
        testkit::FindControl(testkit::FindVisibleWindow(L"UploadFileWnd"), L"preview_file"));
    return preview && preview->has_picture();
  });
  d.Pause(300);
  auto rows_before = std::make_shared<int>(0);
  d.OnWindow(L"UploadFileWnd", [rows_before](HWND h) {
    Shoot(L"UploadFileWnd");
    *rows_before = testkit::FindControlAs<DuiLib::CListUI>(MainWindow(), L"chat_display")->GetCount();
    testkit::ClickControl(h, L"upload_btn");
  });
  d.WaitFor("the card", [rows_before] {
    auto* list = testkit::FindControlAs<DuiLib::CListUI>(MainWindow(), L"chat_display");
    return testkit::FindVisibleWindow(L"UploadFileWnd") == nullptr && list && list->GetCount() > *rows_before;
  }, 15000);
  d.Do("to the bottom", [] {
    testkit::FindControlAs<DuiLib::CListUI>(MainWindow(), L"chat_display")->SetScrollPos(SIZE{0, 1 << 20});
  });
  d.Pause(1500);
  d.OnWindow(L"MainWindow", [](HWND) { Shoot(L"MainWindow"); });
  d.Do("feedback", [wm] { wm()->ShowFeedbackWnd(); });
  d.OnWindow(L"FeedbackWnd", [](HWND h) {
    testkit::SetControlText(h, L"feedback_edit", L"导览觉得很好用，希望以后能支持深色主题。");
    Shoot(L"FeedbackWnd");
    testkit::ClickControl(h, L"save_btn");
  });
  d.WaitFor("feedback sent", [] { return testkit::FindVisibleWindow(L"FeedbackWnd") == nullptr; });
  d.Do("exit", [] {
    WindowManager::Instance()->CloseAll();
    PostQuitMessage(0);
  });
  d.Start();

  int code = veltrinawnd::RunApplication(hInstance);
  if (!d.Failure().empty()) {
    std::fprintf(stdout, "tour: %s\n", d.Failure().c_str());
    return 1;
  }
  std::fprintf(stdout, "tour: %d screenshots\n", g_step);
  return code;
}
