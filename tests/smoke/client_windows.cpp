#include "client_windows.h"

#include "skin_layout.h"
#include "smoke_failure.h"
#include "window_probe.h"

namespace smoke {
namespace {

// The drawn buttons are clicked where the skin puts them; a native field checks that arithmetic.
// A window may show before the toolkit has laid it out, so its field gets time to arrive.
void WaitForField(SmokeUser& user, HWND window, HWND field, POINT expected, const std::string& what) {
  RECT rc{};
  user.WaitUntil("layout of " + what, [&] {
    rc = RectInClientOf(field, window);
    return (expected.x < 0 || rc.left == expected.x) && rc.top == expected.y;
  }, window, [&] {
    return what + " at (" + std::to_string(rc.left) + "," + std::to_string(rc.top) + ") of its window, not (" +
           (expected.x < 0 ? std::string("any") : std::to_string(expected.x)) + "," + std::to_string(expected.y) +
           "): if the skin moved, update tests/smoke/skin_layout.h";
  });
}

HWND OnlyChild(SmokeUser& user, HWND window, const wchar_t* class_name, const std::string& what) {
  user.CheckAlive("finding " + what, window);
  std::vector<HWND> found = ChildrenOfClass(window, class_name);
  if (found.size() != 1)
    Fail("expected one " + Utf8(class_name) + " child window (" + what + "), found " + std::to_string(found.size()));
  return found.front();
}

}  // namespace

HWND SubdomainEditOf(SmokeUser& user, HWND team_window) {
  HWND edit = OnlyChild(user, team_window, L"Edit", "the team field");
  WaitForField(user, team_window, edit, POINT{-1, layout::kTopOfSubdomainEdit}, "the team field");
  return edit;
}

LoginFields LoginFieldsOf(SmokeUser& user, HWND login_window) {
  user.CheckAlive("finding the login fields", login_window);
  LoginFields fields;
  std::vector<HWND> edits = ChildrenOfClass(login_window, L"Edit");
  for (HWND edit : edits) {
    if (::GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) fields.password = edit;
    else fields.username = edit;
  }
  if (edits.size() != 2 || !fields.username || !fields.password)
    Fail("expected a user name edit and a password edit (ES_PASSWORD) in the login window, found " +
         std::to_string(edits.size()) + " edit(s)");
  WaitForField(user, login_window, fields.username, POINT{-1, layout::kTopOfUsernameEdit}, "the user name field");
  return fields;
}

HWND ChatInputOf(SmokeUser& user, HWND main_window) {
  HWND input = OnlyChild(user, main_window, L"RICHEDIT50W", "the composer chat_input");
  WaitForField(user, main_window, input, layout::TopLeftOfChatInput(ClientSize(main_window)), "the composer");
  return input;
}

HWND WaitForMainWindow(SmokeUser& user, const std::string& step) {
  HWND main = user.WaitForWindow(step, kMainClass, kMainTitle);
  ChatInputOf(user, main);
  return main;
}

}  // namespace smoke
