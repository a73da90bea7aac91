// Message rows rendered into a real list: headers, emoji strips, cards, heights, hostile or missing card data.
#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <mutex>

#include "app/constants.h"
#include "app/storage.h"
#include "conversation/cards.h"
#include "conversation/markup.h"
#include "conversation/message_view.h"
#include "duilib/UIlib.h"
#include "main/image_cache.h"
#include "main_fixture.h"
#include "veltrina/director.h"
#include "veltrina/log.h"
#include "veltrina/service_manager.h"

using namespace veltrinawnd;
using DuiLib::CButtonUI, DuiLib::CContainerUI, DuiLib::CTextUI;

namespace {

// A window with the conversation view's fonts and a list to render into.
class ViewWnd : public DuiLib::WindowImplBase {
 public:
  DuiLib::CListUI* list() { return dynamic_cast<DuiLib::CListUI*>(m_PaintManager.FindControl(L"chat_display")); }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"RenderTestWnd"; }
  DuiLib::CDuiString GetSkinFolder() override { return L""; }
  DuiLib::CDuiString GetSkinFile() override {
    return L"<Window size=\"700,500\"><Font name=\"微软雅黑\" size=\"13\" default=\"true\"/>"
           L"<Font id=\"0\" name=\"微软雅黑\" size=\"11\"/><Font id=\"1\" name=\"微软雅黑\" size=\"13\"/>"
           L"<List name=\"chat_display\" vscrollbar=\"true\"/></Window>";
  }
};

veltrina::Entity FileEntity(int thumb_width = 0, int thumb_height = 0) {
  veltrina::Entity e;
  e.set_entity_id("e-1"), e.set_title("季度报告 {b}.pdf"), e.set_path("f/e-1"), e.set_file_extension("pdf");
  e.set_thumb_width(thumb_width), e.set_thumb_height(thumb_height), e.set_subject("Q4 <预算>"), e.set_from("finance@veltrina.demo");
  return e;
}

// What the markup shows, and the decoded target of each of its links.
std::wstring Shown(const std::wstring& rich) { return DuiLib::MarkupToPlainText(rich); }
std::vector<std::wstring> Links(const std::wstring& rich) {
  std::vector<std::wstring> out;
  for (const DuiLib::MarkupToken& token : DuiLib::ParseMarkup(rich)) {
    std::wstring value;
    if (token.kind == DuiLib::MarkupToken::LinkOpen) DecodeLink(token.text, &value), out.push_back(value);
  }
  return out;
}

void SetTeamSubdomain(const std::string& subdomain) {
  veltrina::Token token;
  auto* director = new veltrina::Director();
  director->Init(veltrina::User(), veltrina::Team("t-main", subdomain, "主团队"), 0, token, "", "", "", "", "");
  veltrina::Director::ResetDefaultDirector(director);
}

}  // namespace

class RenderTest : public MainTest {
 protected:
  void SetUp() override {
    MainTest::SetUp();
    wnd_ = std::make_unique<ViewWnd>();
    ASSERT_NE(wnd_->Create(nullptr, L"render", WS_POPUP, 0, 0, 0, 700, 500), nullptr);
    context_.display = wnd_->list();
    context_.conversation_id = "c-1";
  }
  void TearDown() override {
    DestroyWindow(wnd_->GetHWND());
    wnd_.reset();
    MainTest::TearDown();
  }
  // The new row's body (the second child of its line), or nullptr when no row was added.
  CContainerUI* Render(const veltrina::Message& m) {
    int before = context_.display->GetCount();
    RenderMessage(context_, m);
    row_ = context_.display->GetCount() == before ? nullptr : context_.display->GetItemAt(before);
    return row_ ? At<CContainerUI>(row_, {0, 1}) : nullptr;
  }
  static veltrina::Message Typed(int type, const std::string& content, const std::string& entity = "") {
    veltrina::Message m = Message("c-1", 1, "u-a", content, 0);
    m.set_message_type(type), m.set_entity_json(entity);
    return m;
  }
  int Height() const { return row_->GetFixedHeight(); }
  std::unique_ptr<ViewWnd> wnd_;
  RenderContext context_;
  DuiLib::CControlUI* row_ = nullptr;
};

