// Outside in: the real Veltrina.exe driven with real input and watched from outside (windows, message boxes, the
// demo service's state file, the screen's pixels).
#include <gtest/gtest.h>

#include <stb/stb_image_write.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "smoke_steps.h"
#include "smoke_user.h"

namespace smoke {
namespace {

class Smoke : public ::testing::Test {  // a first start; no state left for the groups sharing the documents folder
  void SetUp() override { ForgetEverything(); }
  void TearDown() override { ForgetEverything(); }
};

TEST_F(Smoke, WrongPasswordThenSignInSendAMessageHideToTheTrayAndExit) {
  ClientProcess client;
  SmokeUser user(client);
  const LoginWindow login_window = EnterTeamDemo(user, true);
  const HWND login = login_window.window, name = login_window.name, password = login_window.password;

  user.TypeInto("type the user name", name, L"alice");
  user.TypeInto("type a wrong password", password, L"wrong");
  user.PressEnter("sign in with the wrong password", password);
  HWND box = user.WaitForWindow("the wrong password box", L"#32770");
  EXPECT_EQ(Utf8(user.AnswerMessageBox("answer the box with Enter", box)), "用户名或密码错误");
  user.CheckAlive("the login window after the box", login);
  ASSERT_TRUE(::IsWindowVisible(login)) << "the login window went away with the box";
  EXPECT_EQ(user.FindShown(L"MainWindow"), nullptr) << "a main window after a wrong password";

  HWND main = SignIn(user, login_window);
  HWND composer = LaidOutField(user, main, L"RICHEDIT50W", false, ChatInputTopLeft(ClientSize(main)));
  const std::vector<uint32_t> before = OpenGeneral(user, main);
  std::vector<uint32_t> last;
  const std::wstring text = L"smoke " + std::to_wstring(::GetTickCount64());
  user.TypeInto("type a message", composer, text);
  user.PressEnter("send it", composer);
  user.WaitUntil("send it (waiting for an empty composer)", [&] { return TextOf(composer).empty(); }, main);
  std::string stored;
  user.WaitUntil("send it (waiting for it in the service's state)",
                 [&] { return (stored = StoredMessage(Utf8(text))) == "alice in #general"; }, main,
                 [&] { return stored; });
  // Its text cannot be read from outside; its arrival redraws the conversation, which then settles.
  int steady = 0;
  user.WaitUntil("the sent message is drawn", [&] {
    std::vector<uint32_t> now = Conversation(main);
    steady = now == last && now != before ? steady + 1 : 0;
    last = std::move(now);
    return steady >= 4;
  }, main);

  user.Click("the close button", main, CloseButton(ClientSize(main)));
  user.WaitUntilHidden("the close button hides the main window", main);
  ::Sleep(1000);
  user.CheckAlive("hidden in the tray, not ended", main);
  user.Click(TrayIcon(user));
  user.WaitUntil("a click on the tray icon shows it again", [&] { return ::IsWindowVisible(main) != FALSE; }, main);
  user.Click(TrayIcon(user), true);
  HWND menu = user.WaitForWindow("the tray menu", L"#32768");
  RECT rc{};
  ::GetWindowRect(menu, &rc);
  user.Click(POINT{(rc.left + rc.right) / 2, rc.top + (rc.bottom - rc.top) * 3 / 4});  // the lower item: 退出Veltrina
  EXPECT_EQ(client.ExitCode(20000), 0u) << "the exit code after 退出Veltrina";
  // What was written stays out of the log, and no password is kept as it is.
  auto text_of = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  };
  const std::string log = text_of(client.log_path()), state = text_of(DataFolder() + L"\\demo-service.json");
  EXPECT_NE(log.find("App init"), std::string::npos) << "no log captured";
  EXPECT_EQ(log.find(Utf8(text)), std::string::npos) << "the sent text is in the log";
  EXPECT_NE(state.find("\"password_hash\":\"pbkdf2-sha256$"), std::string::npos);
  EXPECT_EQ(state.find("\"veltrina\""), std::string::npos) << "a password as it is in the state file";
}

// The image cache: Documents\tmp, with whatever folders the client keeps in it.
std::filesystem::path ImageCacheFolder() { return std::filesystem::path(DataFolder()).parent_path() / L"tmp"; }

std::vector<std::filesystem::path> CachedPictures() {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(ImageCacheFolder(), error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    if (it->is_regular_file(error)) files.push_back(it->path());
  return files;
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.empty()) Fail("cannot read " + path.string());
  return bytes;
}

std::string SingleColourPng(int side) {
  const std::vector<uint32_t> pixels(static_cast<size_t>(side) * side, 0xFF3366CCu);
  std::string png;
  stbi_write_png_to_func([](void* out, void* data, int size) { static_cast<std::string*>(out)->append(
                             static_cast<const char*>(data), static_cast<size_t>(size)); },
                         &png, side, side, 4, pixels.data(), side * 4);
  return png;
}

// Drawn, not left black by a paint that faulted: several colours, and black at most in places.
bool Painted(HWND main, RECT area) {
  ::MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&area), 2);
  const std::vector<uint32_t> pixels = CaptureScreen(area);
  const auto black = std::count(pixels.begin(), pixels.end(), 0u);
  return std::set<uint32_t>(pixels.begin(), pixels.end()).size() >= 4 && black * 4 < std::ssize(pixels);
}

