// The upload and feedback windows as the main window opens them: previews, the shared name, what is sent, faults.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "conversation/cards.h"
#include "dialogs/upload_file_wnd.h"
#include "frame/window_manager.h"
#include "main/main_wnd.h"
#include "main_fixture.h"
#include "veltrina/backend/upload_hook.h"
#include "veltrina/http.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

class UploadFeedbackTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    SetCurrentDirectoryW(std::filesystem::temp_directory_path().c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    MainTest::TearDown();
  }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
    return (folder_ / name).wstring();
  }
  static veltrinawnd::UploadPreviewUI* Preview() {
    return testkit::FindControlAs<veltrinawnd::UploadPreviewUI>(Wnd(L"UploadFileWnd"), L"preview_file");
  }
  static std::vector<int> Box() {  // width, height, left and top padding
    RECT pad = Preview()->GetPadding();
    return {Preview()->GetFixedWidth(), Preview()->GetFixedHeight(), static_cast<int>(pad.left), static_cast<int>(pad.top)};
  }
  static bool UploadUp() { return WindowManager::Instance()->upload_file_wnd() != nullptr; }
  static void OpenUpload(testkit::UiDriver& d, const std::wstring& path) {
    d.Do("open upload", [path] { WindowManager::Instance()->ShowUploadFileWnd("c-1", veltrinawnd::Utf16ToUtf8(path), 1); });
    d.WaitFor("up", [] { return Preview() != nullptr; });
  }
  std::filesystem::path folder_ = std::filesystem::temp_directory_path() / L"上传 测试 Zoë";  // Zoë: outside code page 936
};

TEST_F(UploadFeedbackTest, PreviewsThenUploadsTheChosenFileUnderTheEditedName) {
  // A 24-bit BMP, 800 by 200.
  std::string bmp = "BM" + std::string(52, '\0') + std::string(800 * 200 * 3, '\x60');
  const int fields[][3] = {{2, 54 + 800 * 200 * 3, 4}, {10, 54, 4}, {14, 40, 4}, {18, 800, 4}, {22, 200, 4}, {26, 1, 2}, {28, 24, 2}};
  for (const auto& [at, v, n] : fields)
    for (int i = 0; i < n; ++i) bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  const std::wstring wide = Write(L"宽图.bmp", bmp);
  testkit::UiDriver d;
  WaitMain(d);
  // The icon by the extension as written, the default without one, and an unreadable or crafted
  // picture (one that overruns the Huffman tables of unchecked decoders) in a 160 by 160 box;
  // closed by each way out.
  std::ifstream hostile(std::filesystem::path(DuiLib::CPaintManagerUI::GetInstancePath() + L"hostile\\dht_overflow.jpg"),
                        std::ios::binary);
  ASSERT_TRUE(hostile.is_open());
  const std::tuple<std::wstring, std::wstring, const wchar_t*> peeks[] = {
      {Write(L"photo.Png", "x"), L"photo.Png", L"cancel_btn"}, {Write(L"notes", "x"), L"notes", L"close_btn"},
      {Write(L"broken.PNG", "no"), L"", L"cancel_btn"},
      {Write(L"crafted.jpg", std::string(std::istreambuf_iterator<char>(hostile), {})), L"", L"cancel_btn"}};
  for (const auto& [path, icon_of, way_out] : peeks) {
    OpenUpload(d, path);
    d.Pause(200).Do("the preview", [icon_of, way_out] {
      ASSERT_TRUE(DuiLib::CImageCache::Shared().WaitForDecodes());
      std::wstring icon = icon_of.empty() ? L"" : veltrinawnd::FileTypeIcon(icon_of);
      EXPECT_TRUE(Preview()->GetNormalImage() == icon && !Preview()->has_picture());
      EXPECT_EQ(icon_of == L"notes", icon == L"file_type/file_type_default.png");
      EXPECT_TRUE(!icon.empty() || Box() == std::vector<int>({160, 160, 152, 5}));
      EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), way_out));
    });
    d.WaitFor("closed", [] { return !UploadUp(); });
  }
  OpenUpload(d, wide);
  d.WaitFor("the picture, decoded off the UI thread", [] { return Preview()->has_picture(); });
  d.Do("at 160 by 40; the name shown and edited; the current folder moves", [] {
    EXPECT_EQ(Box(), (std::vector<int>{160, 40, 152, 65}));
    EXPECT_EQ(TextIn(Wnd(L"UploadFileWnd"), L"file_name_edit"), L"宽图.bmp");
    Type(Wnd(L"UploadFileWnd"), L"file_name_edit", L"季度 报告.bmp");
    SetCurrentDirectoryW(std::filesystem::temp_directory_path().c_str());
    EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn"));
  });
  d.WaitFor("closed at once, before any answer", [] { return !UploadUp(); });
  Answer(d, "files.upload", [this, bmp](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("file_name") + "|" + r.Param("channel_id") + "|" + r.Param("is_channel"), "季度 报告.bmp|c-1|true");
    EXPECT_TRUE(r.data == bmp) << "the chosen file, read by its full path";
    service_->Fail(r.id, 500, "late and failed");  // the window is gone: nothing of it is touched
  });
  d.Pause(200).Do("no box: the tray icon tells it", [this] { EXPECT_TRUE(shell_.boxes.empty()); });
  Finish(d);
}

