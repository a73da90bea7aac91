#include "client_steps.h"

#include "client_windows.h"
#include "skin_layout.h"
#include "smoke_failure.h"
#include "state_file.h"
#include "window_probe.h"

namespace smoke {

HWND SignInAsAlice(SmokeUser& user) {
  HWND team = user.WaitForWindow("team window", kTeamClass, kTeamTitle);
  HWND team_field = SubdomainEditOf(user, team);
  user.TypeInto("type team demo", team_field, L"demo");
  user.PressEnter("confirm team demo", team_field);
  HWND login = user.WaitForWindow("login window after team demo", kLoginClass, kLoginTitle);
  LoginFields fields = LoginFieldsOf(user, login);
  user.TypeInto("type user name", fields.username, L"alice");
  user.TypeInto("type password", fields.password, L"veltrina");
  user.PressEnter("sign in", fields.password);
  return WaitForMainWindow(user, "main window after signing in");
}

Picture SwitchToRow(SmokeUser& user, HWND main_window, int row, const std::string& name, const Picture& before) {
  user.Click("open " + name, main_window, layout::SessionRow(row));
  Picture now;
  user.WaitUntil("open " + name + " (waiting until the conversation area shows another conversation)", [&] {
    now = ConversationPicture(main_window);
    return now != before && ShowsConversation(now);
  }, main_window, [&] { return std::to_string(DistinctColours(now.pixels)) + " colour(s) there"; });
  return now;
}

Picture OpenGeneral(SmokeUser& user, HWND main_window) {
  user.Click("open #general", main_window, layout::SessionRow(layout::kGeneralRow));
  Picture now;
  user.WaitUntil("open #general (waiting until the conversation area shows a conversation)",
                 [&] { return ShowsConversation(now = ConversationPicture(main_window)); }, main_window,
                 [&] { return std::to_string(DistinctColours(now.pixels)) + " colour(s) there"; });
  return now;
}

Picture WaitForSteadyChange(SmokeUser& user, const std::string& step, HWND main_window, const Picture& before) {
  constexpr int kSteadyRounds = 4;  // polls apart: a few hundred milliseconds without a change
  Picture last;
  int steady = 0;
  user.WaitUntil(step + " (waiting until the conversation area changes and settles)", [&] {
    Picture now = ConversationPicture(main_window);
    steady = (now == last && now != before) ? steady + 1 : 0;
    last = std::move(now);
    return steady >= kSteadyRounds;
  }, main_window);
  return last;
}

std::wstring UniqueMessageText() { return L"smoke " + std::to_wstring(::GetTickCount64()); }

void SendInGeneral(SmokeUser& user, HWND main_window, const std::wstring& text) {
  HWND input = ChatInputOf(user, main_window);
  user.TypeInto("type a message", input, text);
  user.PressEnter("send the message", input);
  std::wstring left;
  user.WaitUntil("send the message (waiting until the composer is empty)",
                 [&] { return (left = TextOf(input)).empty(); }, main_window,
                 [&] { return "'" + Utf8(left) + "' in the composer"; });
  StoredMessage stored;
  user.WaitUntil("send the message (waiting for it in the state file)",
                 [&] { return (stored = FindStoredMessage("demo", Utf8(text))).found; }, main_window,
                 [&] { return stored.problem; });
  if (stored.sender_user_name != "alice" || stored.channel_name != "general")
    Fail("the state file holds the message from " + stored.sender_user_name + " in #" + stored.channel_name +
         ", expected alice in #general");
}

}  // namespace smoke
