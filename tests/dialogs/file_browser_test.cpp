// The file browser and the file details over it, from the main window's "文件" button: pages,
// filters and their caches, rows by kind, downloads, details by kind, comments, and answers
// that arrive after their window went.
#include <ctime>
#include <initializer_list>

#include "app/storage.h"
#include "dialogs/file_details_wnd.h"
#include "dialogs/file_rows.h"
#include "dialogs/view_files_wnd.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main_fixture.h"
#include "message_box.h"

namespace bodies = veltrina::backend;
using veltrina::Entity;
using veltrinawnd::WindowManager;

namespace {

constexpr int64_t kNoon = 1704110400;  // 2024-01-01 12:00 UTC

HWND Browser() { return testkit::FindVisibleWindow(L"ViewFilesWnd"); }
HWND Details() { return testkit::FindVisibleWindow(L"FileDetailsWnd"); }
DuiLib::CControlUI* In(HWND w, const wchar_t* name) { return testkit::FindControl(w, name); }
std::wstring TextIn(HWND w, const wchar_t* name) { return In(w, name) ? In(w, name)->GetText() : L"<missing>"; }
DuiLib::CListUI* List(HWND w, const wchar_t* name = L"file_list") { return testkit::FindControlAs<DuiLib::CListUI>(w, name); }
DuiLib::CControlUI* At(DuiLib::CControlUI* c, std::initializer_list<int> path) {
  for (int i : path) {
    auto* container = dynamic_cast<DuiLib::CContainerUI*>(c);
    c = container && i < container->GetCount() ? container->GetItemAt(i) : nullptr;
  }
  return c;
}
// Row parts: {0, 0, 0} thumbnail, {0, 1, 0} by-line, {0, 1, 1} title, {0, 1, 2} download.
DuiLib::CButtonUI* Button(DuiLib::CControlUI* c) { return dynamic_cast<DuiLib::CButtonUI*>(c); }
DuiLib::CControlUI* Row(int i) { return List(Browser())->GetItemAt(i); }
bool EndsWithLoadMore() {
  auto* list = List(Browser());
  return list && list->GetCount() > 0 && list->GetItemAt(list->GetCount() - 1)->GetName() == L"load_more";
}
std::wstring When(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", std::localtime(&t));
  return veltrinawnd::Utf8ToUtf16(text);
}
// A real click at the centre of a control that has no name (a list row).
void ClickAt(HWND w, DuiLib::CControlUI* c) {
  testkit::ManagerOf(w)->UpdateLayout();
  RECT rc = c->GetPos();
  LPARAM pt = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  PostMessageW(w, WM_MOUSEMOVE, 0, pt);
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, pt);
  PostMessageW(w, WM_LBUTTONUP, 0, pt);
}

Entity File(const std::string& id, int type, const std::string& title, const std::string& uid = "u-a", int tw = 0,
            int th = 0, int64_t size = 0) {
  Entity e;
  e.set_entity_id(id);
  e.set_entity_type(type);
  e.set_title(title);
  e.set_path("f/" + id);
  e.set_file_extension(title.find('.') == std::string::npos ? "" : title.substr(title.rfind('.') + 1));
  e.set_file_size(size);
  e.set_creator_uid(uid);
  e.set_created_at(kNoon);
  e.set_thumb_width(tw);
  e.set_thumb_height(th);
  return e;
}
std::vector<Entity> Files(int n, const std::string& prefix, int type = Entity::kFile) {
  std::vector<Entity> out;
  for (int i = 0; i < n; ++i) out.push_back(File(prefix + std::to_string(i), type, prefix + std::to_string(i) + ".txt"));
  return out;
}

}  // namespace