TEST_F(RenderTest, HeadersTextsAndEmojiStrips) {
  veltrina::Message odd = Message("c-1", 1, "u-a", "hi", 0);
  odd.set_sender_type(9);
  EXPECT_TRUE(!Render(odd) && !Render(Message("c-1", 1, "u-nobody", "hi", 0)));  // unknown sender
  std::tm local{};
  std::time_t t = 1700000000;
  wchar_t hhmm[8];
  localtime_s(&local, &t), wcsftime(hhmm, 8, L"%H:%M", &local);
  EXPECT_EQ(Render(Message("c-1", 1, "u-a", "hi", t))->GetItemAt(0)->GetText(), std::wstring(L"安娜  {c #DDDDDD}") + hhmm + L"{/c}");
  CContainerUI* body = Render(Typed(2, "whatever"));  // a kind this client does not draw
  EXPECT_EQ(body->GetItemAt(1)->GetText(), kFallbackNotice);
  // The pictures first, then the text without their codes; unknown codes and a clock time stay.
  body = Render(Message("c-1", 1, "u-a", "at 12:30:45 :nosuchcode: :smile:", 0));
  ASSERT_EQ(At<CContainerUI>(body, {1})->GetCount(), 2);
  EXPECT_EQ(At<CButtonUI>(body, {1, 0})->GetNormalImage(), L"emoji/emoji_1f604.png");
  EXPECT_EQ(At(body, {1, 1})->GetText(), L"at 12:30:45 :nosuchcode: ");
  EXPECT_EQ(Height(), At<CTextUI>(body, {1, 1})->EstimateSize(SIZE{570, 9999}).cy + 36);
  // Only the plain text gives up its codes: a link's address and its text stay whole.
  const std::wstring wiki = L"https://en.wikipedia.org/wiki/Category:b:Archive";
  body = Render(Message("c-1", 1, "u-a", ":smile: " + Utf16ToUtf8(wiki), 0));
  ASSERT_EQ(At<CContainerUI>(body, {1})->GetCount(), 2);
  EXPECT_EQ(Links(At(body, {1, 1})->GetText()), std::vector<std::wstring>{wiki});
  EXPECT_EQ(Shown(At(body, {1, 1})->GetText()), L" " + wiki);
}

