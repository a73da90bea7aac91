// Building control trees from skins: window settings, fonts, defaults, names and errors.
#include <gtest/gtest.h>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

const wchar_t kSkin[] =
    L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    L"<Window size=\"320,240\" caption=\"0,0,0,32\" sizebox=\"4,4,4,4\" mininfo=\"200,150\" "
    L"roundcorner=\"5,5\" defaultfontcolor=\"#FF333333\">\n"
    L"  <Font name=\"微软雅黑\" size=\"12\" default=\"true\"/>\n"
    L"  <Font name=\"微软雅黑\" size=\"14\" bold=\"true\"/>\n"
    L"  <Font name=\"宋体\" size=\"20\"/>\n"
    L"  <Font id=\"7\" name=\"微软雅黑\" size=\"9\" italic=\"true\"/>\n"
    L"  <Default name=\"Button\" value=\"height=&quot;28&quot; bkcolor=&quot;#FF0000FF&quot;\"/>\n"
    L"  <VerticalLayout name=\"root\" bkcolor=\"#FFFFFFFF\">\n"
    L"    <HorizontalLayout name=\"bar\" height=\"32\">\n"
    L"      <Label name=\"title\" text=\"标题\" font=\"1\"/>\n"
    L"      <Button name=\"closebtn\" width=\"30\"/>\n"
    L"    </HorizontalLayout>\n"
    L"    <Button name=\"tall\" height=\"40\" text=\"ok\"/>\n"
    L"    <Edit name=\"edit\" text=\"hello\"/>\n"
    L"    <List name=\"list\"/>\n"
    L"    <Text name=\"text\" showhtml=\"true\"/>\n"
    L"    <RichEdit name=\"rich\"/>\n"
    L"  </VerticalLayout>\n"
    L"</Window>\n";

TEST(DialogBuilder, WindowFontsDefaultsAndNames) {
  SkinWindow w(kSkin);
  ASSERT_TRUE(w.Open(100, 100));
  CPaintManagerUI& pm = w.PM();
  EXPECT_EQ(pm.GetInitSize().cx, 320);
  EXPECT_EQ(pm.GetInitSize().cy, 240);
  RECT client;
  GetClientRect(w.GetHWND(), &client);
  EXPECT_RECT(client, 0, 0, 320, 240);  // the skin's size wins over the creation size
  EXPECT_RECT(pm.GetCaptionRect(), 0, 0, 0, 32);
  EXPECT_RECT(pm.GetSizeBox(), 4, 4, 4, 4);
  EXPECT_EQ(pm.GetMinInfo().cx, 200);
  EXPECT_EQ(pm.GetRoundCorner().cx, 5);
  EXPECT_EQ(pm.GetDefaultFontColor(), 0xFF333333u);

  // Fonts without an id are numbered in document order; the default one is not numbered.
  ASSERT_NE(pm.GetFontInfo(0), nullptr);
  EXPECT_EQ(pm.GetFontInfo(0)->iSize, 14);
  EXPECT_TRUE(pm.GetFontInfo(0)->bBold);
  EXPECT_EQ(pm.GetFontInfo(1)->iSize, 20);
  EXPECT_EQ(pm.GetFontInfo(1)->sFontName, L"宋体");
  EXPECT_EQ(pm.GetFontInfo(7)->iSize, 9);
  EXPECT_TRUE(pm.GetFontInfo(7)->bItalic);
  EXPECT_EQ(pm.GetFontInfo(-1)->iSize, 12);
  EXPECT_EQ(pm.GetFontInfo(42), pm.GetFontInfo(-1));  // unknown index: the default font
  EXPECT_EQ(pm.GetFont(42), pm.GetFont(-1));
  EXPECT_NE(pm.GetFont(0), pm.GetFont(-1));
  EXPECT_GT(pm.GetFontInfo(1)->tm.tmHeight, pm.GetFontInfo(-1)->tm.tmHeight);

  // Names and classes.
  ASSERT_NE(w.Find(L"root"), nullptr);
  EXPECT_EQ(w.Find(L"root")->GetClass(), L"VerticalLayoutUI");
  EXPECT_EQ(w.Find(L"bar")->GetParent(), w.Find(L"root"));
  EXPECT_EQ(w.Find(L"title")->GetParent(), w.Find(L"bar"));
  EXPECT_EQ(w.Find(L"title")->GetText(), L"标题");
  EXPECT_EQ(w.Find<CLabelUI>(L"title")->GetFont(), 1);
  EXPECT_NE(w.Find(L"edit")->GetInterface(L"Edit"), nullptr);
  EXPECT_EQ(w.Find(L"edit")->GetText(), L"hello");
  EXPECT_NE(w.Find(L"list")->GetInterface(L"List"), nullptr);
  EXPECT_NE(w.Find(L"text")->GetInterface(L"Text"), nullptr);
  EXPECT_TRUE(w.Find<CTextUI>(L"text")->IsShowHtml());
  EXPECT_NE(w.Find(L"rich")->GetInterface(L"RichEdit"), nullptr);
  EXPECT_EQ(w.Find(L"nobody"), nullptr);
  EXPECT_EQ(w.Find(L""), nullptr);
  EXPECT_EQ(pm.GetRoot(), w.Find(L"root"));

  // Default attributes apply first; the element's own attributes win.
  EXPECT_EQ(w.Find(L"closebtn")->GetFixedHeight(), 28);
  EXPECT_EQ(w.Find(L"closebtn")->GetBkColor(), 0xFF0000FFu);
  EXPECT_EQ(w.Find(L"tall")->GetFixedHeight(), 40);
  EXPECT_EQ(w.Find(L"tall")->GetBkColor(), 0xFF0000FFu);
  EXPECT_EQ(w.Find(L"title")->GetFixedHeight(), 0);

  // Every control knows its manager, so names set later are found too.
  w.Find(L"tall")->SetName(L"renamed");
  EXPECT_EQ(w.Find(L"tall"), nullptr);
  EXPECT_NE(w.Find(L"renamed"), nullptr);
  EXPECT_EQ(w.Find(L"renamed")->GetManager(), &pm);
}

