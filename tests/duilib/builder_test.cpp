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

// Lookup by name answers what a walk of the tree answers (the first control met, a container
// before its children) while controls are added, renamed, removed and freed.
TEST(DialogBuilder, LookupByNameFollowsTheTree) {
  CPaintManagerUI pm;
  auto walk = [&pm](const wchar_t* name) {
    CControlUI* found = nullptr;
    pm.GetRoot()->ForEach([&](CControlUI* c) { return c->GetName() == name && (found = c); });
    return found;
  };
  auto named = [](auto* c, const wchar_t* name) { c->SetName(name); return c; };
  auto* root = named(new CVerticalLayoutUI, L"root");
  auto* box = named(new CHorizontalLayoutUI, L"dup");
  box->Add(named(new CLabelUI, L"dup"));
  box->Add(named(new CLabelUI, L"x"));
  root->Add(box);
  pm.AttachDialog(root);
  auto same = [&] {
    for (const wchar_t* n : {L"root", L"dup", L"x", L"y", L"late", L"gone", L"float"}) EXPECT_EQ(pm.FindControl(n), walk(n)) << n;
  };
  same();
  EXPECT_EQ(pm.FindControl(L"dup"), box);  // the container before its child
  // Added later but earlier in the tree: it comes first. A subtree built apart is found once added.
  auto* early = named(new CHorizontalLayoutUI, L"dup");
  early->Add(named(new CLabelUI, L"late"));
  root->AddAt(early, 0);
  same();
  EXPECT_TRUE(pm.FindControl(L"dup") == early && pm.FindControl(L"late"));
  // Renamed: found under the new name only; the next of the old name takes over.
  early->SetName(L"y");
  same();
  EXPECT_TRUE(pm.FindControl(L"y") == early && pm.FindControl(L"dup") == box);
  // Removed (freed after the current message) and renamed afterwards: never found again.
  root->Remove(box);
  box->SetName(L"gone");
  same();
  EXPECT_TRUE(!pm.FindControl(L"dup") && !pm.FindControl(L"x") && !pm.FindControl(L"gone"));
  {
    CLabelUI floating;  // has the manager but is not in the tree
    floating.SetManager(&pm, nullptr, false);
    floating.SetName(L"float");
    same();
  }
  EXPECT_EQ(pm.FindControl(L"float"), nullptr);  // freed: no dangling entry
  // Every control of a replaced tree is gone.
  pm.AttachDialog(named(new CVerticalLayoutUI, L"x"));
  EXPECT_TRUE(!pm.FindControl(L"root") && !pm.FindControl(L"late") && pm.FindControl(L"x") == pm.GetRoot());
}
