// The file browser and the file details over it, from the main window's "文件" button: pages, filters and their
// caches, rows by kind, downloads, details, comments, and answers that arrive after their window went.
#include <ctime>

#include "dialogs/file_details_wnd.h"
#include "duilib/UIMarkupText.h"
#include "dialogs/file_rows.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main_fixture.h"

namespace bodies = veltrina::backend;
using veltrina::Entity;
using veltrinawnd::WindowManager;

namespace {
constexpr int64_t kNoon = 1704110400;  // 2024-01-01 12:00 UTC
const std::string kTyped = "{c #FF0000}红{/c} <@u-a> 看 [https://a.demo/r|这里] :smile:";
HWND Browser() { return testkit::FindVisibleWindow(L"ViewFilesWnd"); }
HWND Details() { return testkit::FindVisibleWindow(L"FileDetailsWnd"); }
DuiLib::CListUI* List(HWND w, const wchar_t* name = L"file_list") { return testkit::FindControlAs<DuiLib::CListUI>(w, name); }
// Row parts: {0, 0, 0} thumbnail, {0, 1, 0} by-line, {0, 1, 1} title, {0, 1, 2} download.
DuiLib::CControlUI* Row(int i) { return List(Browser())->GetItemAt(i); }
std::wstring Image(DuiLib::CControlUI* c) { return static_cast<DuiLib::CButtonUI*>(c)->GetNormalImage(); }
// A real click at the centre of the row.
void ClickRow(int i) {
  testkit::ManagerOf(Browser())->UpdateLayout();
  RECT rc = Row(i)->GetPos();
  LPARAM pt = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}) PostMessageW(Browser(), message, message == WM_LBUTTONDOWN, pt);
}
std::wstring When(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", std::localtime(&t));
  return veltrinawnd::Utf8ToUtf16(text);
}
Entity File(const std::string& id, int type, const std::string& title, const std::string& uid = "u-a", int tw = 0, int th = 0,
            int64_t size = 0) {
  Entity e;
  e.set_entity_id(id), e.set_entity_type(type), e.set_title(title), e.set_path("f/" + id), e.set_file_size(size);
  e.set_file_extension(title.find('.') == std::string::npos ? "" : title.substr(title.rfind('.') + 1));
  e.set_creator_uid(uid), e.set_created_at(kNoon), e.set_thumb_width(tw), e.set_thumb_height(th);
  return e;
}
// A comment's body as a user sees it: each control's kind, text and picture, depth first.
std::wstring Look(DuiLib::CControlUI* c) {
  if (!c) return L"-";
  std::wstring out = c->GetClass() + L"(" + c->GetText();
  if (auto* button = dynamic_cast<DuiLib::CButtonUI*>(c)) out += button->GetNormalImage();
  if (auto* container = dynamic_cast<DuiLib::CContainerUI*>(c))
    for (int i = 0; i < container->GetCount(); ++i) out += Look(container->GetItemAt(i));
  return out + L")";
}
std::vector<Entity> Files(int n, const std::string& prefix, int type = Entity::kFile) {
  std::vector<Entity> out;
  for (int i = 0; i < n; ++i) out.push_back(File(prefix + std::to_string(i), type, prefix + std::to_string(i) + ".txt"));
  return out;
}
}  // namespace

TEST(FileRows, SizeTextAndThumbnailFitWithoutOverflow) {
  EXPECT_EQ(veltrinawnd::FileSizeText(-5) + veltrinawnd::FileSizeText(1023) + veltrinawnd::FileSizeText(5242880), L" -5Bytes 1023Bytes 5.0MB");
  SIZE unknown = veltrinawnd::FitThumbnail(0, 300, 300, 177), huge = veltrinawnd::FitThumbnail(2000000000, 1999999999, 300, 177);
  EXPECT_EQ(std::vector<LONG>({unknown.cx, unknown.cy, huge.cx, huge.cy}), std::vector<LONG>({300, 177, 300, 299}));
}

class FileBrowserTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    Prime({Channel("c-1", "general", 1, true)}, {});
  }
  static void OpenBrowser(testkit::UiDriver& d) {
    Click(d, L"MainWindow", L"file_btn");
    d.WaitFor("the browser", [] { return Browser(); });
  }
  static void Tab(testkit::UiDriver& d, const wchar_t* name) {
    d.Do("click", [name] { EXPECT_TRUE(testkit::ClickControl(Browser(), name)); });
  }
  // Scrolls to the end of the list, as a user does, and clicks the button there.
  static void LoadMore(testkit::UiDriver& d) {
    d.Do("scroll down", [] { List(Browser())->EnsureVisible(List(Browser())->GetCount() - 1); });
    Tab(d, L"load_more");
  }
  // Answers the next page request, checking what it asks for.
  void Page(testkit::UiDriver& d, int type, int page, std::vector<Entity> entities, bool ok = true) {
    auto svc = service_;
    Answer(d, "entities.list", [svc, type, page, entities, ok](const bodies::RecordedRequest& r) {
      EXPECT_EQ(r.Param("channel_id") + r.Param("channel_type") + "/" + r.Param("entity_type") + r.Param("keyword") + "/" +
                    r.Param("page") + "/" + r.Param("page_size"),
                "c-11/" + std::to_string(type) + "/" + std::to_string(page) + "/20");
      if (ok) svc->Succeed(r.id, bodies::EntitiesBody(entities, 100));
      else svc->Fail(r.id, 500, "no");
    });
    d.Pause(60);
  }
  static void Rows(testkit::UiDriver& d, int rows, bool more) {
    d.WaitFor(std::to_string(rows) + " rows", [rows, more] {
      auto* list = List(Browser());
      int n = list ? list->GetCount() : -1;
      return n == rows + more && (n > 0 && list->GetItemAt(n - 1)->GetName() == L"load_more") == more;
    });
  }
};

TEST_F(FileBrowserTest, PagesFiltersCachesRowsAndDownloads) {
  DeleteFileW(veltrinawnd::image_cache::LocalPath("f/wide.png").c_str());
  std::vector<Entity> first = {File("plain", Entity::kFile, "report.final.pdf"), File("wide", Entity::kImage, "wide.png", "u-b", 200, 100),
                               File("doc", Entity::kDocument, "纪要"), File("noext", Entity::kFile, "README", "u-ghost")};
  for (const Entity& e : Files(16, "p")) first.push_back(e);
  testkit::UiDriver d;
  OpenBrowser(d);
  Page(d, 0, 1, first);
  Rows(d, 20, true);
  d.Do("placed along the main window's right edge, rows by kind", [] {
    RECT main{}, rc{};
    GetWindowRect(Main(), &main);
    GetWindowRect(Browser(), &rc);
    main.left = main.right - 320;
    EXPECT_TRUE(EqualRect(&rc, &main) && GetWindow(Browser(), GW_OWNER) == Main());
    EXPECT_EQ(Image(At(Row(0), {0, 0, 0})), L"file_type/file_type_pdf.png");
    EXPECT_EQ(At(Row(0), {0, 1, 0})->GetText() + L"|" + At(Row(0), {0, 1, 1})->GetText(), L"安娜  " + When(kNoon) + L"|report.final.pdf");
    EXPECT_EQ(At(Row(0), {0, 1, 2})->GetUserData(), L"https://files.veltrina.demo/f/plain.pdf");
    DuiLib::CControlUI* wide = At(Row(1), {0, 0, 0});
    EXPECT_EQ(std::vector<int>({wide->GetFixedWidth(), wide->GetFixedHeight(), static_cast<int>(wide->GetPadding().top)}),
              std::vector<int>({68, 34, 17}));
    EXPECT_EQ(Image(wide), veltrinawnd::image_cache::LocalPath("f/wide.png"));
    EXPECT_FALSE(At(Row(2), {0, 1, 2})->IsVisible());  // a document has nothing to download
    EXPECT_EQ(At(Row(3), {0, 1, 0})->GetText(), When(kNoon));  // a sharer the cache does not know
    EXPECT_EQ(Row(20)->GetText(), L"加载更多");
  });
  auto svc = service_;
  d.WaitFor("the thumbnail asked at its display size", [svc] {
    for (const auto& r : svc->Requests("http.get"))
      if (r.Param("url") == "https://files.veltrina.demo/thumb/f/wide_68x34.png") return true;
    return false;
  });
  LoadMore(d);
  d.WaitFor("the button went at once", [] { return List(Browser())->GetCount() == 20; });
  Page(d, 0, 2, Files(19, "q"));
  Rows(d, 39, false);
  // A tab's first page is asked once, then served from its cache (type -1: no request); a short last page ends it;
  // a failed one keeps the button and is asked again.
  struct Step { const wchar_t* click; int type, page, files; bool ok; int rows; bool more; };
  for (const Step& s : {Step{L"image_file_btn", 5, 1, 20, true, 20, true}, Step{L"all_file_btn", -1, 0, 0, true, 39, false},
                        Step{L"image_file_btn", -1, 0, 0, true, 20, true}, Step{L"load_more", 5, 2, 0, false, 20, true},
                        Step{L"load_more", 5, 2, 5, true, 25, false},
                        Step{L"document_file_btn", 7, 1, 0, false, 0, false}, Step{L"all_file_btn", -1, 0, 0, true, 39, false}}) {
    if (std::wstring(s.click) == L"load_more") LoadMore(d);
    else Tab(d, s.click);
    if (s.type >= 0) Page(d, s.type, s.page, Files(s.files, std::to_string(s.type) + "-" + std::to_string(s.page)), s.ok);
    Rows(d, s.rows, s.more);
  }
  Tab(d, L"download_file");
  d.Pause(100).Do("only web addresses open; served filters were asked once", [this] {
    EXPECT_EQ(shell_.opened, std::vector<std::wstring>{L"https://files.veltrina.demo/f/plain.pdf"});
    EXPECT_EQ(Details(), nullptr);  // the button is not the row
    EXPECT_EQ(service_->CountRequests("entities.list"), 6u);
    for (const wchar_t* link : {L"a|b|file:///C:/windows/win.ini", L"a|b|javascript:alert(1)", L"a|b", L"a|b|https://x.demo/y|z"}) {
      In(Browser(), L"window_title")->SetText(link);
      testkit::NotifyControl(Browser(), L"window_title", L"link");
    }
    EXPECT_EQ(shell_.opened.size(), 2u);
    EXPECT_EQ(shell_.opened.back(), L"https://x.demo/y");
  });
  Tab(d, L"close_btn");
  d.WaitFor("closed", [] { return !Browser() && !WindowManager::Instance()->view_files_wnd(); });
  Finish(d);
}

