// The upload and feedback windows as the main window's commands open them: previews, the shared
// name, what reaches the service, and the faults a user can run into.
#include <array>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "app/storage.h"
#include "conversation/cards.h"
#include "dialogs/upload_file_wnd.h"
#include "frame/window_manager.h"
#include "main_fixture.h"
#include "veltrina/http.h"

namespace bodies = veltrina::backend;
using veltrinawnd::WindowManager;

namespace {

HWND Wnd(const wchar_t* cls) { return testkit::FindVisibleWindow(cls); }
veltrinawnd::UploadPreviewUI* Preview() {
  return testkit::FindControlAs<veltrinawnd::UploadPreviewUI>(Wnd(L"UploadFileWnd"), L"preview_file");
}
// Width, height, left and top padding of the preview.
std::array<int, 4> Box() {
  return {Preview()->GetFixedWidth(), Preview()->GetFixedHeight(), static_cast<int>(Preview()->GetPadding().left),
          static_cast<int>(Preview()->GetPadding().top)};
}
bool UploadUp() { return WindowManager::Instance()->upload_file_wnd() != nullptr; }
bool FeedbackUp() { return WindowManager::Instance()->feedback_wnd() != nullptr; }
void Type(HWND wnd, const wchar_t* box, const std::wstring& text) {
  auto* edit = testkit::FindControl(wnd, box);
  ASSERT_TRUE(edit && edit->GetNativeWindow());
  SetWindowTextW(edit->GetNativeWindow(), text.c_str());
}
// As a user pastes: through the clipboard, into the focused box.
void Paste(HWND wnd, const wchar_t* box, const std::wstring& text) {
  HWND native = testkit::FindControl(wnd, box)->GetNativeWindow();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(block);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  SendMessageW(native, WM_PASTE, 0, 0);
}

// A 24-bit BMP, w by h (w a multiple of 4, so rows need no padding).
std::string Bmp(uint32_t w, uint32_t h) {
  std::string d = "BM" + std::string(52, '\0') + std::string(w * h * 3, '\x60');
  const uint32_t fields[][3] = {{2, 54 + w * h * 3, 4}, {10, 54, 4}, {14, 40, 4}, {18, w, 4},
                                {22, h, 4},             {26, 1, 2},  {28, 24, 2}};
  for (const auto& [at, v, n] : fields)
    for (uint32_t i = 0; i < n; ++i) d[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return d;
}

class UploadFeedbackTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    folder_ = std::filesystem::temp_directory_path() / L"上传 测试";
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    SetCurrentDirectoryW(std::filesystem::temp_directory_path().c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    MainTest::TearDown();
  }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    std::filesystem::path p = folder_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.wstring();
  }
  // Opens the upload window from inside the driver, as the main window's file command does.
  void OpenUpload(testkit::UiDriver& d, const std::wstring& path) {
    d.Do("open upload", [path] { WindowManager::Instance()->ShowUploadFileWnd("c-1", veltrinawnd::WideToAnsi(path), 1); });
  }
  void ExpectBox(testkit::UiDriver& d, const std::wstring& says) {
    d.WaitFor("closed after the message", [] { return !UploadUp(); });
    d.Do("the message", [this, says] {
      ASSERT_EQ(shell_.boxes.size(), 1u);
      EXPECT_NE(shell_.boxes[0].find(says), std::wstring::npos) << veltrinawnd::Utf16ToUtf8(shell_.boxes[0]);
      shell_.boxes.clear();
    });
  }
  std::filesystem::path folder_;
};

}  // namespace