TEST(DialogBuilder, SkinFileFromTheResourcePath) {
  ScratchDir dir;
  dir.Write(L"dlg.xml",
            "\xEF\xBB\xBF<Window size=\"200,100\">\n<VerticalLayout>\n"
            "<Label name=\"l\" text=\"\xE4\xBD\xA0\xE5\xA5\xBD\"/>\n</VerticalLayout>\n</Window>\n");
  CPaintManagerUI::SetResourcePath(dir.path);
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(L"dlg.xml", nullptr, nullptr, &pm);
  ASSERT_NE(root, nullptr) << Narrow(builder.GetLastError());
  pm.AttachDialog(root);
  EXPECT_EQ(pm.GetInitSize().cx, 200);
  ASSERT_NE(pm.FindControl(L"l"), nullptr);
  EXPECT_EQ(pm.FindControl(L"l")->GetText(), L"你好");
}

TEST(DialogBuilder, UnknownControlsAndAttributesAreLoggedAndSkipped) {
  LogCapture log;
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(
      L"<Window>\n<VerticalLayout name=\"root\">\n<Label name=\"a\" sparkle=\"9\" height=\"20\"/>\n"
      L"<Gizmo name=\"g\">\n<Label name=\"inside\"/>\n</Gizmo>\n<Label name=\"b\"/>\n</VerticalLayout>\n</Window>",
      nullptr, nullptr, &pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);
  auto* layout = static_cast<CContainerUI*>(root->GetInterface(L"Container"));
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout->GetCount(), 2);
  EXPECT_EQ(pm.FindControl(L"a")->GetFixedHeight(), 20);
  EXPECT_NE(pm.FindControl(L"b"), nullptr);
  EXPECT_EQ(pm.FindControl(L"g"), nullptr);
  EXPECT_EQ(pm.FindControl(L"inside"), nullptr);
  EXPECT_TRUE(log.Contains(L"sparkle")) << Narrow(log.All());
  EXPECT_TRUE(log.Contains(L"Gizmo", L"line 4")) << Narrow(log.All());
}

TEST(DialogBuilder, CallbackCreatesCustomControls) {
  struct Factory : IDialogBuilderCallback {
    CControlUI* CreateControl(const wchar_t* cls) override {
      if (wcscmp(cls, L"Avatar") == 0) {
        auto* c = new CControlUI;
        c->SetUserData(L"avatar");
        return c;
      }
      return nullptr;
    }
  } factory;
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(L"<HorizontalLayout><Avatar name=\"av\" width=\"40\"/></HorizontalLayout>", nullptr,
                                    &factory, &pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);
  ASSERT_NE(pm.FindControl(L"av"), nullptr);
  EXPECT_EQ(pm.FindControl(L"av")->GetUserData(), L"avatar");
  EXPECT_EQ(pm.FindControl(L"av")->GetFixedWidth(), 40);
}

TEST(DialogBuilder, MalformedSkinsGiveNullAndLogFileAndLine) {
  ScratchDir dir;
  dir.Write(L"broken.xml", "<Window>\n<VerticalLayout>\n<Label text=\"x\">\n</VerticalLayout>\n</Window>\n");
  CPaintManagerUI::SetResourcePath(dir.path);
  {
    LogCapture log;
    CDialogBuilder builder;
    CPaintManagerUI pm;
    EXPECT_EQ(builder.Create(L"broken.xml", nullptr, nullptr, &pm), nullptr);
    EXPECT_TRUE(log.Contains(L"broken.xml", L"line 4")) << Narrow(log.All());
    EXPECT_NE(builder.GetLastError().find(L"broken.xml"), std::wstring::npos);
  }
  {
    LogCapture log;
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(L"absent.xml"), nullptr);
    EXPECT_TRUE(log.Contains(L"absent.xml")) << Narrow(log.All());
  }
  {
    LogCapture log;
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(L"<Window>\n\n<Label text=oops/>\n</Window>"), nullptr);
    EXPECT_TRUE(log.Contains(L"line 3")) << Narrow(log.All());
  }
  {
    LogCapture log;
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(L"<Window size=\"10,10\"><Font name=\"x\"/></Window>"), nullptr);
    EXPECT_FALSE(log.lines.empty());
  }
}

}  // namespace
