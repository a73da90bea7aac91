// Message rows rendered into a real list: headers, text with emoji strips, notices, heights.
#include <chrono>
#include <climits>
#include <functional>

#include "app/constants.h"
#include "app/storage.h"
#include "conversation/cards.h"
#include "conversation/message_view.h"
#include "duilib/UIlib.h"
#include "main_fixture.h"

using namespace veltrinawnd;
namespace bodies = veltrina::backend;

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
  DuiLib::CListContainerElementUI* Render(const veltrina::Message& m) {
    int before = context_.display->GetCount();
    RenderMessage(context_, m);
    if (context_.display->GetCount() == before) return nullptr;
    return dynamic_cast<DuiLib::CListContainerElementUI*>(context_.display->GetItemAt(before));
  }
  // The body container of a row: the second child of its line.
  static DuiLib::CContainerUI* Body(DuiLib::CListContainerElementUI* row) {
    auto* line = dynamic_cast<DuiLib::CContainerUI*>(row->GetItemAt(0));
    return dynamic_cast<DuiLib::CContainerUI*>(line->GetItemAt(1));
  }
  // A message of the given type that shares the entity.
  static veltrina::Message Shared(int type, const std::string& content, const veltrina::Entity& entity) {
    veltrina::Message m = Message("c-1", 1, "u-a", content, 0);
    m.set_message_type(type);
    m.set_entity_json(entity.ToJson());
    return m;
  }
  std::unique_ptr<ViewWnd> wnd_;
  RenderContext context_;
};

TEST_F(RenderTest, UnknownSendersAndKindsAndTheNameLine) {
  EXPECT_EQ(Render(Message("c-1", 1, "u-nobody", "hi", 0)), nullptr);
  veltrina::Message odd = Message("c-1", 1, "u-a", "hi", 0);
  odd.set_sender_type(9);
  EXPECT_EQ(Render(odd), nullptr);

  std::tm local{};
  std::time_t t = 1700000000;
  localtime_s(&local, &t);
  wchar_t hhmm[8];
  wcsftime(hhmm, 8, L"%H:%M", &local);
  auto* row = Render(Message("c-1", 1, "u-a", "hi", 1700000000));
  ASSERT_NE(row, nullptr);
  auto* name = dynamic_cast<DuiLib::CLabelUI*>(Body(row)->GetItemAt(0));
  EXPECT_EQ(name->GetText(), std::wstring(L"安娜  {c #DDDDDD}") + hhmm + L"{/c}");
  EXPECT_TRUE(name->IsShowHtml());

  veltrina::Message other = Message("c-1", 1, "u-a", "whatever", 0);
  other.set_message_type(2);
  row = Render(other);
  ASSERT_NE(row, nullptr);
  auto* notice = dynamic_cast<DuiLib::CTextUI*>(Body(row)->GetItemAt(1));
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(notice->GetText(), kFallbackNotice);
  EXPECT_FALSE(notice->IsShowHtml());
  EXPECT_EQ(row->GetFixedHeight(), notice->EstimateSize(SIZE{570, 9999}).cy + 30);

  veltrina::Message system = Message("c-1", 1, "u-a", "安娜 加入了频道", 0);
  system.set_message_type(3);
  row = Render(system);
  auto* text = dynamic_cast<DuiLib::CTextUI*>(Body(row)->GetItemAt(1));
  EXPECT_EQ(text->GetTextColor(), 0xFFCDC9C9u);
}