TEST_F(UploadFeedbackTest, PreviewsThenUploadsTheChosenFileUnderTheEditedName) {
  const std::string wide_bytes = Bmp(800, 200);
  const std::wstring wide = Write(L"宽图.bmp", wide_bytes);
  const std::wstring mixed = Write(L"photo.Png", "x"), bare = Write(L"notes", "x"), broken = Write(L"broken.PNG", "no");
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  // Each preview kind: the icon by the extension as written, the default without one, and an
  // unreadable picture in a 160 by 160 box (padding 152, 5); closed by each way out.
  const std::tuple<std::wstring, std::wstring, const wchar_t*> peeks[] = {
      {mixed, L"photo.Png", L"cancel_btn"}, {bare, L"notes", L"close_btn"}, {broken, L"", L"cancel_btn"}};
  for (const auto& [path, icon_of, way_out] : peeks) {
    OpenUpload(d, path);
    d.WaitFor("up", [] { return Preview() != nullptr; }).Pause(200);
    d.Do("the preview", [icon_of, way_out] {
      std::wstring icon = icon_of.empty() ? L"" : veltrinawnd::FileTypeIcon(icon_of);
      EXPECT_EQ(Preview()->GetNormalImage(), icon);
      EXPECT_EQ(icon_of == L"notes", icon == L"file_type/file_type_default.png");
      EXPECT_FALSE(Preview()->has_picture());
      if (icon.empty()) {
        EXPECT_EQ(Box(), (std::array{160, 160, 152, 5}));
      }
      EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), way_out));
    });
    d.WaitFor("closed", [] { return !UploadUp(); });
  }
  OpenUpload(d, wide);
  d.WaitFor("the picture, decoded off the UI thread", [] { return Preview() && Preview()->has_picture(); });
  d.Do("800 by 200 previews at 160 by 40; the name is shown; the current folder moves", [this] {
    EXPECT_EQ(Box(), (std::array{160, 40, 152, 65}));
    EXPECT_EQ(testkit::FindControl(Wnd(L"UploadFileWnd"), L"file_name_edit")->GetText(), L"宽图.bmp");
    Type(Wnd(L"UploadFileWnd"), L"file_name_edit", L"季度 报告.bmp");
    SetCurrentDirectoryW(std::filesystem::temp_directory_path().c_str());
    EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn"));
  });
  d.WaitFor("closed at once, before any answer", [] { return !UploadUp(); });
  Answer(d, "files.upload", [this, wide_bytes](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("file_name"), "季度 报告.bmp");
    EXPECT_EQ(r.Param("channel_id"), "c-1");
    EXPECT_EQ(r.Param("is_channel"), "true");
    EXPECT_TRUE(r.data == wide_bytes) << "the chosen file, read by its full path";
    service_->Fail(r.id, 500, "late and failed");  // the window is gone: nothing to touch
  });
  d.Pause(200).Do("nothing shown; leave", [this] {
    EXPECT_TRUE(shell_.boxes.empty());
    EXPECT_EQ(testkit::CountVisibleWindows(L"UploadFileWnd"), 0);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(UploadFeedbackTest, FilesThatCannotBeUploadedGetAClearMessageAndNothingIsSent) {
  const std::wstring large = Write(L"huge.bin", ""), gone = Write(L"gone.txt", "x"), locked = Write(L"locked.txt", "x");
  HANDLE hold = INVALID_HANDLE_VALUE;
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("a file one byte over the limit, that nobody may even open", [&] {
    hold = CreateFileW(large.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size{};
    size.QuadPart = static_cast<LONGLONG>(veltrina::HttpClient::kMaxUploadBytes) + 1;
    ASSERT_TRUE(SetFilePointerEx(hold, size, nullptr, FILE_BEGIN) && SetEndOfFile(hold));
  });
  OpenUpload(d, large);
  d.Do("upload", [] { EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn")); });
  ExpectBox(d, L"100 MB");  // judged by its size: it could not have been read
  d.Do("release it", [&] { CloseHandle(hold); });
  OpenUpload(d, gone);
  d.Do("the file disappears, then upload", [gone] {
    DeleteFileW(gone.c_str());
    EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn"));
  });
  ExpectBox(d, L"不存在");
  OpenUpload(d, locked);
  d.Do("another program locks it, then upload", [&] {
    hold = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(testkit::ClickControl(Wnd(L"UploadFileWnd"), L"upload_btn"));
  });
  ExpectBox(d, L"无法读取");
  d.Do("nothing was sent; leave", [&] {
    CloseHandle(hold);
    EXPECT_EQ(service_->CountRequests("files.upload"), 0u);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(UploadFeedbackTest, FeedbackIsSentOnceNotEmptyAndWithinItsLimitThenClosesAtOnce) {
  auto click_save = [](testkit::UiDriver& d) {
    d.Do("save", [] { EXPECT_TRUE(testkit::ClickControl(Wnd(L"FeedbackWnd"), L"save_btn")); }).Pause(150);
  };
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  d.Do("open feedback", [] { WindowManager::Instance()->ShowFeedbackWnd(); });
  d.WaitFor("up", [] { return Wnd(L"FeedbackWnd") != nullptr; });
  click_save(d);
  d.Do("empty: the edit gets the focus, nothing is sent", [this] {
    EXPECT_TRUE(FeedbackUp());
    EXPECT_EQ(testkit::ManagerOf(Wnd(L"FeedbackWnd"))->GetFocus(), testkit::FindControl(Wnd(L"FeedbackWnd"), L"feedback_edit"));
    EXPECT_EQ(service_->CountRequests("web.feedback"), 0u);
    std::wstring log;
    while (log.size() < 100 * 1024) log += L"2026-12-06 21:30:12 连接断开，正在重试……\r\n";
    Paste(Wnd(L"FeedbackWnd"), L"feedback_edit", log);
  });
  click_save(d);
  d.Do("100 KB: a message naming the limit, nothing sent", [this] {
    ASSERT_EQ(shell_.boxes.size(), 1u);
    EXPECT_NE(shell_.boxes[0].find(L"4000"), std::wstring::npos);
    EXPECT_TRUE(FeedbackUp());
    EXPECT_EQ(service_->CountRequests("web.feedback"), 0u);
    Type(Wnd(L"FeedbackWnd"), L"feedback_edit", L"   ");
  });
  click_save(d);
  d.WaitFor("spaces are sent, and the window closes before any answer", [] { return !FeedbackUp(); });
  Answer(d, "web.feedback", [this](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("description"), "   ");
    EXPECT_EQ(r.Param("title"), "Windows Feedback");
    EXPECT_EQ(r.Param("client_version"), "1.0.0");
    EXPECT_EQ(r.Param("web_api_version"), "1");
    service_->Succeed(r.id);
  });
  d.Do("sent once; leave", [this] {
    EXPECT_EQ(service_->CountRequests("web.feedback"), 1u);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}