TEST(FileRows, SizeTextAndThumbnailFit) {
  std::wstring sizes;
  for (int64_t size : {0LL, -5LL, 1023LL, 1024LL, 1536LL, 1048576LL, 5242880LL}) sizes += veltrinawnd::FileSizeText(size);
  EXPECT_EQ(sizes, L" 0Bytes -5Bytes 1023Bytes 1.0KB 1.5KB 1.0MB 5.0MB");
  SIZE square = veltrinawnd::FitThumbnail(50, 50, 300, 177), unknown = veltrinawnd::FitThumbnail(0, 300, 300, 177);
  SIZE huge = veltrinawnd::FitThumbnail(2000000000, 1999999999, 300, 177);  // no overflow
  EXPECT_EQ(std::vector<LONG>({square.cx, square.cy, unknown.cx, unknown.cy, huge.cx, huge.cy}),
            std::vector<LONG>({177, 177, 300, 177, 300, 299}));
}

class FileBrowserTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    Prime({Channel("c-1", "general", 1, true)}, {});
  }
  void OpenBrowser(testkit::UiDriver& d) {
    d.OnWindow(L"MainWindow", [](HWND w) { EXPECT_TRUE(testkit::ClickControl(w, L"file_btn")); });
    d.WaitFor("the browser", [] { return Browser() != nullptr; });
  }
  void Click(testkit::UiDriver& d, HWND (*wnd)(), const wchar_t* name) {
    d.Do("click", [wnd, name] { EXPECT_TRUE(testkit::ClickControl(wnd(), name)); });
  }
  // Scrolls to the end of the list, as a user does, and clicks the button there.
  void LoadMore(testkit::UiDriver& d) {
    d.Do("scroll down", [] { List(Browser())->EnsureVisible(List(Browser())->GetCount() - 1); });
    Click(d, Browser, L"load_more");
  }
  // Answers the next page request, checking what it asks for.
  void Page(testkit::UiDriver& d, int type, int page, std::vector<Entity> entities, bool ok = true) {
    auto svc = service_;
    Answer(d, "entities.list", [svc, type, page, entities, ok](const bodies::RecordedRequest& r) {
      EXPECT_EQ(r.Param("channel_id") + r.Param("channel_type") + "/" + r.Param("entity_type") + r.Param("keyword") +
                    "/" + r.Param("page") + "/" + r.Param("page_size"),
                "c-11/" + std::to_string(type) + "/" + std::to_string(page) + "/20");
      if (ok) svc->Succeed(r.id, bodies::EntitiesBody(entities, 100));
      else svc->Fail(r.id, 500, "no");
    });
    d.Pause(60);
  }
  void Rows(testkit::UiDriver& d, int rows, bool more) {
    d.WaitFor(std::to_string(rows) + " rows", [rows, more] {
      return List(Browser()) && List(Browser())->GetCount() == rows + (more ? 1 : 0) && EndsWithLoadMore() == more;
    });
  }
  void Leave(testkit::UiDriver& d) {
    d.Do("close the file windows", [] {
      WindowManager::Instance()->CloseFileDetailsWnd();
      WindowManager::Instance()->CloseViewFilesWnd();
    });
    d.WaitFor("gone", [] { return !Browser() && !Details(); });
    d.Do("leave", [] { WindowManager::Instance()->CloseAll(); });
    RunMain(d);
  }
};

