#include "smoke_steps.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace smoke {

SIZE ClientSize(HWND hwnd) {
  RECT rc{};
  return ::GetClientRect(hwnd, &rc), SIZE{rc.right, rc.bottom};
}

// The window's native edit (the password one when asked), once laid out where the skin says (x or y < 0: anywhere).
HWND LaidOutField(SmokeUser& user, HWND window, const wchar_t* cls, bool password, POINT expected) {
  HWND field = nullptr;
  RECT rc{};
  user.WaitUntil("layout of a " + Utf8(cls), [&] {
    for (HWND h : ChildrenOfClass(window, cls))
      if (((::GetWindowLongW(h, GWL_STYLE) & ES_PASSWORD) != 0) == password) field = h;
    rc = RECT{};
    if (field && ::GetWindowRect(field, &rc)) ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rc), 2);
    return field && rc.right > rc.left && (expected.x < 0 || rc.left == expected.x) &&
           (expected.y < 0 || rc.top == expected.y);
  }, window, [&] { return "it at " + std::to_string(rc.left) + "," + std::to_string(rc.top) + ": skin moved?"; });
  return field;
}

// The tray icon has no window: it is the only icon at the right end of the Wine taskbar, found by its pixels.
POINT TrayIcon(SmokeUser& user) {
  RECT bar{};
  ::GetWindowRect(::FindWindowW(L"Shell_TrayWnd", nullptr), &bar);
  const RECT area{bar.right - 120, bar.top + 2, bar.right, bar.bottom - 2};  // inside the bar's own edges
  const int width = area.right - area.left;
  int left = width, right = -1;
  user.WaitUntil("find the tray icon", [&] {
    const std::vector<uint32_t> pixels = CaptureScreen(area);
    for (size_t i = 0; i < pixels.size(); ++i) {
      if (pixels[i] == pixels[width - 1]) continue;  // the background at the bar's right end
      left = std::min(left, static_cast<int>(i % width));
      right = std::max(right, static_cast<int>(i % width));
    }
    return right >= left;
  });
  return POINT{area.left + (left + right) / 2, (bar.top + bar.bottom) / 2};
}


// The team window answered with team demo; returns the login window that follows it.
LoginWindow EnterTeamDemo(SmokeUser& user, bool first_start) {
  HWND team = user.WaitForWindow(first_start ? "first start" : "a later start", L"SubdomainWnd", L"登录团队");
  HWND team_field = LaidOutField(user, team, L"Edit", false, {-1, kTopOfTeamEdit});
  if (first_start) {
    EXPECT_EQ(Utf8(TextOf(team_field)), "") << "a first start offers no team";
  }
  user.TypeInto("type team demo", team_field, L"demo");
  user.PressEnter("confirm team demo", team_field);
  HWND login = user.WaitForWindow("login window", L"LoginWindow", L"登录");
  user.WaitUntilHidden("the team window closes", team);
  return {login, LaidOutField(user, login, L"Edit", false, {-1, kTopOfUserNameEdit}),
          LaidOutField(user, login, L"Edit", true, {-1, -1})};
}

// Signs in as alice; returns the main window once its composer is laid out.
HWND SignIn(SmokeUser& user, const LoginWindow& login) {
  user.TypeInto("type the user name", login.name, L"alice");
  user.TypeInto("type the right password", login.password, L"veltrina");
  user.PressEnter("sign in", login.password);
  HWND main = user.WaitForWindow("the main window", L"MainWindow", L"Veltrina");
  LaidOutField(user, main, L"RICHEDIT50W", false, ChatInputTopLeft(ClientSize(main)));
  user.WaitUntilHidden("the login window closes", login.window);
  return main;
}

std::vector<uint32_t> Conversation(HWND main) {
  RECT screen = ConversationArea(ClientSize(main));
  ::MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&screen), 2);
  return CaptureScreen(screen);
}

std::string StoredMessage(const std::string& content) {
  using nlohmann::json;
  std::ifstream in(std::filesystem::path(DataFolder() + L"\\demo-service.json"), std::ios::binary);
  const json state = json::parse(in, nullptr, false);
  auto named = [](const json& list, const char* key, const json& value, const char* name) {
    for (const json& item : list)
      if (item.at(key) == value) return item.at(name).get<std::string>();
    return std::string("?");
  };
  try {
    for (const json& team : state.at("teams"))
      for (const json& m : team.at("messages"))
        if (team.at("team").at("team_subdomain") == "demo" && m.at("content") == content)
          return named(team.at("users"), "uid", m.at("uid"), "user_name") + " in #" +
                 named(team.at("channels"), "channel_id", m.at("channel_id"), "channel_name");
  } catch (const json::exception& e) {
    return e.what();
  }
  return "no such message of team demo";
}

std::vector<uint32_t> OpenGeneral(SmokeUser& user, HWND main) {
  user.Click("open #general", main, kGeneralRow);
  std::vector<uint32_t> drawn;
  user.WaitUntil("open #general (waiting for a conversation)", [&] {
    drawn = Conversation(main);
    return std::set<uint32_t>(drawn.begin(), drawn.end()).size() >= 32;
  }, main);
  return drawn;
}

}  // namespace smoke