TEST_F(RenderTest, TextBodiesAndTheirEmojiStrips) {
  // No code: one text, estimate + 30.
  auto* row = Render(Message("c-1", 1, "u-a", "plain [http://a.com|link]", 0));
  auto* text = dynamic_cast<DuiLib::CTextUI*>(Body(row)->GetItemAt(1));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(row->GetFixedHeight(), text->EstimateSize(SIZE{570, 9999}).cy + 30);

  // One code between two words: the image first, then the text without the code.
  row = Render(Message("c-1", 1, "u-a", "good :smile: day", 0));
  auto* strip = dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Body(row)->GetItemAt(1));
  ASSERT_NE(strip, nullptr);
  ASSERT_EQ(strip->GetCount(), 2);
  auto* image = dynamic_cast<DuiLib::CButtonUI*>(strip->GetItemAt(0));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetNormalImage(), L"emoji/emoji_1f604.png");
  EXPECT_EQ(image->GetFixedWidth(), 20);
  auto* rest = dynamic_cast<DuiLib::CTextUI*>(strip->GetItemAt(1));
  EXPECT_EQ(rest->GetText(), L"good  day");
  EXPECT_EQ(row->GetFixedHeight(), rest->EstimateSize(SIZE{570, 9999}).cy + 36);

  // Two codes alone: two images, 56 high.
  row = Render(Message("c-1", 1, "u-a", ":smile::+1:", 0));
  strip = dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Body(row)->GetItemAt(1));
  EXPECT_EQ(strip->GetCount(), 2);
  EXPECT_EQ(row->GetFixedHeight(), 56);

  // Unknown codes and a clock time stay in the text as written; only the picture moves.
  row = Render(Message("c-1", 1, "u-a", "at 12:30:45 :nosuchcode: :smile:", 0));
  strip = dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Body(row)->GetItemAt(1));
  ASSERT_EQ(strip->GetCount(), 2);
  EXPECT_NE(dynamic_cast<DuiLib::CButtonUI*>(strip->GetItemAt(0)), nullptr);
  EXPECT_EQ(dynamic_cast<DuiLib::CTextUI*>(strip->GetItemAt(1))->GetText(), L"at 12:30:45 :nosuchcode: ");

  // A flood of codes never makes more than 200 images.
  std::string flood;
  for (int i = 0; i < 1000; ++i) flood += ":smile:";
  row = Render(Message("c-1", 1, "u-a", flood, 0));
  strip = dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Body(row)->GetItemAt(1));
  EXPECT_EQ(strip->GetCount(), 201);
}

namespace {

veltrina::Entity FileEntity(int thumb_width = 0, int thumb_height = 0) {
  veltrina::Entity e;
  e.set_entity_id("e-1");
  e.set_title("季度报告 {b}.pdf");
  e.set_path("f/e-1");
  e.set_file_extension("pdf");
  e.set_thumb_width(thumb_width);
  e.set_thumb_height(thumb_height);
  e.set_subject("Q4 <预算>");
  e.set_from("finance@veltrina.demo");
  return e;
}

template <typename T>
T* Child(DuiLib::CContainerUI* parent, int index) {
  return parent ? dynamic_cast<T*>(parent->GetItemAt(index)) : nullptr;
}

}  // namespace

TEST_F(RenderTest, ImageFileCommentAndMailCards) {
  // The skin's icons decide which file types have their own picture.
  DuiLib::CPaintManagerUI::SetResourcePath(GetExecutableFolder() + L"\\..\\Veltrina\\skin");

  auto* row = Render(Shared(5, "上传了图片: sunset.png", FileEntity(400, 300)));
  ASSERT_NE(row, nullptr);
  auto* label = Child<DuiLib::CTextUI>(Body(row), 1);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->GetText(), L"创建了: {a x=|link|" + Utf8ToUtf16(kFileBoxHost) + L"/f/e-1.pdf|} sunset.png{/a}");
  auto* picture = Child<DuiLib::CButtonUI>(Body(row), 2);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->GetFixedWidth(), 80);
  EXPECT_EQ(picture->GetFixedHeight(), 60);
  EXPECT_EQ(row->GetFixedHeight(), label->GetFixedHeight() + 36 + 60);

  // File cards: the icon of the converted content's extension, or the default.
  for (auto [content, icon] : std::vector<std::pair<std::string, std::wstring>>{
           {"上传了文件: report.final.pdf", L"file_type/file_type_pdf.png"},
           {"上传了文件: notes", L"file_type/file_type_default.png"},
           {"上传了文件: x.nosuchkind", L"file_type/file_type_default.png"},
           {"上传了文件: a.png/../../../evil", L"file_type/file_type_default.png"}}) {
    row = Render(Shared(6, content, FileEntity()));
    ASSERT_NE(row, nullptr) << content;
    auto* button = Child<DuiLib::CButtonUI>(Body(row), 2);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetNormalImage(), icon) << content;
    EXPECT_EQ(button->GetFixedWidth(), 80);
    EXPECT_EQ(row->GetFixedHeight(), Child<DuiLib::CTextUI>(Body(row), 1)->GetFixedHeight() + 110);
  }

  // A comment: the file's title (escaped, as all user text) as a link, then the comment.
  row = Render(Shared(22, "第三页 {c #FF0000}要改{/c}", FileEntity()));
  auto* comment = Child<DuiLib::CTextUI>(Body(row), 1);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(comment->GetText(), L"评论了: {a x=|link|" + Utf8ToUtf16(kFileBoxHost) +
                                    L"/f/e-1.pdf|}季度报告 {{b}}.pdf{/a}\n第三页 {{c #FF0000}}要改{{/c}}");

  // A mail: the subject links to the team site's page of the entity; the bar is 0xFF51BCB6.
  row = Render(Shared(12, "转发了一封邮件", FileEntity()));
  ASSERT_NE(row, nullptr);
  auto* card = Child<DuiLib::CHorizontalLayoutUI>(Body(row), 2);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(Child<DuiLib::CButtonUI>(card, 0)->GetBkColor(), 0xFF51BCB6u);
  auto* mail = Child<DuiLib::CTextUI>(Child<DuiLib::CContainerUI>(card, 1), 0);
  ASSERT_NE(mail, nullptr);
  EXPECT_NE(mail->GetText().find(L"{a x=|link|https://main.veltrina.demo/files/e-1|}Q4 <预算>{/a}"), std::wstring::npos)
      << Utf16ToUtf8(mail->GetText());
  EXPECT_NE(mail->GetText().find(L"来自：finance@veltrina.demo"), std::wstring::npos);
}

