// Message rows rendered into a real list: headers, text with emoji strips, notices, heights.
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

  // Unknown codes stay as text at their place; a clock time shows its token first.
  row = Render(Message("c-1", 1, "u-a", "at 12:30:45 :nosuchcode: :smile:", 0));
  strip = dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Body(row)->GetItemAt(1));
  ASSERT_EQ(strip->GetCount(), 4);
  EXPECT_EQ(dynamic_cast<DuiLib::CTextUI*>(strip->GetItemAt(0))->GetText(), L":30:");
  EXPECT_EQ(dynamic_cast<DuiLib::CTextUI*>(strip->GetItemAt(1))->GetText(), L":nosuchcode:");
  EXPECT_NE(dynamic_cast<DuiLib::CButtonUI*>(strip->GetItemAt(2)), nullptr);
  EXPECT_EQ(dynamic_cast<DuiLib::CTextUI*>(strip->GetItemAt(3))->GetText(), L"at 1245  ");

  // A flood of codes never makes more than 200 images.
  std::string flood;
  for (int i = 0; i < 1000; ++i) flood += ":smile:";
  row = Render(Message("c-1", 1, "u-a", flood, 0));
  strip = dynamic_cast<DuiLib::CHorizontalLayoutUI*>(Body(row)->GetItemAt(1));
  EXPECT_EQ(strip->GetCount(), 201);
}
