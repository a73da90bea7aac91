// The demo service keeps everything across a restart and survives a corrupt state file.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "demo_support.h"
#include "veltrina/log.h"

namespace {

// The core's log lines while it lives.
class LogCapture {
 public:
  LogCapture() {
    veltrina::set_log_observer([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
    });
  }
  ~LogCapture() { veltrina::set_log_observer(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  bool Contains(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : lines_)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

using namespace core_test;

TEST(DemoPersistence, ARestartKeepsEverythingSent) {
  TempFolder folder;
  std::string key, channel_id, comment_id, upload_path, upload_ext;
  std::string upload_bytes("\x89PNG\r\n\x1a\n and some bytes \0 with a zero", 40);
  {
    InstallDemo(folder.path());
    SignInAndLoad("alice", "veltrina");
    auto sent = Send(*veltrina::Message::TextMessageForChannel("c-random", "记住我 :smile:"));
    ASSERT_TRUE(sent);
    key = sent->key();

    Slot<std::string> created;
    veltrina::ChannelManager::DefaultManager()->CreateChannel(
        "persisted", "topic", 1, {"u-bob"}, [&](bool ok, const std::string&, std::unique_ptr<veltrina::Channel> c) {
          created.Set(ok && c ? c->channel_id() : "");
        });
    ASSERT_TRUE(created.Wait());
    channel_id = created.Get();
    ASSERT_FALSE(channel_id.empty());

    Slot<std::string> commented;
    veltrina::Director::DefaultDirector()->entity_manager()->PostCommentForEntity(
        "e-1005", "a comment", [&](bool ok, const std::string&, std::unique_ptr<veltrina::Comment> c) {
          commented.Set(ok && c ? c->comment_id() : "");
        });
    ASSERT_TRUE(commented.Wait());

    std::string local = folder.File("upload me.png");
    ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(local, upload_bytes));
    Slot<std::string> uploaded;
    veltrina::HttpClient::SharedClient()->Upload(local, "shared name.png", "", "c-random", true,
                                                 [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
                                                   uploaded.Set(ok ? r->raw_data() : "");
                                                 });
    ASSERT_TRUE(uploaded.Wait());
    veltrina::Message message;
    ASSERT_TRUE(veltrina::backend::FromJson(uploaded.Get(), &message));
    veltrina::Entity entity;
    ASSERT_TRUE(entity.InitWithJsonOrDie(message.entity_json()));
    EXPECT_EQ(entity.title(), "shared name.png");
    EXPECT_EQ(entity.entity_type(), veltrina::Entity::kImage);
    upload_path = entity.path();
    upload_ext = entity.file_extension();

    EXPECT_GT(veltrina::ChatManager::DefaultManager()->NumUnreadInChannelFromMemCache("g-leads").num_unread, 0u);
    veltrina::ChatManager::DefaultManager()->MarkReadCursorForChannelInCache("g-leads", std::time(nullptr), false);
    Slot<bool> read;
    veltrina::ChatManager::DefaultManager()->MarkAsRead("c-general", 1, 2147483000,
                                                        [&](bool ok, const std::string&) { read.Set(ok); });
    ASSERT_TRUE(read.Wait());
    ASSERT_TRUE(read.Get());
  }
  // A new service on the same folder: the old one is detached, its state read back.
  InstallDemo(folder.path());
  SignInAndLoad("alice", "veltrina");
  auto messages = veltrina::ChatManager::DefaultManager()->FetchMessagesFromCache("c-random", 0, 2147483647, 20,
                                                                                 nullptr, nullptr, false);
  bool found = false;
  for (const auto& m : messages) found = found || (m->key() == key && m->content() == "记住我 :smile:");
  EXPECT_TRUE(found);
  auto channel = veltrina::ChannelManager::DefaultManager()->FetchChannelFromCacheByChannelId(channel_id);
  ASSERT_TRUE(channel);
  EXPECT_TRUE(channel->is_member());
  EXPECT_EQ(channel->channel_name(), "persisted");
  Slot<size_t> comments;
  veltrina::Director::DefaultDirector()->entity_manager()->GetEntityById(
      "e-1005", [&](bool ok, const std::string&, std::unique_ptr<veltrina::Entity> e) {
        comments.Set(ok && e ? e->comments().size() : 0);
      });
  ASSERT_TRUE(comments.Wait());
  EXPECT_GE(comments.Get(), 1u);
  Slot<std::string> download;
  veltrina::HttpClient::SharedClient()->Send(
      veltrina::HttpRequest(std::string(veltrina::kFileBoxUrl) + "/" + upload_path + "." + upload_ext),
      [&](bool ok, std::unique_ptr<veltrina::HttpResponse> r) { download.Set(ok ? r->raw_data() : ""); });
  ASSERT_TRUE(download.Wait());
  EXPECT_EQ(download.Get(), upload_bytes);
  EXPECT_EQ(veltrina::ChatManager::DefaultManager()->NumUnreadInChannelFromMemCache("c-general").num_unread, 0u);
  EXPECT_EQ(veltrina::ChatManager::DefaultManager()->NumUnreadInChannelFromMemCache("g-leads").num_unread, 0u);
}

TEST(DemoPersistence, ACorruptStateFileIsMovedAsideAndTheDemoStarts) {
  TempFolder folder;
  {
    std::ofstream out(folder.File("demo-service.json"), std::ios::binary);
    out << "{\"format\":1, \"teams\": [ \xff truncated";
  }
  {
    LogCapture log;
    InstallDemo(folder.path());
    EXPECT_TRUE(log.Contains("corrupt"));
  }
  EXPECT_TRUE(Login("alice", "veltrina").ok);
  WIN32_FIND_DATAW data;
  std::wstring pattern(folder.path().begin(), folder.path().end());
  HANDLE find = FindFirstFileW((pattern + L"\\demo-service.json.corrupt-*").c_str(), &data);
  EXPECT_NE(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);

  // Valid JSON nested too deep where a feedback item stands counts as corrupt: kept, it would
  // overflow the stack each time the state is copied or written.
  std::string state;
  {
    std::ifstream in(folder.File("demo-service.json"), std::ios::binary);
    state.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const size_t feedback = state.find("\"feedback\":[");
  ASSERT_NE(feedback, std::string::npos);
  state.insert(feedback + 12, std::string(200000, '[') + std::string(200000, ']') + (state[feedback + 12] == ']' ? "" : ","));
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("demo-service.json"), state));
  InstallDemo(folder.path());
  EXPECT_TRUE(Login("lilei", "veltrina").ok);

  // Valid JSON that is not a state is kept aside too.
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("demo-service.json"), "[1,2,3]"));
  InstallDemo(folder.path());
  EXPECT_TRUE(Login("bob", "veltrina").ok);
}

TEST(DemoPersistence, TimerSettingsAreHeldToAPaceTheDemoCanKeep) {
  TempFolder folder;
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(
      folder.File("demo-config.json"), R"({"life_interval_ms": 1, "connection_drop_interval_ms": 9000000000000000000})"));
  LogCapture log;
  InstallDemo(folder.path());
  EXPECT_TRUE(Login("bob", "veltrina").ok);
  EXPECT_TRUE(log.Contains("life_interval_ms of 1 ms is held to 100 ms"));
  EXPECT_TRUE(log.Contains("connection_drop_interval_ms of 9000000000000000000 ms is held to 86400000 ms"));
}

}  // namespace