TEST_F(RenderTest, CardsWithoutTheirDataShowNoRowAndNeverCrash) {
  for (int type : {5, 6, 7, 8, 12}) {
    veltrina::Message m = Message("c-1", 1, "u-a", "上传了文件: x.pdf", 0);
    m.set_message_type(type);
    m.set_entity_json(type % 2 ? "{not json" : "");
    EXPECT_EQ(Render(m), nullptr) << type;
  }
  veltrina::Message bare = Message("c-1", 1, "u-a", "构建报告", 0);
  bare.set_message_type(32);
  EXPECT_EQ(Render(bare), nullptr);  // no attachment: nothing to draw
  // A comment is drawn with whatever its entity holds.
  veltrina::Message comment = Message("c-1", 1, "u-a", "好", 0);
  comment.set_message_type(22);
  comment.set_entity_json("[]");
  EXPECT_NE(Render(comment), nullptr);

  // Thumbnail sizes the server should never send still give a bounded button.
  for (auto [w, h] : std::vector<std::pair<int, int>>{{0, 300}, {-400, 300}, {400, -1}, {INT_MAX, 1}, {1, INT_MAX}}) {
    auto* row = Render(Shared(5, "上传了图片: a.png", FileEntity(w, h)));
    ASSERT_NE(row, nullptr);
    auto* picture = Child<DuiLib::CButtonUI>(Body(row), 2);
    EXPECT_TRUE(picture->GetFixedWidth() >= 0 && picture->GetFixedWidth() <= 80) << w << "x" << h;
    EXPECT_TRUE(picture->GetFixedHeight() >= 0 && picture->GetFixedHeight() <= 80) << w << "x" << h;
  }
}

TEST_F(RenderTest, AttachmentCardPairsItsFieldsAndColoursItsBar) {
  veltrina::Attachment a;
  a.set_pretext("部署了 <#c-1|dev>");
  a.set_color("#FF0000");
  a.set_title("v1.2");
  a.set_title_link("https://veltrina.demo/deploys/12");
  a.set_fields({{"环境", "production", true}, {"耗时", "3 分钟", true}, {"状态", "成功", true}});
  veltrina::Message m = Message("c-1", 1, "u-a", "部署完成", 0);
  m.set_message_type(32);
  m.set_attachment(a);
  auto* row = Render(m);
  ASSERT_NE(row, nullptr);
  auto* card = Child<DuiLib::CHorizontalLayoutUI>(Body(row), 2);
  ASSERT_NE(card, nullptr);
  auto* bar = Child<DuiLib::CButtonUI>(card, 0);
  EXPECT_EQ(bar->GetBkColor(), 0xFFFF0000u);
  auto* body = Child<DuiLib::CContainerUI>(card, 1);
  ASSERT_EQ(body->GetCount(), 3);  // title, then two pairs of fields
  EXPECT_NE(Child<DuiLib::CTextUI>(body, 0)->GetText().find(L"https://veltrina.demo/deploys/12"), std::wstring::npos);
  auto* first_pair = Child<DuiLib::CHorizontalLayoutUI>(body, 1);
  ASSERT_NE(first_pair, nullptr);  // short fields side by side
  auto* second_cell = Child<DuiLib::CContainerUI>(first_pair, 1);
  EXPECT_EQ(Child<DuiLib::CTextUI>(second_cell, 0)->GetText(), L"耗时");
  auto* last_pair = Child<DuiLib::CContainerUI>(body, 2);
  EXPECT_EQ(Child<DuiLib::CContainerUI>(last_pair, 1)->GetCount(), 0);  // the odd field alone
  const int title = Child<DuiLib::CTextUI>(body, 0)->GetFixedHeight();
  const int pretext = Child<DuiLib::CTextUI>(Body(row), 1)->GetFixedHeight();
  EXPECT_EQ(row->GetFixedHeight() - pretext - 50, bar->GetFixedHeight());
  EXPECT_GT(bar->GetFixedHeight(), title);

  // A long first field stacks its pair; colours that are not "#RRGGBB" draw no bar.
  a.set_fields({{"说明", "数据库迁移已完成", false}, {"状态", "成功", true}});
  for (const char* color : {"", "FF0000", "#FF00", "#GG0000", "#FF0000FF", "#"}) {
    a.set_color(color);
    m.set_attachment(a);
    row = Render(m);
    card = Child<DuiLib::CHorizontalLayoutUI>(Body(row), 2);
    EXPECT_EQ(Child<DuiLib::CButtonUI>(card, 0)->GetBkColor(), kNoBarColor) << color;
    EXPECT_NE(Child<DuiLib::CVerticalLayoutUI>(Child<DuiLib::CContainerUI>(card, 1), 1), nullptr);
  }
  EXPECT_EQ(ParseCardColor("#36a64f"), 0xFF36A64Fu);

  // Many fields: the row grows to hold every pair rather than cut the last ones.
  a.set_color("#36A64F");
  a.set_fields(std::vector<veltrina::Attachment::Field>(14, {"键", "值", false}));
  m.set_attachment(a);
  row = Render(m);
  card = Child<DuiLib::CHorizontalLayoutUI>(Body(row), 2);
  int inside = 0;
  auto* fields_body = Child<DuiLib::CContainerUI>(card, 1);
  for (int i = 0; i < fields_body->GetCount(); ++i) inside += fields_body->GetItemAt(i)->GetFixedHeight();
  EXPECT_GE(card->GetFixedHeight(), inside);
  EXPECT_GE(row->GetFixedHeight(), 22 + Child<DuiLib::CTextUI>(Body(row), 1)->GetFixedHeight() + card->GetFixedHeight());
}

