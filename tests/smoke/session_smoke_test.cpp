// After signing in, from outside the client: a message typed into #general reaches the demo
// service, the close button only hides the main window (the tray brings it back and ends the
// client), and a second start remembers the team and the account and still has the message.
#include "client_process.h"
#include "client_steps.h"
#include "client_windows.h"
#include "conversation_pixels.h"
#include "skin_layout.h"
#include "smoke_failure.h"
#include "smoke_test.h"
#include "state_file.h"
#include "tray_steps.h"
#include "window_probe.h"

namespace smoke {
namespace {

class SmokeSession : public SmokeTest {};

TEST_F(SmokeSession, MessageReachesServiceAndCloseButtonOnlyHidesMainWindow) {
  ClientProcess client;
  SmokeUser user(client);
  HWND main = SignInAsAlice(user);

  Picture general = OpenGeneral(user, main);
  const std::wstring text = UniqueMessageText();
  SendInGeneral(user, main, text);
  // The text itself is drawn by the toolkit and cannot be read from outside; its arrival must at
  // least redraw the conversation.
  WaitForSteadyChange(user, "the sent message is drawn", main, general);

  user.Click("click the main window's close button", main, layout::CloseButton(ClientSize(main)));
  user.WaitUntil("close button (waiting until the main window is hidden)", [&] { return !::IsWindowVisible(main); });
  // Hidden, not ended: the process lives on and the window still answers.
  user.WatchFor("main window hidden in the tray", 1000, main);
  EXPECT_EQ(FindShownWindow(client.id(), kMainClass), nullptr);

  ShowFromTray(user, main);
  user.CheckAlive("main window back from the tray", main);
  EXPECT_EQ(ExitFromTray(user), 0u) << "exit code of the client after 退出Veltrina";
}

TEST_F(SmokeSession, SecondStartOffersStoredTeamAndAccountAndKeepsMessage) {
  const std::wstring text = UniqueMessageText();
  Picture sent_row;  // the pixels of the newest message's row once the first start has drawn it
  {
    ClientProcess first;
    SmokeUser user(first);
    HWND main = SignInAsAlice(user);
    Picture general = OpenGeneral(user, main);
    SendInGeneral(user, main, text);
    sent_row = NewestMessageStrip(WaitForSteadyChange(user, "the sent message is drawn", main, general));
    ASSERT_EQ(ExitFromTray(user), 0u) << "exit code of the first start";
  }

  ClientProcess second;
  SmokeUser user(second);
  HWND team = user.WaitForWindow("second start", kTeamClass, kTeamTitle);
  HWND team_field = SubdomainEditOf(user, team);
  EXPECT_EQ(Utf8(TextOf(team_field)), "demo") << "the team window offers the last team";
  user.ClickInto("click into the offered team", team_field);
  user.PressEnter("confirm the offered team", team_field);

  HWND login = user.WaitForWindow("login window of the second start", kLoginClass, kLoginTitle);
  LoginFields fields = LoginFieldsOf(user, login);
  EXPECT_EQ(Utf8(TextOf(fields.username)), "alice") << "the login window offers the stored user name";
  EXPECT_GT(TextLengthOf(fields.password), 0) << "the login window fills in the stored password";
  user.ClickInto("click into the stored password", fields.password);
  user.PressEnter("sign in with the stored account", fields.password);
  HWND main = WaitForMainWindow(user, "main window of the second start");

  // What an outsider can see of the message: #general draws a conversation of its own when its row
  // is clicked (the main window may open it by itself at start, so #random goes first); the row
  // the first start drew for the message is drawn again, pixel for pixel; and the state file the
  // service started from still holds it.
  Picture random = SwitchToRow(user, main, layout::kRandomRow, "#random", ConversationPicture(main));
  SwitchToRow(user, main, layout::kGeneralRow, "#general", random);
  user.WaitUntil("#general of the second start (waiting for the sent message's row as the first start drew it)",
                 [&] { return ContainsStrip(ConversationPicture(main), sent_row); }, main);
  StoredMessage stored = FindStoredMessage("demo", Utf8(text));
  EXPECT_TRUE(stored.found) << "after the second start: " << stored.problem;
  EXPECT_EQ(stored.sender_user_name, "alice");
  EXPECT_EQ(stored.channel_name, "general");
  user.CheckAlive("end of the second start", main);
}

}  // namespace
}  // namespace smoke
