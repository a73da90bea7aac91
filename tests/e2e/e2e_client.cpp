// One user in front of one real Veltrina.exe, inside the Wine prefix and display this program runs in,
// steered line by line from outside (tests/e2e/e2e_test.py drives two of them, one per prefix, so that
// the two clients share nothing but the server). Every command answers one line: "ok [json]" or
// "error <why>". The user acts only with real input and reads only what the windows tell:
//   start <server url> <user> <password>  start the client, choose team demo and sign in
//   general                               open #general and wait until its messages are shown
//   send <text>                           type the text into the composer and press Enter
//   read                                  the conversation's text as the window tells it (a JSON string)
//   stop                                  end the client as the task manager would
//   quit
#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "smoke/smoke_steps.h"
#include "smoke/smoke_user.h"

namespace {

using smoke::ClientProcess;
using smoke::SmokeUser;

constexpr wchar_t kReadoutClass[] = L"VeltrinaConversationText";

std::wstring Wide(const std::string& utf8) {
  std::wstring out(utf8.size(), L'\0');
  out.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                       out.data(), static_cast<int>(out.size()))));
  return out;
}

// The whole text of a window, however long, by WM_GETTEXTLENGTH and WM_GETTEXT.
std::wstring LongTextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &length))
    smoke::Fail("the conversation's text does not answer");
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &copied))
    smoke::Fail("the conversation's text does not answer");
  text.resize(std::min<size_t>(copied, length));
  return text;
}

class Session {
 public:
  std::string Handle(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "start") {
      std::string url, name, password;
      in >> url >> name >> password;
      Start(url, name, password);
      return "ok";
    }
    if (command == "general") {
      Need();
      // Right after the sign-in the list may still be filling, and a click can find no row yet:
      // it is made again every three seconds.
      int round = 0;
      user_->WaitUntil("#general shows messages", [&] {
        if (round++ % 60 == 0) user_->Click("open #general", main_, smoke::kGeneralRow);
        return !LongTextOf(Readout()).empty();
      }, main_);
      return "ok";
    }
    if (command == "send") {
      Need();
      std::string text;
      std::getline(in >> std::ws, text);
      HWND composer = smoke::LaidOutField(*user_, main_, L"RICHEDIT50W", false, {-1, -1});
      user_->TypeInto("type the message", composer, Wide(text));
      user_->PressEnter("send it", composer);
      user_->WaitUntil("the composer empties", [&] { return smoke::TextOf(composer).empty(); }, main_);
      return "ok";
    }
    if (command == "read") {
      Need();
      user_->CheckAlive("read the conversation", main_);
      return "ok " + nlohmann::json(smoke::Utf8(LongTextOf(Readout()))).dump(-1, ' ', true);
    }
    if (command == "stop") {
      user_.reset();
      client_.reset();
      main_ = nullptr;
      return "ok";
    }
    smoke::Fail("unknown command: " + command);
  }

 private:
  void Start(const std::string& url, const std::string& name, const std::string& password) {
    user_.reset();
    client_.reset();
    const bool first = !std::filesystem::exists(smoke::DataFolder());
    client_ = std::make_unique<ClientProcess>(L"--server " + Wide(url));
    user_ = std::make_unique<SmokeUser>(*client_);
    const smoke::LoginWindow login = smoke::EnterTeamDemo(*user_, first);
    user_->TypeInto("type the user name", login.name, Wide(name));
    user_->TypeInto("type the password", login.password, Wide(password));
    user_->PressEnter("sign in", login.password);
    main_ = user_->WaitForWindow("the main window", L"MainWindow", L"Veltrina");
    smoke::LaidOutField(*user_, main_, L"RICHEDIT50W", false, smoke::ChatInputTopLeft(smoke::ClientSize(main_)));
    user_->WaitUntilHidden("the login window closes", login.window);
  }

  void Need() const {
    if (!main_) smoke::Fail("no client signed in");
  }

  HWND Readout() const {
    const std::vector<HWND> found = smoke::ChildrenOfClass(main_, kReadoutClass);
    if (found.size() != 1) smoke::Fail("the main window has no conversation text to read");
    return found.front();
  }

  std::unique_ptr<ClientProcess> client_;
  std::unique_ptr<SmokeUser> user_;
  HWND main_ = nullptr;
};

}  // namespace

int main() {
  Session session;
  std::string line;
  while (std::getline(std::cin, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line == "quit") break;
    std::string answer;
    try {
      answer = session.Handle(line);
    } catch (const std::exception& e) {
      answer = std::string("error ") + e.what();
      for (char& c : answer)
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::cout << answer << std::endl;
  }
  return 0;
}
