// Building control trees from skins: window settings, fonts, defaults, names and errors.
#include <gtest/gtest.h>

#include "dui_test_support.h"

using namespace DuiLib;
using namespace duitest;

namespace {

TEST(DialogBuilder, WindowFontsDefaultsNamesCallbacksAndErrors) {
  ScratchDir dir;
  dir.Write(L"dlg.xml", "\xEF\xBB\xBF<Window size=\"320,240\" caption=\"0,0,0,32\" sizebox=\"4,4,4,4\" mininfo=\"200,150\" "
            "roundcorner=\"5,5\" defaultfontcolor=\"#FF333333\">\n<Font name=\"A\" size=\"12\" default=\"true\"/>"
            "<Font name=\"A\" size=\"14\" bold=\"true\"/><Font name=\"B\" size=\"20\"/><Font id=\"7\" name=\"A\" size=\"9\"/>"
            "<Default name=\"Button\" value=\"height=&quot;28&quot; bkcolor=&quot;#FF0000FF&quot;\"/>\n<VerticalLayout>\n"
            "<Label name=\"a\" sparkle=\"9\" font=\"1\" text=\"\xE4\xBD\xA0\"/>\n<Gizmo name=\"g\"><Label name=\"in\"/></Gizmo>\n"
            "<Button name=\"b\"/><Button name=\"tall\" height=\"40\"/><Avatar name=\"av\" width=\"40\"/></VerticalLayout></Window>");
  dir.Write(L"broken.xml", "<Window>\n<VerticalLayout>\n<Label text=\"x\">\n</VerticalLayout>\n</Window>\n");
  CPaintManagerUI::SetResourcePath(dir.path);
  struct Factory : IDialogBuilderCallback {
    CControlUI* CreateControl(const wchar_t* cls) override { return wcscmp(cls, L"Avatar") == 0 ? new CControlUI : nullptr; }
  } factory;
  LogCapture log;
  CPaintManagerUI pm;
  CDialogBuilder builder;
  pm.AttachDialog(builder.Create(L"dlg.xml", nullptr, &factory, &pm));
  EXPECT_EQ(pm.GetInitSize().cx, 320);
  EXPECT_RECT(pm.GetCaptionRect(), 0, 0, 0, 32);
  EXPECT_RECT(pm.GetSizeBox(), 4, 4, 4, 4);
  EXPECT_EQ(pm.GetMinInfo().cx + pm.GetRoundCorner().cx, 205);
  EXPECT_EQ(pm.GetDefaultFontColor(), 0xFF333333u);
  // Fonts without an id are numbered in document order; the default one is not numbered.
  EXPECT_TRUE(pm.GetFontInfo(0)->iSize == 14 && pm.GetFontInfo(0)->bBold && pm.GetFontInfo(1)->sFontName == L"B");
  EXPECT_TRUE(pm.GetFontInfo(7)->iSize == 9 && pm.GetFontInfo(-1)->iSize == 12);
  EXPECT_EQ(pm.GetFont(42), pm.GetFont(-1));  // unknown index: the default font
  EXPECT_EQ(static_cast<CLabelUI*>(pm.FindControl(L"a"))->GetFont(), 1);
  EXPECT_EQ(pm.FindControl(L"a")->GetText(), L"你");
  // Default attributes apply first; the element's own attributes win.
  EXPECT_EQ(pm.FindControl(L"b")->GetFixedHeight(), 28);
  EXPECT_EQ(pm.FindControl(L"tall")->GetFixedHeight(), 40);
  EXPECT_EQ(pm.FindControl(L"tall")->GetBkColor(), 0xFF0000FFu);
  // A callback makes the window's own controls; unknown ones (with their children) and unknown
  // attributes are logged with their line and skipped.
  EXPECT_EQ(pm.FindControl(L"av")->GetFixedWidth(), 40);
  EXPECT_EQ(pm.FindControl(L"in"), nullptr);
  EXPECT_TRUE(log.Contains(L"sparkle")) << log.All();
  EXPECT_TRUE(log.Contains(L"Gizmo", L"line 5")) << log.All();
  // Names set later are found too.
  pm.FindControl(L"tall")->SetName(L"renamed");
  EXPECT_EQ(pm.FindControl(L"tall"), nullptr);
  EXPECT_EQ(pm.FindControl(L"renamed")->GetManager(), &pm);

  // Malformed or missing skins give null and log the file and line.
  EXPECT_EQ(builder.Create(L"broken.xml", nullptr, nullptr, &pm), nullptr);
  EXPECT_TRUE(log.Contains(L"broken.xml", L"line 4")) << log.All();
  EXPECT_NE(builder.GetLastError().find(L"broken.xml"), std::wstring::npos);
  EXPECT_EQ(builder.Create(L"absent.xml"), nullptr);
  EXPECT_TRUE(log.Contains(L"absent.xml")) << log.All();
  EXPECT_EQ(builder.Create(L"<Window>\n\n<Label text=oops/>\n</Window>"), nullptr);
  EXPECT_TRUE(log.Contains(L"line 3")) << log.All();
  EXPECT_EQ(builder.Create(L"<Window size=\"10,10\"><Font name=\"x\"/></Window>"), nullptr);  // no root control
  // Attribute lists as code writes them: malformed ones are logged, the rest still applies.
  CControlUI c;
  c.SetAttributeList(L"width='120' padding=\"1,2,3,4\" text=\"a b=c\" mouse=\"false\" frobnicate=\"1\" height=36");
  c.SetAttributeList(L"height=\"5\" width=\"12");
  EXPECT_TRUE(c.GetFixedWidth() == 120 && c.GetFixedHeight() == 5 && c.GetText() == L"a b=c" && !c.IsMouseEnabled());
  EXPECT_RECT(c.GetPadding(), 1, 2, 3, 4);
  EXPECT_TRUE(log.Contains(L"malformed") && log.Contains(L"frobnicate")) << log.All();
}

// The skin's size wins over the size the window was created with.
TEST(DialogBuilder, TheSkinSizesItsWindow) {
  SkinWindow w(L"<Window size=\"320,240\"><VerticalLayout/></Window>");
  ASSERT_TRUE(w.Open(100, 100));
  RECT client;
  GetClientRect(w.GetHWND(), &client);
  EXPECT_RECT(client, 0, 0, 320, 240);
}

}  // namespace
