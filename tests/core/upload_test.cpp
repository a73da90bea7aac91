// Uploads through the core into the demo service: what is refused before reading, where the
// bytes go, the names they are shared under, and stored feedback.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "demo_support.h"

namespace {

using namespace core_test;

struct Outcome {
  bool ok = false;
  std::string error;
  veltrina::Entity entity;
};

Outcome Upload(const std::string& path, const std::string& name, const std::string& conversation = "c-random") {
  Slot<Outcome> slot;
  veltrina::HttpClient::SharedClient()->Upload(path, name, "", conversation, true,
                                               [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
                                                 Outcome o{ok, r->error(), {}};
                                                 veltrina::Message m;
                                                 if (ok && veltrina::backend::FromJson(r->raw_data(), &m))
                                                   o.entity.InitWithJsonOrDie(m.entity_json());
                                                 slot.Set(o);
                                               });
  EXPECT_TRUE(slot.Wait());
  return slot.Get();
}

TEST(Upload, FilesThatCannotBeSentFailClearlyBeforeAnyReading) {
  TempFolder folder;
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  // Both are held open without sharing: the large one can only have been judged by its size.
  auto wide = [&](const char* name) { return std::filesystem::path(folder.File(name)); };
  HANDLE large = CreateFileW(wide("large.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  HANDLE locked = CreateFileW(wide("locked.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  LARGE_INTEGER size{.QuadPart = static_cast<LONGLONG>(veltrina::HttpClient::kMaxUploadBytes) + 1};
  ASSERT_TRUE(SetFilePointerEx(large, size, nullptr, FILE_BEGIN) && SetEndOfFile(large));
  EXPECT_NE(Upload(folder.File("large.bin"), "large.bin").error.find("100 MB"), std::string::npos);
  EXPECT_EQ(Upload(folder.File("locked.txt"), "locked.txt").error, "the file cannot be read");
  CloseHandle(large);
  CloseHandle(locked);
  EXPECT_EQ(Upload(folder.File("gone.txt"), "gone.txt").error, "the file no longer exists");
}

TEST(Upload, SharedNamesAreMadeSafeTheBytesStayInTheFolderAndFeedbackIsKept) {
  TempFolder folder;
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  const char header[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x03\x20\0\0\0\xc8 and the rest";
  const std::string png(header, sizeof header - 1);
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("p.png"), png));
  const std::pair<std::string, std::string> names[] = {
      {"..\\..\\evil.png", ".._.._evil.png"}, {"a/b:c*?.png", "a_b_c__.png"}, {"CON", "_CON"},
      {"nul.txt", "_nul.txt"},                {"Com1.tar.png", "_Com1.tar.png"}, {"lpt9 .png", "_lpt9 .png"},
      {"a\x01\x1f" "b.png", "a__b.png"},      {"trail. . ", "trail"},          {"...", "file"},
      {"", "p.png"}};
  for (const auto& [given, shared] : names) {
    Outcome o = Upload(folder.File("p.png"), given);
    ASSERT_TRUE(o.ok) << given << ": " << o.error;
    EXPECT_EQ(o.entity.title(), shared) << given;
  }
  Outcome longest = Upload(folder.File("p.png"), std::string(10000, 'a') + ".png");
  ASSERT_TRUE(longest.ok);
  EXPECT_EQ(longest.entity.title(), std::string(196, 'a') + ".png");
  // A picture: its size from its header, its thumbnail is its own bytes, its message reached
  // the conversation, and the file browser lists it.
  EXPECT_EQ(longest.entity.entity_type(), veltrina::Entity::kImage);
  EXPECT_EQ(longest.entity.thumb_width(), 800);
  EXPECT_EQ(longest.entity.thumb_height(), 200);
  Slot<std::string> thumb;
  veltrina::HttpClient::SharedClient()->Send(
      veltrina::HttpRequest("https://files.veltrina.demo/thumb/" + longest.entity.path() + "_160x40.png"),
      [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) { thumb.Set(ok ? r->raw_data() : ""); });
  ASSERT_TRUE(thumb.Wait());
  EXPECT_TRUE(thumb.Get() == png);
  ASSERT_TRUE(veltrina::backend::WaitForCoreIdle());
  auto messages = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-random", 0, 2147483647, 50,
                                                                                 nullptr, nullptr, false);
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const auto& m) {
    return m->entity_json().find(longest.entity.entity_id()) != std::string::npos;
  }));
  Slot<bool> listed;
  veltrina::Director::DefaultDirector()->entity_manager()->GetEntityById(
      longest.entity.entity_id(), [&](bool ok, const std::string&, auto e) { listed.Set(ok && e); });
  ASSERT_TRUE(listed.Wait());
  EXPECT_TRUE(listed.Get());
  // Every stored file is "<entity id>.<letters and digits>" inside the service's folder.
  size_t stored = 0;
  for (const auto& f : std::filesystem::recursive_directory_iterator(std::filesystem::path(folder.File(""))))
    if (f.is_regular_file() && f.path().parent_path() != std::filesystem::path(folder.path())) {
      EXPECT_EQ(f.path().parent_path().filename(), "demo-files") << f.path();
      EXPECT_EQ(f.path().filename().string().rfind("e-", 0), 0u) << f.path();
      ++stored;
    }
  EXPECT_EQ(stored, 11u);

  auto feedback = [](const std::string& text) {
    veltrina::Feedback f;
    f.set_title("Windows Feedback");
    f.set_description(text);
    Slot<bool> sent;
    veltrina::WebApi::Api()->PostFeedback(f, [&](bool ok, const std::string&) { sent.Set(ok); });
    EXPECT_TRUE(sent.Wait());
    return sent.Get();
  };
  EXPECT_TRUE(feedback("好用"));
  EXPECT_FALSE(feedback(std::string(100 * 1024, 'x')));
  std::string state;
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->ReadFile(folder.File("demo-service.json"), &state));
  EXPECT_NE(state.find("好用"), std::string::npos);
  EXPECT_EQ(state.find("xxxxxxxx"), std::string::npos);
}

}  // namespace