TEST_F(FileBrowserTest, PagesFiltersCachesRowsAndDownloads) {
  DeleteFileW(veltrinawnd::image_cache::LocalPath("f/wide.png").c_str());
  std::vector<Entity> first = {File("plain", Entity::kFile, "report.final.pdf"),
                               File("wide", Entity::kImage, "wide.png", "u-b", 200, 100),
                               File("square", Entity::kImage, "sq.png", "u-b", 50, 50),
                               File("doc", Entity::kDocument, "纪要"), File("snip", Entity::kSnippet, "a.cpp"),
                               File("noext", Entity::kFile, "README", "u-ghost")};
  for (const Entity& e : Files(14, "p")) first.push_back(e);
  testkit::UiDriver d;
  OpenBrowser(d);
  Page(d, 0, 1, first);
  Rows(d, 20, true);
  d.Do("placed over the main window, rows by kind", [] {
    HWND w = Browser();
    RECT main{}, rc{};
    GetWindowRect(Main(), &main);
    GetWindowRect(w, &rc);
    EXPECT_EQ(testkit::WindowTitle(w), L"文件");
    EXPECT_EQ(GetWindow(w, GW_OWNER), Main());
    EXPECT_TRUE(EqualRect(&rc, &(main.left = main.right - 320, main)));
    EXPECT_EQ(Button(At(Row(0), {0, 0, 0}))->GetNormalImage(), L"file_type/file_type_pdf.png");
    EXPECT_EQ(At(Row(0), {0, 1, 0})->GetText(), L"安娜  " + When(kNoon));
    EXPECT_EQ(At(Row(0), {0, 1, 1})->GetText() + At(Row(0), {0, 1, 1})->GetToolTip(), L"report.final.pdfreport.final.pdf");
    EXPECT_EQ(At(Row(0), {0, 1, 2})->GetUserData(), L"https://files.veltrina.demo/f/plain.pdf");
    DuiLib::CControlUI* wide = At(Row(1), {0, 0, 0});
    EXPECT_EQ(std::vector<int>({wide->GetFixedWidth(), wide->GetFixedHeight(), static_cast<int>(wide->GetPadding().top)}),
              std::vector<int>({68, 34, 17}));
    EXPECT_EQ(Button(wide)->GetNormalImage(), veltrinawnd::image_cache::LocalPath("f/wide.png"));
    EXPECT_EQ(At(Row(2), {0, 0, 0})->GetFixedHeight(), 68);
    EXPECT_EQ(Button(At(Row(3), {0, 0, 0}))->GetNormalImage(), L"file_type/file_type_document.png");
    EXPECT_FALSE(At(Row(3), {0, 1, 2})->IsVisible());
    EXPECT_EQ(Button(At(Row(4), {0, 0, 0}))->GetNormalImage(), L"file_type/file_type_snippet.png");
    EXPECT_FALSE(At(Row(4), {0, 1, 2})->IsVisible());
    EXPECT_EQ(Button(At(Row(5), {0, 0, 0}))->GetNormalImage(), L"file_type/file_type_default.png");
    EXPECT_EQ(At(Row(5), {0, 1, 0})->GetText(), When(kNoon));  // a sharer the cache does not know
    EXPECT_EQ(Row(20)->GetText(), L"加载更多");
    EXPECT_EQ(Button(In(w, L"all_file_btn"))->GetTextColor(), 0xFF586573u);
    EXPECT_EQ(Button(In(w, L"image_file_btn"))->GetTextColor(), 0xFFA1A7ADu);
    EXPECT_EQ(In(w, L"all_file_btn_color")->GetFixedHeight(), 2);
    EXPECT_EQ(In(w, L"image_file_btn_color")->GetBkColor(), 0xFFECEFF4u);
  });
  auto svc = service_;
  d.WaitFor("the thumbnail asked at its display size", [svc] {
    for (const auto& r : svc->Requests("http.get"))
      if (r.Param("url") == "https://files.veltrina.demo/thumb/f/wide_68x34.png") return true;
    return false;
  });
  LoadMore(d);
  d.WaitFor("the button went at once", [] { return List(Browser())->GetCount() == 20 && !EndsWithLoadMore(); });
  Page(d, 0, 2, Files(19, "q"));
  Rows(d, 39, false);
  Click(d, Browser, L"image_file_btn");
  d.Do("restyled and emptied", [] {
    EXPECT_EQ(Button(In(Browser(), L"image_file_btn"))->GetTextColor(), 0xFF586573u);
    EXPECT_EQ(In(Browser(), L"image_file_btn_color")->GetBkColor(), 0xFF4BBCB7u);
    EXPECT_EQ(List(Browser())->GetCount(), 0);
  });
  Page(d, 5, 1, Files(20, "i", Entity::kImage));
  Rows(d, 20, true);
  Click(d, Browser, L"all_file_btn");
  Rows(d, 39, false);  // from the cache; its last page was short
  Click(d, Browser, L"image_file_btn");
  Rows(d, 20, true);  // from the cache, the button where a click removes it
  LoadMore(d);
  Page(d, 5, 2, Files(5, "j", Entity::kImage));
  Rows(d, 25, false);
  Click(d, Browser, L"fragment_file_btn");
  Page(d, 8, 1, Files(19, "s", Entity::kSnippet));
  Rows(d, 19, false);
  Click(d, Browser, L"document_file_btn");
  Page(d, 7, 1, {}, false);
  Rows(d, 0, false);
  Click(d, Browser, L"fragment_file_btn");
  Rows(d, 19, false);
  Click(d, Browser, L"fragment_file_btn");  // the current tab
  Click(d, Browser, L"all_file_btn");
  Rows(d, 39, false);
  Click(d, Browser, L"download_file");
  d.Pause(100);
  d.Do("only web addresses open; served filters were asked once", [this] {
    EXPECT_EQ(shell_.opened, std::vector<std::wstring>{L"https://files.veltrina.demo/f/plain.pdf"});
    EXPECT_EQ(Details(), nullptr);  // the button is not the row
    EXPECT_EQ(service_->CountRequests("entities.list"), 6u);
    HWND w = Browser();
    for (const wchar_t* link : {L"a|b|file:///C:/windows/win.ini", L"a|b|javascript:alert(1)", L"a|b", L"a|b|https://x.demo/y|z"}) {
      In(w, L"window_title")->SetText(link);
      testkit::NotifyControl(w, L"window_title", L"link");
    }
    EXPECT_EQ(shell_.opened.size(), 2u);
    EXPECT_EQ(shell_.opened.back(), L"https://x.demo/y");
  });
  Click(d, Browser, L"close_btn");
  d.WaitFor("closed", [] { return !Browser() && !WindowManager::Instance()->view_files_wnd(); });
  Leave(d);
}

