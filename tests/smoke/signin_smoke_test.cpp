// Signing in from outside the client, as a user at the desktop: the team window and the login
// window with their error boxes, on a first start.
#include "client_process.h"
#include "client_windows.h"
#include "skin_layout.h"
#include "smoke_failure.h"
#include "smoke_test.h"
#include "smoke_user.h"
#include "window_probe.h"

namespace smoke {
namespace {

class SmokeSignIn : public SmokeTest {};

constexpr wchar_t kUnknownTeamText[] = L"团队名错误 (code:";
constexpr wchar_t kWrongPasswordText[] = L"用户名或密码错误";

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }

TEST_F(SmokeSignIn, UnknownTeamShowsBoxAndTeamWindowStaysUsable) {
  ClientProcess client;
  SmokeUser user(client);
  HWND team = user.WaitForWindow("first start", kTeamClass, kTeamTitle);
  HWND field = SubdomainEditOf(user, team);
  EXPECT_EQ(Utf8(TextOf(field)), "") << "a first start offers no team";

  user.TypeInto("type an unknown team", field, L"nosuchteam");
  user.PressEnter("confirm the unknown team", field);
  HWND box = user.WaitForMessageBox("unknown team");
  std::wstring text = user.AnswerMessageBox("dismiss the unknown team box with Enter", box, false);
  EXPECT_TRUE(StartsWith(text, kUnknownTeamText)) << "box text: " << Utf8(text);
  user.CheckAlive("team window after the box", team);
  ASSERT_TRUE(::IsWindowVisible(team)) << "the team window went away with the box";

  // The button must work again: a second attempt, this time with a click on it.
  user.Click("second attempt with the continue button", team, layout::kContinueButton);
  box = user.WaitForMessageBox("unknown team, second attempt");
  text = user.AnswerMessageBox("dismiss the second box with a click on its button", box, true);
  EXPECT_TRUE(StartsWith(text, kUnknownTeamText)) << "box text: " << Utf8(text);
  user.CheckAlive("team window after the second box", team);
  EXPECT_EQ(Utf8(TextOf(field)), "nosuchteam") << "the field keeps what was typed";
}

TEST_F(SmokeSignIn, WrongPasswordShowsBoxThenRightPasswordOpensMainWindow) {
  ClientProcess client;
  SmokeUser user(client);
  HWND team = user.WaitForWindow("first start", kTeamClass, kTeamTitle);
  HWND team_field = SubdomainEditOf(user, team);
  user.TypeInto("type team demo", team_field, L"demo");
  user.PressEnter("confirm team demo", team_field);
  HWND login = user.WaitForWindow("login window after team demo", kLoginClass, kLoginTitle);
  user.WaitUntilGone("team window closes", team);

  LoginFields fields = LoginFieldsOf(user, login);
  EXPECT_EQ(Utf8(TextOf(fields.username)), "") << "a first start offers no user name";
  user.TypeInto("type user name", fields.username, L"alice");
  user.TypeInto("type a wrong password", fields.password, L"wrong");
  user.PressEnter("sign in with the wrong password", fields.password);
  HWND box = user.WaitForMessageBox("wrong password");
  std::wstring text = user.AnswerMessageBox("dismiss the wrong password box with Enter", box, false);
  EXPECT_EQ(Utf8(text), Utf8(kWrongPasswordText)) << "text of the box";
  user.CheckAlive("login window after the box", login);
  ASSERT_TRUE(::IsWindowVisible(login)) << "the login window went away with the box";
  EXPECT_EQ(FindShownWindow(client.id(), kMainClass), nullptr) << "no main window after a wrong password";

  user.TypeInto("type the right password", fields.password, L"veltrina");
  user.PressEnter("sign in with the right password", fields.password);
  HWND main = WaitForMainWindow(user, "main window after signing in");
  user.WaitUntilGone("login window closes", login);
  user.CheckAlive("main window shown", main);
}

}  // namespace
}  // namespace smoke