TEST_F(RenderTest, CardsShowTheirFileSafelyAndMissingDataDrawsNothing) {
  // The skin's icons decide which file types have their own picture.
  DuiLib::CPaintManagerUI::SetResourcePath(GetExecutableFolder() + L"\\..\\Veltrina\\skin");
  const std::wstring file = L"{a x=|link|" + Utf8ToUtf16(kFileBoxHost) + L"/f/e-1.pdf|}";
  auto lines = std::make_shared<std::vector<std::string>>();
  auto lines_mutex = std::make_shared<std::mutex>();
  veltrina::set_log_observer([lines, lines_mutex](const std::string& line) {
    std::lock_guard<std::mutex> lock(*lines_mutex);
    lines->push_back(line);
  });
  veltrina::Entity odd_path = FileEntity(400, 300);
  odd_path.set_path("f/x\nLogin success, my name is : boss");
  Render(Typed(5, "上传了图片: x.png", odd_path.ToJson()));
  CContainerUI* body = Render(Typed(5, "上传了图片: sunset.png", FileEntity(400, 300).ToJson()));
  veltrina::set_log_observer(nullptr);
  const std::string thumb = "Thumb URL is " + kFileBoxHost + "/thumb/f/e-1_80x60.pdf, local path is " +
                            Utf16ToUtf8(image_cache::LocalPath("f/e-1.pdf"));
  EXPECT_EQ(std::count(lines->begin(), lines->end(), thumb), 1);
  for (const std::string& line : *lines) EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_EQ(body->GetItemAt(1)->GetText(), L"创建了: " + file + L" sunset.png{/a}");
  EXPECT_EQ(body->GetItemAt(2)->GetFixedWidth() * 1000 + body->GetItemAt(2)->GetFixedHeight(), 80060);
  for (auto [content, icon] : {std::pair{"上传了文件: report.final.pdf", L"file_type/file_type_pdf.png"},
                               std::pair{"上传了文件: a.png/../../../evil", L"file_type/file_type_default.png"}})
    EXPECT_EQ(At<CButtonUI>(Render(Typed(6, content, FileEntity().ToJson())), {2})->GetNormalImage(), icon) << content;
  // A comment: the file's title (escaped, as all user text) as a link, then the comment.
  body = Render(Typed(22, "第三页 {c #FF0000}要改{/c}", FileEntity().ToJson()));
  EXPECT_EQ(body->GetItemAt(1)->GetText(), L"评论了: " + file + L"季度报告 {{b}}.pdf{/a}\n第三页 {{c #FF0000}}要改{{/c}}");
  const int line = At<CTextUI>(Render(Message("c-1", 1, "u-a", "一行", 0)), {1})->EstimateSize(SIZE{570, 9999}).cy;
  body = Render(Typed(22, "第三页", FileEntity().ToJson()));
  EXPECT_EQ(body->GetItemAt(1)->GetFixedHeight(), 2 * line) << "both lines of the comment are held";
  EXPECT_EQ(Height(), 2 * line + 30);
  std::wstring mail = At(Render(Typed(12, "转发了一封邮件", FileEntity().ToJson())), {2, 1, 0})->GetText();
  EXPECT_NE(mail.find(L"{a x=|link|https://main.veltrina.demo/files/e-1|}Q4 <预算>{/a}"), std::wstring::npos);
  EXPECT_EQ(Shown(mail), L"标题：Q4 <预算>\n来自：finance@veltrina.demo");

  // Names and subjects from outside are text: the card's own link is the only one, wherever they put brackets.
  veltrina::Entity forged = FileEntity();
  forged.set_entity_id("e-1/../../x?y"), forged.set_title("[https://evil.example/t|报告].pdf");
  forged.set_subject("Invoice] [https://evil.example/pay|View invoice"), forged.set_from("<@u-a> [https://evil.example/f|bank] {a x=|link|https://evil.example/m|}{b}bank{/b}{/a}");
  forged.set_public_url("https://a.demo/x] [https://evil.example/s|点我");
  mail = At(Render(Typed(12, "邮件", forged.ToJson())), {2, 1, 0})->GetText();
  EXPECT_EQ(Links(mail), std::vector<std::wstring>{L"https://main.veltrina.demo/files/e-1%2F..%2F..%2Fx%3Fy"});
  EXPECT_EQ(Shown(mail), L"标题：" + Utf8ToUtf16(forged.subject()) + L"\n来自：" + Utf8ToUtf16(forged.from()));
  const std::wstring comment = Render(Typed(22, "看 [https://a.demo/r|这里]", forged.ToJson()))->GetItemAt(1)->GetText();
  EXPECT_EQ(Links(comment), (std::vector<std::wstring>{Utf8ToUtf16(kFileBoxHost) + L"/f/e-1.pdf", L"https://a.demo/r"}));
  EXPECT_EQ(Shown(comment), L"评论了: 报告.pdf\n看 这里");
  const std::wstring created = Render(Typed(6, "上传了文件: [https://evil.example/c|x.pdf]", forged.ToJson()))->GetItemAt(1)->GetText();
  EXPECT_EQ(Links(created), std::vector<std::wstring>{Utf8ToUtf16(kFileBoxHost) + L"/f/e-1.pdf"});
  EXPECT_EQ(Shown(created), L"创建了:  x.pdf");
  veltrina::Service bot;
  bot.set_service_id("s-1"), bot.set_display_name("机器人");
  veltrina::ServiceManager::DefaultManager()->GetServices(nullptr);
  auto services = service_->WaitForRequest("services.list");
  ASSERT_TRUE(services);
  service_->Succeed(services->id, veltrina::backend::ServicesBody({bot}));
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  veltrina::Message share = Typed(1, "", forged.ToJson());
  share.set_sender_type(3), share.set_uid("s-1");
  const std::wstring shared = Render(share)->GetItemAt(1)->GetText();
  EXPECT_TRUE(Links(shared).empty() && Shown(shared) == Utf8ToUtf16(forged.public_url()));
  // A subdomain that is no host label builds no address at all.
  for (const char* subdomain : {"evil.example/#", "a b", "-x", "", "x-", "\xE4\xB8\xAD"}) {
    SetTeamSubdomain(subdomain);
    mail = At(Render(Typed(12, "邮件", FileEntity().ToJson())), {2, 1, 0})->GetText();
    EXPECT_TRUE(Links(mail).empty()) << subdomain;
    EXPECT_EQ(Shown(mail), L"标题：Q4 <预算>\n来自：finance@veltrina.demo");
  }
  SetTeamSubdomain(std::string(63, 'a'));
  EXPECT_EQ(Links(At(Render(Typed(12, "邮件", FileEntity().ToJson())), {2, 1, 0})->GetText()).size(), 1u);

  for (int type : {5, 6, 7, 8, 12}) EXPECT_EQ(Render(Typed(type, "上传了文件: x.pdf", type % 2 ? "{not json" : "")), nullptr);
  EXPECT_EQ(Render(Typed(32, "构建报告")), nullptr);  // no attachment
  EXPECT_NE(Render(Typed(22, "好", "[]")), nullptr);   // a comment draws whatever its entity holds
  // Thumbnail sizes the server should never send still give a bounded button.
  const std::pair<int, int> sizes[] = {{0, 300}, {-400, 300}, {400, -1}, {INT_MAX, 1}, {1, INT_MAX}};
  for (auto [w, h] : sizes) {
    auto* picture = At(Render(Typed(5, "上传了图片: a.png", FileEntity(w, h).ToJson())), {2});
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->GetFixedWidth() >= 0 && picture->GetFixedWidth() <= 80 && picture->GetFixedHeight() >= 0 &&
                picture->GetFixedHeight() <= 80) << w << "x" << h;
  }
}