// Pictures are hostile input: a peer who sets an avatar or shares a picture, or a server, decides what lands in the
// image cache. A JPEG crafted against decoders that trust its Huffman tables and a 4096 by 4096 PNG stand in for
// every avatar and thumbnail the client cached on a first start; the next start must still paint the whole main
// window, with placeholders where pictures are refused, and keep decoded pictures within bounds.
TEST_F(Smoke, HostilePicturesInTheImageCache) {
  std::error_code error;
  std::filesystem::remove_all(ImageCacheFolder(), error);
  {
    ClientProcess client;
    SmokeUser user(client);
    HWND main = SignIn(user, EnterTeamDemo(user, true));
    OpenGeneral(user, main);
    size_t cached = 0, steady = 0;
    user.WaitUntil("the avatars and #general's pictures are cached", [&] {
      const size_t now = CachedPictures().size();
      steady = now == cached ? steady + 1 : 0;
      cached = now;
      return cached >= 6 && steady >= 20;
    }, main, [&] { return std::to_string(cached) + " files"; });
  }  // ended here, as by the task manager
  wchar_t exe[MAX_PATH] = {};
  const std::filesystem::path here = std::filesystem::path(std::wstring(exe, ::GetModuleFileNameW(nullptr, exe, MAX_PATH)));
  const std::string crafted = FileBytes(here.parent_path() / L"hostile" / L"dht_overflow.jpg");
  const std::string huge = SingleColourPng(4096);
  int planted = 0;
  for (const std::filesystem::path& file : CachedPictures()) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << (planted++ % 2 ? huge : crafted);
    if (!out.flush()) Fail("cannot write " + file.string());
  }

  ClientProcess client;
  SmokeUser user(client);
  HWND main = SignIn(user, EnterTeamDemo(user, false));
  OpenGeneral(user, main);
  const SIZE c = ClientSize(main);
  int steady = 0;
  user.WaitUntil("the header, the session list and the conversation are painted and stay so", [&] {
    const bool painted = Painted(main, RECT{0, 0, c.cx, kHeader}) && Painted(main, RECT{0, kHeader, kLeftPanel, c.cy}) &&
                         Painted(main, ConversationArea(c));
    steady = painted ? steady + 1 : 0;
    return steady >= 20;  // a second of paints after every decode that was asked for
  }, main);
  const SIZE_T budget = SIZE_T{256} << 20;  // the client's own tens of MB and its bounded picture budget
  EXPECT_LT(PrivateBytes(client.id()), budget) << planted << " hostile pictures";
}

}  // namespace
}  // namespace smoke