// The user has moved on by the time the answer comes: the tray icon tells them, whatever is open.
TEST_F(UploadFeedbackTest, AnUploadThatFailsAfterItsWindowClosedIsToldAtTheTrayIcon) {
  Prime({Channel("c-1", "设计", 1), Channel("c-2", "random", 1)}, {});
  const std::wstring plan = Write(L"方案.txt", "plan"), report = Write(L"周报.txt", std::string(5000, 'w'));
  auto balloons = [this] {
    std::vector<RecordingShell::Icon> shown;
    for (const auto& icon : shell_.icons)
      if (icon.flags == NIF_INFO) shown.push_back(icon);
    return shown;
  };
  auto upload = [this](testkit::UiDriver& d, const std::wstring& path) {
    OpenUpload(d, path);
    d.Do("upload", [] { EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn")); });
    d.WaitFor("closed", [] { return !UploadUp(); });
  };
  testkit::UiDriver d;
  WaitMain(d);
  upload(d, plan);
  d.Do("another conversation opened", [] { EXPECT_TRUE(testkit::ClickControl(Main(), L"channelItem_c-2")); });
  d.WaitFor("open", [] { return WindowManager::Instance()->main_wnd()->open_conversation_id() == "c-2"; });
  Answer(d, "files.upload", [this](const bodies::RecordedRequest& r) { service_->Fail(r.id, 500, "disk full"); });
  d.WaitFor("a balloon", [&] { return balloons().size() == 1; });
  d.Do("the file, where it was going and why", [&] {
    EXPECT_EQ(balloons()[0].title, L"上传文件失败");
    EXPECT_EQ(balloons()[0].info, L"「方案.txt」未能上传到 #设计：服务器未能保存文件（错误 500）。");
    EXPECT_TRUE(shell_.boxes.empty());
  });
  // A file cut short while it is read: nothing goes out, and the user hears why.
  d.Do("a file that shrinks once its size is taken", [report] {
    veltrina::backend::SetBeforeUploadRead([report](const std::string&) {
      HANDLE f = CreateFileW(report.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
      LARGE_INTEGER half{.QuadPart = 2500};
      EXPECT_TRUE(SetFilePointerEx(f, half, nullptr, FILE_BEGIN) && SetEndOfFile(f));
      CloseHandle(f);
    });
  });
  upload(d, report);
  d.WaitFor("a second balloon", [&] { return balloons().size() == 2; });
  d.Do("it says the file changed", [&] {
    EXPECT_EQ(balloons()[1].info, L"「周报.txt」未能上传到 #设计：文件在读取时被改动，请等它保存完再上传。");
    EXPECT_TRUE(shell_.boxes.empty());
    veltrina::backend::SetBeforeUploadRead(nullptr);
  });
  // One more still on its way when the main window goes: its failure reaches nobody, harmlessly.
  upload(d, plan);
  Take(d, "files.upload");
  Finish(d);
  veltrina::backend::SetBeforeUploadRead(nullptr);
  auto late = service_->Requests("files.upload");
  ASSERT_EQ(late.size(), 2u);
  service_->Fail(late[1].id, 500, "disk full");
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  EXPECT_EQ(balloons().size(), 2u);
}

TEST_F(UploadFeedbackTest, FilesThatCannotBeUploadedGetAMessageAndFeedbackIsSentOnceNotEmptyAndWithinItsLimit) {
  auto save = [](testkit::UiDriver& d) { d.Do("save", [] { EXPECT_TRUE(testkit::ClickControl(Wnd(L"FeedbackWnd"), L"save_btn")); }).Pause(150); };
  const std::wstring large = Write(L"huge.bin", ""), gone = Write(L"gone.txt", "x"), locked = Write(L"locked.txt", "x");
  HANDLE hold = CreateFileW(large.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);  // nobody may even open it
  LARGE_INTEGER size{};
  size.QuadPart = static_cast<LONGLONG>(veltrina::HttpClient::kMaxUploadBytes) + 1;
  ASSERT_TRUE(SetFilePointerEx(hold, size, nullptr, FILE_BEGIN) && SetEndOfFile(hold));
  testkit::UiDriver d;
  WaitMain(d);
  const std::tuple<std::wstring, std::function<void()>, std::wstring> cases[] = {
      {large, [] {}, L"100 MB"},  // judged by its size: it could not have been read
      {gone, [&] { CloseHandle(hold); DeleteFileW(gone.c_str()); }, L"不存在"},
      {locked, [&] { hold = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); }, L"无法读取"}};
  for (const auto& [path, before, says] : cases) {
    OpenUpload(d, path);
    d.Do("upload", [&before] {
      before();
      EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn"));
    });
    d.WaitFor("closed after the message", [] { return !UploadUp(); });
    d.Do("the message", [this, says] {
      ASSERT_EQ(shell_.boxes.size(), 1u);
      EXPECT_NE(shell_.boxes[0].find(says), std::wstring::npos) << veltrinawnd::Utf16ToUtf8(shell_.boxes[0]);
      shell_.boxes.clear();
    });
  }
  d.Do("open feedback", [] { WindowManager::Instance()->ShowFeedbackWnd(); }).WaitFor("up", [] { return Wnd(L"FeedbackWnd"); });
  save(d);
  d.Do("empty: the edit gets the focus, nothing is sent; paste 100 KB", [this] {
    HWND w = Wnd(L"FeedbackWnd");
    EXPECT_EQ(testkit::ManagerOf(w)->GetFocus(), In(w, L"feedback_edit"));
    EXPECT_EQ(service_->CountRequests("web.feedback"), 0u);
    std::wstring log;
    while (log.size() < 100 * 1024) log += L"2026-12-06 21:30:12 连接断开，正在重试……\r\n";
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (log.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), log.c_str(), (log.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard(), SetClipboardData(CF_UNICODETEXT, block), CloseClipboard();
    SendMessageW(In(w, L"feedback_edit")->GetNativeWindow(), WM_PASTE, 0, 0);
  });
  save(d);
  d.Do("a message naming the limit, nothing sent", [this] {
    ASSERT_EQ(shell_.boxes.size(), 1u);
    EXPECT_NE(shell_.boxes[0].find(L"4000"), std::wstring::npos);
    EXPECT_EQ(service_->CountRequests("web.feedback"), 0u);
    Type(Wnd(L"FeedbackWnd"), L"feedback_edit", std::wstring(4001, L' '));
  });
  save(d);
  d.Do("one over the limit is refused too; exactly the limit goes", [this] {
    EXPECT_EQ(shell_.boxes.size(), 2u);
    EXPECT_EQ(service_->CountRequests("web.feedback"), 0u);
    Type(Wnd(L"FeedbackWnd"), L"feedback_edit", std::wstring(4000, L' '));
  });
  save(d);
  d.WaitFor("spaces are sent, and the window closes before any answer", [] { return !WindowManager::Instance()->feedback_wnd(); });
  Answer(d, "web.feedback", [this](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("description") + "|" + r.Param("title") + "|" + r.Param("client_version"),
              std::string(4000, ' ') + "|Windows Feedback|1.0.0");
    service_->Succeed(r.id);
  });
  Finish(d);
  CloseHandle(hold);
  EXPECT_TRUE(service_->CountRequests("files.upload") == 0 && service_->CountRequests("web.feedback") == 1);
}