TEST_F(RenderTest, HostileCardTextsStayTextAndLargeCardsStayFast) {
  const std::string forged = "{a x=|link|javascript:alert(1)|}点我{/a}<b>{c #FF0000}";
  const std::string invalid = "bad \xff\xfe utf-8 \xc3";
  veltrina::Entity e = FileEntity(400, 300);
  e.set_title(forged + invalid);
  e.set_summary(forged + std::string(100 * 1024, 'x'));
  e.set_public_url("https://a.b/{a x=|link|file:c|}");
  veltrina::Attachment a;
  a.set_pretext(forged);
  a.set_title(forged);
  a.set_title_link("https://veltrina.demo/ci");
  a.set_text(invalid + forged);
  std::vector<veltrina::Attachment::Field> fields;
  for (int i = 0; i < 500; ++i) fields.push_back({forged, invalid + std::string(200, 'v'), i % 2 == 0});
  a.set_fields(fields);

  auto start = std::chrono::steady_clock::now();
  std::vector<veltrina::Message> messages = {Shared(5, "上传了图片: " + forged, e), Shared(6, forged + ".pdf", e),
                                             Shared(22, forged, e)};
  veltrina::Message attachment = Message("c-1", 1, "u-a", "报告", 0);
  attachment.set_message_type(32);
  attachment.set_attachment(a);
  messages.push_back(attachment);
  for (const veltrina::Message& m : messages) RenderMessage(context_, m);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 10.0);  // 100 KB and 500 fields: linear work, far below this

  // No text of a card may open a link of its own: a tag is real only where the braces before it
  // are even in number ("{{" shows one brace).
  auto real_tag = [](const std::wstring& shown, const std::wstring& tag) {
    for (size_t at = shown.find(tag); at != std::wstring::npos; at = shown.find(tag, at + 1)) {
      size_t braces = 0;
      while (braces < at && shown[at - braces - 1] == L'{') ++braces;
      if (braces % 2 == 0) return true;
    }
    return false;
  };
  std::function<void(DuiLib::CControlUI*)> check = [&](DuiLib::CControlUI* c) {
    if (auto* text = dynamic_cast<DuiLib::CTextUI*>(c)) {
      const std::wstring shown = text->GetText();
      EXPECT_FALSE(real_tag(shown, L"{a x=|link|javascript")) << Utf16ToUtf8(shown.substr(0, 200));
      EXPECT_FALSE(real_tag(shown, L"{a x=|link|file:")) << Utf16ToUtf8(shown.substr(0, 200));
      EXPECT_FALSE(real_tag(shown, L"{c #FF0000}")) << Utf16ToUtf8(shown.substr(0, 200));
    }
    if (auto* container = dynamic_cast<DuiLib::CContainerUI*>(c))
      for (int i = 0; i < container->GetCount(); ++i) check(container->GetItemAt(i));
  };
  for (int i = 0; i < context_.display->GetCount(); ++i) check(context_.display->GetItemAt(i));
}