TEST_F(FileBrowserTest, DetailsCommentsAndAnswersAfterTheirWindowWent) {
  service_->AutoAnswer("http.get", nullptr);  // downloads wait
  for (const char* name : {"f/img.png", "-/img.png"}) DeleteFileW(veltrinawnd::image_cache::LocalPath(name).c_str());
  Entity image = File("img", Entity::kImage, "shot.png", "u-a", 600, 300, 1536);
  Entity doc = File("doc", Entity::kDocument, "纪要", "u-a", 0, 0, 4096);
  doc.set_content("第一行\n第二行");
  testkit::UiDriver d;
  OpenBrowser(d);
  Page(d, 0, 1, {image, doc});
  Rows(d, 2, false);
  auto svc = service_;
  auto open = [&](int row, const Entity& e) {
    d.Do("click a row", [row] { ClickRow(row); });
    d.WaitFor("the details", [] { return Details() != nullptr; });
    Answer(d, "entities.get", [svc, e](const auto& r) { svc->Succeed(r.id, bodies::EntityBody(e)); });
    d.WaitFor("filled", [] { return TextIn(Details(), L"file_name_label") != L""; });
  };
  open(0, image);
  d.Do("an image; empty and blank comments are not sent", [] {
    HWND w = Details();
    EXPECT_EQ(GetWindow(w, GW_OWNER), Browser());
    EXPECT_EQ(TextIn(w, L"author_label") + L"|" + TextIn(w, L"create_time_label") + L"|" + TextIn(w, L"file_name_label") + L"|" +
                  TextIn(w, L"file_size_label"), L"安娜|" + When(kNoon) + L"|shot.png| 1.5KB    PNG文件");
    DuiLib::CControlUI* preview = In(w, L"entity_preview_image");
    EXPECT_EQ(std::vector<int>({preview->GetFixedWidth(), preview->GetFixedHeight()}), std::vector<int>({300, 150}));
    EXPECT_EQ(Image(preview), veltrinawnd::image_cache::LocalPath("-/img.png"));
    testkit::ClickControl(w, L"download_btn");
    testkit::ClickControl(w, L"send_comment_btn");
    testkit::SetControlText(w, L"comment_edit", L" \n ");
    testkit::ClickControl(w, L"send_comment_btn");
  });
  d.Pause(100).Do("type a comment", [this] {
    EXPECT_EQ(service_->CountRequests("entities.comment"), 0u);
    EXPECT_EQ(shell_.opened, std::vector<std::wstring>{L"https://files.veltrina.demo/f/img.png"});
    testkit::SetControlText(Details(), L"comment_edit", veltrinawnd::Utf8ToUtf16(kTyped));
    testkit::ClickControl(Details(), L"send_comment_btn");
  });
  auto now = std::make_shared<int64_t>();
  Answer(d, "entities.comment", [svc, now](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("entity_id") + "|" + r.Param("content"), "img|" + kTyped);
    EXPECT_EQ(TextIn(Details(), L"comment_edit"), L"");
    *now = std::time(nullptr);
    veltrina::Comment posted;
    posted.set_content(kTyped), svc->Succeed(r.id, bodies::CommentBody(posted));
  });
  d.WaitFor("the new row", [] { return TextIn(Details(), L"comment_number_label") == L"1"; });
  auto posted_look = std::make_shared<std::wstring>();
  d.Do("shown as a message: no forged colour", [posted_look] {
    DuiLib::CControlUI* body = At(List(Details(), L"comment_list")->GetItemAt(0), {0, 1, 1});
    *posted_look = Look(body);
    ASSERT_TRUE(At(body, {0}) && At(body, {1})) << veltrinawnd::Utf16ToUtf8(*posted_look);
    EXPECT_EQ(Image(At(body, {0})), L"emoji/emoji_1f604.png");
    std::vector<std::wstring> links;
    for (const DuiLib::MarkupToken& token : DuiLib::ParseMarkup(At(body, {1})->GetText())) {
      EXPECT_NE(token.kind, DuiLib::MarkupToken::ColorOpen);
      if (token.kind == DuiLib::MarkupToken::LinkOpen) links.push_back(token.text);
    }
    EXPECT_EQ(links, (std::vector<std::wstring>{L"x=|user|u-a|", L"x=|link|https://a.demo/r|"}));
    EXPECT_EQ(DuiLib::MarkupToPlainText(At(body, {1})->GetText()), L"{c #FF0000}红{/c} @安娜 看 这里 ");
  });
  d.Do("by the signed-in user, now; then 100 KB", [now] {
    HWND w = Details();
    std::wstring by = At(List(w, L"comment_list")->GetItemAt(0), {0, 1, 0})->GetText();
    EXPECT_TRUE(by == L"me  " + When(*now) || by == L"me  " + When(*now + 60)) << veltrinawnd::Utf16ToUtf8(by);
    testkit::SetControlText(w, L"comment_edit", std::wstring(100 * 1024, L'x'));
    testkit::ClickControl(w, L"send_comment_btn");
  });
  Answer(d, "entities.comment", [svc](const bodies::RecordedRequest& r) {
    EXPECT_EQ(r.Param("content"), std::string(veltrinawnd::kMaxCommentLength, 'x'));
    svc->Fail(r.id, 500, "no");
  });
  d.WaitFor("the text back in the box", [] { return TextIn(Details(), L"comment_edit").size() == 4000u; });
  d.Do("count unchanged; close", [] {
    EXPECT_EQ(TextIn(Details(), L"comment_number_label"), L"1");
    WindowManager::Instance()->CloseFileDetailsWnd();
  });
  d.WaitFor("details closed", [] { return !Details() && Browser(); });
  // Reopened, the same comment from the service looks the same.
  veltrina::Comment loaded;
  loaded.set_content(kTyped), loaded.set_creator_uid("u-me"), loaded.set_created_at(kNoon);
  image.set_comments({loaded});
  open(0, image);  // its preview download waits: every answer below arrives after its window went
  d.Do("as posted", [posted_look] {
    EXPECT_EQ(Look(At(List(Details(), L"comment_list")->GetItemAt(0), {0, 1, 1})), *posted_look);
  });
  d.Do("comment, then close", [] {
    testkit::SetControlText(Details(), L"comment_edit", L"late"), testkit::ClickControl(Details(), L"send_comment_btn");
  });
  d.WaitFor("posted", [svc] { return svc->CountRequests("entities.comment") == 3; });
  d.Do("close", [] { WindowManager::Instance()->CloseFileDetailsWnd(); });
  d.WaitFor("closed", [] { return !Details() && !WindowManager::Instance()->file_details_wnd(); });
  d.Do("open another", [] { ClickRow(1); }).WaitFor("the details", [] { return Details(); });
  d.Do("close it before its entity, and the browser", [] {
    WindowManager::Instance()->CloseFileDetailsWnd();
    WindowManager::Instance()->CloseViewFilesWnd();
  });
  d.WaitFor("closed", [] { return !Browser() && !Details() && !WindowManager::Instance()->view_files_wnd(); });
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
  Page(d, 0, 1, {doc});
  Rows(d, 1, false);  // nothing of the late page
  Finish(d);
}