TEST_F(FileBrowserTest, DetailsByKindCommentsAndAnswersAfterTheirWindowWent) {
  service_->AutoAnswer("http.get", nullptr);  // downloads wait
  for (const char* name : {"f/img.png", "-/img.png"}) DeleteFileW(veltrinawnd::image_cache::LocalPath(name).c_str());
  Entity image = File("img", Entity::kImage, "shot.png", "u-a", 600, 300, 1536);
  veltrina::Comment c;
  c.set_creator_uid("u-b");
  c.set_content("nice");
  c.set_created_at(kNoon + 60);
  image.add_comment(c);
  Entity doc = File("doc", Entity::kDocument, "纪要", "u-a", 0, 0, 4096);
  doc.set_content("第一行\n第二行");
  Entity plain = File("pdf", Entity::kFile, "report.final.pdf", "u-a", 0, 0, 5242880);
  testkit::UiDriver d;
  OpenBrowser(d);
  Page(d, 0, 1, {image, doc, plain});
  Rows(d, 3, false);
  auto svc = service_;
  auto open = [&](int row, const Entity& e) {
    d.Do("click a row", [row] { ClickAt(Browser(), Row(row)); });
    d.WaitFor("the details", [] { return Details() != nullptr; });
    Answer(d, "entities.get", [svc, e](const bodies::RecordedRequest& r) {
      EXPECT_EQ(r.Param("entity_id"), e.entity_id());
      svc->Succeed(r.id, bodies::EntityBody(e));
    });
    d.WaitFor("filled", [] { return TextIn(Details(), L"file_name_label") != L""; });
  };
  open(0, image);
  d.Do("an image over the browser", [] {
    HWND w = Details();
    RECT browser{}, rc{};
    GetWindowRect(Browser(), &browser);
    GetWindowRect(w, &rc);
    EXPECT_EQ(GetWindow(w, GW_OWNER), Browser());
    EXPECT_TRUE(EqualRect(&browser, &rc));
    EXPECT_EQ(TextIn(w, L"author_label") + L"|" + TextIn(w, L"create_time_label") + L"|" + TextIn(w, L"file_name_label") +
                  L"|" + TextIn(w, L"file_size_label"),
              L"安娜|" + When(kNoon) + L"|shot.png| 1.5KB    PNG文件");
    EXPECT_EQ(Button(In(w, L"file_type_btn"))->GetNormalImage(), L"file_type/file_type_image.png");
    DuiLib::CControlUI* preview = In(w, L"entity_preview_image");
    RECT pad = preview->GetPadding();
    EXPECT_EQ(std::vector<LONG>({preview->GetFixedWidth(), preview->GetFixedHeight(), pad.left, pad.top}),
              std::vector<LONG>({300, 150, 12, 13}));
    EXPECT_EQ(Button(preview)->GetNormalImage(), veltrinawnd::image_cache::LocalPath("-/img.png"));
    EXPECT_TRUE(In(w, L"download_btn")->IsVisible());
    EXPECT_EQ(TextIn(w, L"comment_number_label"), L"1");
    EXPECT_EQ(At(List(w, L"comment_list")->GetItemAt(0), {0, 1, 0})->GetText(), L"Bob  " + When(kNoon + 60));
    EXPECT_EQ(At(List(w, L"comment_list")->GetItemAt(0), {0, 1, 1})->GetText(), L"nice");
    testkit::ClickControl(w, L"download_btn");
    testkit::ClickControl(w, L"send_comment_btn");  // empty
    testkit::SetControlText(w, L"comment_edit", L" \n ");
    testkit::ClickControl(w, L"send_comment_btn");  // blank
  });
  d.Pause(100);
  d.Do("type a comment", [this] {
    EXPECT_EQ(service_->CountRequests("entities.comment"), 0u);
    EXPECT_EQ(shell_.opened, std::vector<std::wstring>{L"https://files.veltrina.demo/f/img.png"});
    testkit::SetControlText(Details(), L"comment_edit", L"好看");
    testkit::ClickControl(Details(), L"send_comment_btn");
  });
  auto now = std::make_shared<int64_t>();
  Answer(d, "entities.comment", [svc, now](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("entity_id"), "img");
    EXPECT_EQ(r.Param("content"), "好看");
    EXPECT_EQ(TextIn(Details(), L"comment_edit"), L"");
    *now = std::time(nullptr);
    veltrina::Comment posted;
    posted.set_content("好看");
    svc->Succeed(r.id, bodies::CommentBody(posted));
  });
  d.WaitFor("the new row", [] { return TextIn(Details(), L"comment_number_label") == L"2"; });
  d.Do("by the signed-in user, now; then 100 KB", [now] {
    HWND w = Details();
    std::wstring by = At(List(w, L"comment_list")->GetItemAt(1), {0, 1, 0})->GetText();
    EXPECT_TRUE(by == L"me  " + When(*now) || by == L"me  " + When(*now + 60)) << veltrinawnd::Utf16ToUtf8(by);
    EXPECT_EQ(At(List(w, L"comment_list")->GetItemAt(1), {0, 1, 1})->GetText(), L"好看");
    testkit::SetControlText(w, L"comment_edit", std::wstring(100 * 1024, L'x'));
    testkit::ClickControl(w, L"send_comment_btn");
  });
  Answer(d, "entities.comment", [svc](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("content"), std::string(veltrinawnd::kMaxCommentLength, 'x'));
    svc->Fail(r.id, 500, "no");
  });
  d.WaitFor("the text back in the box", [] { return TextIn(Details(), L"comment_edit").size() == 4000u; });
  d.Do("count unchanged", [] { EXPECT_EQ(TextIn(Details(), L"comment_number_label"), L"2"); });
  Click(d, Details, L"close_btn");
  d.WaitFor("details closed", [] { return !Details() && Browser(); });
  open(1, doc);
  d.Do("a document: its text, no download, a copy menu", [this] {
    HWND w = Details();
    EXPECT_EQ(TextIn(w, L"file_size_label"), L" 4.0KB    文档");
    EXPECT_EQ(Button(In(w, L"file_type_btn"))->GetNormalImage(), L"file_type/file_type_document.png");
    EXPECT_TRUE(In(w, L"snippet_doc_richedit")->IsVisible());
    EXPECT_EQ(TextIn(w, L"snippet_doc_richedit"), L"第一行\n第二行");
    EXPECT_FALSE(In(w, L"download_btn")->IsVisible());
    EXPECT_EQ(TextIn(w, L"comment_number_label"), L"0");
    shell_.menu_answer = veltrinawnd::kCopyCommand;
    testkit::NotifyControl(w, L"snippet_doc_richedit", L"richedit_click");
    EXPECT_EQ(shell_.menus, 1);
    WindowManager::Instance()->CloseFileDetailsWnd();
  });
  d.WaitFor("details closed", [] { return !Details(); });
  open(2, plain);
  d.Do("a plain file: its type icon", [] {
    HWND w = Details();
    EXPECT_EQ(TextIn(w, L"file_size_label"), L" 5.0MB    PDF文件");
    EXPECT_EQ(Button(In(w, L"entity_preview_icon"))->GetNormalImage(), L"file_type/file_type_pdf.png");
    EXPECT_EQ(Button(In(w, L"file_type_btn"))->GetNormalImage(), L"file_type/file_type_pdf.png");
    EXPECT_EQ(In(w, L"entity_preview_layout")->GetFixedHeight(), 120);
    EXPECT_FALSE(In(w, L"snippet_doc_richedit")->IsVisible());
    WindowManager::Instance()->CloseFileDetailsWnd();
  });
  d.WaitFor("details closed", [] { return !Details(); });
  // Every answer below arrives after its window went: it touches nothing and is freed.
  open(0, image);  // its preview download waits
  d.Do("comment", [] {
    testkit::SetControlText(Details(), L"comment_edit", L"late");
    testkit::ClickControl(Details(), L"send_comment_btn");
  });
  d.WaitFor("posted", [svc] { return svc->CountRequests("entities.comment") == 3; });
  d.Do("close", [] { WindowManager::Instance()->CloseFileDetailsWnd(); });
  d.WaitFor("closed", [] { return !Details() && !WindowManager::Instance()->file_details_wnd(); });
  d.Do("open another", [] { ClickAt(Browser(), Row(1)); });
  d.WaitFor("the details", [] { return Details() != nullptr; });
  d.Do("close before its entity", [] { WindowManager::Instance()->CloseFileDetailsWnd(); });
  d.WaitFor("closed", [] { return !Details(); });
  d.Do("close the browser too", [] { WindowManager::Instance()->CloseViewFilesWnd(); });
  d.WaitFor("closed", [] { return !Browser() && !WindowManager::Instance()->view_files_wnd(); });
  Answer(d, "entities.get", [svc, doc](const auto& r) { svc->Succeed(r.id, bodies::EntityBody(doc)); });
  d.Do("the comment and every image", [svc] {
    svc->Succeed(svc->Requests("entities.comment")[2].id, bodies::CommentBody(veltrina::Comment()));
    for (const auto& r : svc->Requests("http.get"))
      if (!r.answered) svc->Answer(r.id, true, 200, "", "{}", "png");
  });
  OpenBrowser(d);
  d.Do("close with the page on its way", [] { WindowManager::Instance()->CloseViewFilesWnd(); });
  d.WaitFor("closed", [] { return !Browser(); });
  Page(d, 0, 1, Files(20, "late"));
  OpenBrowser(d);
  Page(d, 0, 1, {plain});
  Rows(d, 1, false);  // nothing of the late page
  Leave(d);
}
