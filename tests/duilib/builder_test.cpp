// Building control trees from skins: window settings, fonts, defaults, names and errors.
#include "dui_test_support.h"

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
  EXPECT_TRUE(pm.GetInitSize().cx == 320 && pm.GetCaptionRect().bottom == 32 && pm.GetSizeBox().right == 4);
  EXPECT_TRUE(pm.GetMinInfo().cx + pm.GetRoundCorner().cx == 205 && pm.GetDefaultFontColor() == 0xFF333333u);
  // Fonts without an id are numbered in document order; the default one is not numbered.
  EXPECT_TRUE(pm.GetFontInfo(0)->iSize == 14 && pm.GetFontInfo(0)->bBold && pm.GetFontInfo(1)->sFontName == L"B");
  EXPECT_TRUE(pm.GetFontInfo(7)->iSize == 9 && pm.GetFontInfo(-1)->iSize == 12);
  EXPECT_EQ(pm.GetFont(42), pm.GetFont(-1));  // unknown index: the default font
  EXPECT_TRUE(static_cast<CLabelUI*>(pm.FindControl(L"a"))->GetFont() == 1 && pm.FindControl(L"a")->GetText() == L"你");
  // Default attributes apply first; the element's own attributes win.
  EXPECT_TRUE(pm.FindControl(L"b")->GetFixedHeight() == 28 && pm.FindControl(L"tall")->GetFixedHeight() == 40);
  EXPECT_EQ(pm.FindControl(L"tall")->GetBkColor(), 0xFF0000FFu);
  // A callback makes the window's own controls; unknown ones (with children) and attributes are logged and skipped.
  EXPECT_TRUE(pm.FindControl(L"av")->GetFixedWidth() == 40 && !pm.FindControl(L"in"));
  EXPECT_TRUE(log.Contains(L"sparkle") && log.Contains(L"Gizmo", L"line 5")) << log.All();
  // Names set later are found too.
  pm.FindControl(L"tall")->SetName(L"renamed");
  EXPECT_TRUE(!pm.FindControl(L"tall") && pm.FindControl(L"renamed")->GetManager() == &pm);
  // Malformed or missing skins give null and log the file and line.
  EXPECT_EQ(builder.Create(L"broken.xml", nullptr, nullptr, &pm), nullptr);
  EXPECT_NE(builder.GetLastError().find(L"broken.xml"), std::wstring::npos);
  EXPECT_FALSE(builder.Create(L"absent.xml") || builder.Create(L"<Window>\n\n<Label text=oops/>\n</Window>"));
  EXPECT_TRUE(log.Contains(L"broken.xml", L"line 4") && log.Contains(L"absent.xml")) << log.All();
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