TEST_F(RenderTest, AttachmentCardsPairFieldsColourOnlyRealColoursAndGrowForManyFields) {
  veltrina::Attachment a;
  a.set_pretext("部署了 <#c-1|dev>"), a.set_color("#FF0000"), a.set_title("v1.2"), a.set_title_link("https://veltrina.demo/deploys/12");
  a.set_fields({{"环境", "production", true}, {"耗时", "3 分钟", true}, {"状态", "成功", true}});
  veltrina::Message m = Typed(32, "部署完成");
  m.set_attachment(a);
  CContainerUI* body = Render(m);
  EXPECT_EQ(At(body, {2, 0})->GetBkColor(), 0xFFFF0000u);
  EXPECT_NE(At(body, {2, 1, 0})->GetText().find(L"https://veltrina.demo/deploys/12"), std::wstring::npos);
  EXPECT_EQ(At(body, {2, 1, 1, 1, 0})->GetText(), L"耗时");  // short fields side by side
  EXPECT_EQ(At<CContainerUI>(body, {2, 1, 2, 1})->GetCount(), 0);  // the odd field alone
  for (const char* color : {"", "FF0000", "#FF00", "#GG0000", "#FF0000FF", "#"}) {
    a.set_color(color), m.set_attachment(a);
    EXPECT_EQ(At(Render(m), {2, 0})->GetBkColor(), kNoBarColor) << color;
  }
  a.set_fields(std::vector<veltrina::Attachment::Field>(14, {"键", "值", false})), m.set_attachment(a);
  body = Render(m);
  int inside = 0;
  for (int i = 0; i < At<CContainerUI>(body, {2, 1})->GetCount(); ++i) inside += At(body, {2, 1, i})->GetFixedHeight();
  EXPECT_GE(At(body, {2})->GetFixedHeight(), inside);  // every pair held, none cut
  EXPECT_GE(Height(), 22 + body->GetItemAt(1)->GetFixedHeight() + At(body, {2})->GetFixedHeight());
}

TEST_F(RenderTest, HostileCardTextsStayTextAndLargeCardsStayFast) {
  const std::string forged = "{a x=|link|javascript:alert(1)|}点我{/a}<b>{c #FF0000}";
  const std::string invalid = "bad \xff\xfe utf-8 \xc3";
  veltrina::Entity e = FileEntity(400, 300);
  e.set_title(forged + invalid), e.set_summary(forged + std::string(100 * 1024, 'x')), e.set_public_url("https://a.b/{a x=|link|file:c|}");
  veltrina::Attachment a;
  a.set_pretext(forged), a.set_title(forged), a.set_title_link("https://veltrina.demo/ci"), a.set_text(invalid + forged);
  std::vector<veltrina::Attachment::Field> fields;
  for (int i = 0; i < 500; ++i) fields.push_back({forged, invalid + std::string(200, 'v'), i % 2 == 0});
  a.set_fields(fields);
  veltrina::Message attachment = Typed(32, "报告");
  attachment.set_attachment(a);
  auto start = std::chrono::steady_clock::now();
  for (const veltrina::Message& m : {Typed(5, "上传了图片: " + forged, e.ToJson()), Typed(6, forged + ".pdf", e.ToJson()),
                                     Typed(22, forged, e.ToJson()), attachment})
    RenderMessage(context_, m);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);  // linear work

  // A tag is real only where the braces before it are even in number ("{{" shows one brace).
  auto real_tag = [](const std::wstring& shown, const std::wstring& tag) {
    for (size_t at = shown.find(tag); at != std::wstring::npos; at = shown.find(tag, at + 1)) {
      size_t braces = 0;
      while (braces < at && shown[at - braces - 1] == L'{') ++braces;
      if (braces % 2 == 0) return true;
    }
    return false;
  };
  std::function<void(DuiLib::CControlUI*)> check = [&](DuiLib::CControlUI* c) {
    if (auto* text = dynamic_cast<CTextUI*>(c)) {
      for (const wchar_t* tag : {L"{a x=|link|javascript", L"{a x=|link|file:", L"{c #FF0000}"})
        EXPECT_FALSE(real_tag(text->GetText(), tag)) << Utf16ToUtf8(text->GetText().substr(0, 200));
    }
    if (auto* container = dynamic_cast<CContainerUI*>(c))
      for (int i = 0; i < container->GetCount(); ++i) check(container->GetItemAt(i));
  };
  for (int i = 0; i < context_.display->GetCount(); ++i) check(context_.display->GetItemAt(i));
}
