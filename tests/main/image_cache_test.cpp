// The image cache: names, buckets, thumbnails, downloads, and images that arrive late.
#include <climits>
#include <fstream>

#include "app/constants.h"
#include "app/storage.h"
#include "frame/window_manager.h"
#include "main/image_cache.h"
#include "main_fixture.h"
#include "veltrina/chat_manager.h"
#include "veltrina/entity.h"

namespace bodies = veltrina::backend;
namespace cache = veltrinawnd::image_cache;
using veltrinawnd::WindowManager;

namespace {
bool Exists(const std::string& ansi_path) {
  return GetFileAttributesW(veltrinawnd::AnsiToWide(ansi_path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
}  // namespace

TEST(ImageCacheNames, AvatarBucketsAndThumbnailSuffixes) {
  EXPECT_EQ(cache::AvatarFileName("a1b2.png", 40, 40, 1), "a1b2_40x40.png");
  EXPECT_EQ(cache::AvatarFileName("a1b2.png", 90, 30, 1), "a1b2_160x40.png");
  EXPECT_EQ(cache::AvatarFileName("a1b2.png", 40, 40, 2), "a1b2_80x80.png");
  EXPECT_EQ(cache::AvatarFileName("a1b2.png", 400, 400, 1), "a1b2_320x320.png");
  EXPECT_EQ(cache::AvatarFileName("noext", 40, 40, 1), "noext_40x40");  // no extension: none added
  EXPECT_EQ(cache::AvatarFileName("", 40, 40, 1), "_40x40");
  auto t = cache::ThumbnailFor("f/abc", "png", 400, 100);
  EXPECT_EQ(t.address, veltrinawnd::kFileBoxHost + "/thumb/f/abc_80x20.png");
  EXPECT_EQ(t.local_name, "f/abc.png");
  EXPECT_EQ(t.full_address, veltrinawnd::kFileBoxHost + "/f/abc.png");
  EXPECT_NE(cache::ThumbnailFor("p", "jpg", 100, 400).address.find("_20x80.jpg"), std::string::npos);
  EXPECT_NE(cache::ThumbnailFor("p", "jpg", 0, 400).address.find("_0x0.jpg"), std::string::npos);
  auto shown = [](long long w, long long h) {
    SIZE s = cache::ThumbnailDisplaySize(w, h);
    return std::make_pair(s.cx, s.cy);
  };
  EXPECT_EQ(shown(400, 300), std::make_pair(80L, 60L));
  EXPECT_EQ(shown(300, 400), std::make_pair(60L, 80L));
  EXPECT_EQ(shown(100, 100), std::make_pair(80L, 80L));
  EXPECT_EQ(shown(-400, 300), std::make_pair(0L, 0L));
  EXPECT_EQ(shown(LLONG_MAX, LLONG_MAX), std::make_pair(80L, 80L));  // no overflow on the way
  EXPECT_EQ(shown(LLONG_MAX, 1).first, 80L);
}

TEST(ImageCacheNames, HostileAndLongNamesStayInsideTheFolderAndApart) {
  for (const std::string& name : std::vector<std::string>{"../../evil.png", "..\\..\\evil.png", "C:\\Windows\\x.png", "a/b/c.png", "..", ".",
                                 "con:x", "a?b*c\"<>|.png", "trailing. ", std::string("nul\0byte", 8), "名字.png"}) {
    std::string safe = cache::CacheName(name);
    EXPECT_EQ(safe.find_first_of("\\/:*?\"<>|"), std::string::npos) << name;
    EXPECT_NE(safe, "..");
    EXPECT_NE(safe, ".");
    EXPECT_NE(safe.back(), '.');
    EXPECT_NE(safe.back(), ' ');
    for (unsigned char c : safe) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << name;
  }
  EXPECT_EQ(cache::CacheName("plain_40x40.png"), "plain_40x40.png");  // ordinary names unchanged
  std::string a = std::string(40, '1') + ".png", b = std::string(40, '1') + ".jpg";
  EXPECT_EQ(cache::CacheName(a).substr(0, 35), std::string(35, '1'));
  EXPECT_NE(cache::CacheName(a), cache::CacheName(b));  // a shared prefix no longer shares a file
  EXPECT_EQ(cache::CacheName(a), cache::CacheName(a));

  // Device names, with or without an extension, would open the console or a port: they become
  // ordinary files that hold what is written to them.
  std::wstring folder = veltrinawnd::AnsiToWide(veltrinawnd::GetImageCacheFolder());
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const char* device : {"con.png", "NUL", "Com1.jpg", "lpt9", "aux .png", "prn.tar.gz"}) {
    std::string safe = cache::CacheName(device);
    EXPECT_EQ(safe[0], '_') << device;
    std::wstring path = folder + veltrinawnd::AnsiToWide(safe);
    { std::ofstream(path.c_str(), std::ios::binary) << "image"; }
    std::string back;
    std::getline(std::ifstream(path.c_str(), std::ios::binary), back);
    EXPECT_EQ(back, "image") << device;
    DeleteFileW(path.c_str());
  }
  EXPECT_EQ(cache::CacheName("console.png"), "console.png");  // only whole device names
}

class ImageCacheTest : public MainTest {};

TEST_F(ImageCacheTest, CachedFilesAnswerAtOnceAndEmptyAnswersLeaveNothing) {
  // A file already in the cache: answered on this thread before Download returns, no request.
  std::string folder = veltrinawnd::GetImageCacheFolder();
  CreateDirectoryW(veltrinawnd::AnsiToWide(folder).c_str(), nullptr);
  std::string name = "cached_40x40.png";
  { std::ofstream(veltrinawnd::AnsiToWide(folder + name).c_str(), std::ios::binary) << "png"; }
  size_t before = service_->CountRequests("http.get");
  std::string answered;
  DWORD thread = 0;
  cache::Download(veltrinawnd::kAvatarBaseUrl + name, name, [&](const std::string& path) {
    answered = path;
    thread = GetCurrentThreadId();
  });
  EXPECT_EQ(answered, folder + name);
  EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_EQ(service_->CountRequests("http.get"), before);

  // An empty body: no file, no callback.
  service_->ServeGeneratedImages();
  service_->AutoAnswer("http.get", [](const bodies::RecordedRequest&) { return bodies::Reply{true, 200, "", "{}", ""}; });
  bool called = false;
  cache::Download("https://storage.veltrina.demo/vtavatar/empty_40x40.png", "empty_40x40.png",
                  [&](const std::string&) { called = true; });
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  testkit::PumpFor(100);
  EXPECT_FALSE(called);
  EXPECT_FALSE(Exists(folder + "empty_40x40.png"));

  // A real answer: written whole under the cache name, the callback gets the path.
  service_->AutoAnswer("http.get", [](const bodies::RecordedRequest&) {
    return bodies::Reply{true, 200, "", "{}", std::string("\x89PNG-bytes", 10)};
  });
  std::string got;
  std::string hostile = "../escape.png";
  cache::Download("https://storage.veltrina.demo/vtavatar/x.png", hostile, [&](const std::string& p) { got = p; });
  ASSERT_TRUE(testkit::PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, folder + cache::CacheName(hostile));
  EXPECT_TRUE(Exists(got));
  EXPECT_FALSE(Exists(folder + "../escape.png"));
}

TEST_F(ImageCacheTest, AnAvatarArrivingAfterItsRowWasRebuiltTouchesNothing) {
  // Downloads are held back until the rows have been rebuilt; nothing is cached yet.
  service_->AutoAnswer("http.get", nullptr);
  DeleteFileW(veltrinawnd::AnsiToWide(veltrinawnd::GetImageCacheFolder() + "u-a_40x40.png").c_str());
  Prime({}, {Im("i-a", "u-a")});
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr; });
  auto first = std::make_shared<std::optional<bodies::RecordedRequest>>();
  d.WaitFor("avatar requested", [this, first] {
    for (const auto& r : service_->Requests("http.get"))
      if (r.Param("url").find("u-a_40x40") != std::string::npos && !r.answered) {
        *first = r;
        return true;
      }
    return false;
  });
  d.Do("rebuild the rows", [] {
    SendMessageW(Main(), WM_USER + 18, 0, 0);  // conversations changed: rows rebuilt
    PostMessageW(Main(), WM_USER + 18, 0, 0);
  });
  d.Pause(50);
  d.Do("then let the old download finish", [this, first] {
    service_->Answer((*first)->id, true, 200, "", "{}", "old-bytes");
  });
  d.Pause(200);
  d.Do("the new row is intact", [] {
    EXPECT_NE(Control(L"imItem_i-a"), nullptr);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}

TEST_F(ImageCacheTest, AThumbnailArrivingAfterItsConversationClosedTouchesNothing) {
  service_->AutoAnswer("http.get", nullptr);  // downloads wait for the test
  DeleteFileW(veltrinawnd::AnsiToWide(veltrinawnd::GetImageCacheFolder() + cache::CacheName("f/late.png")).c_str());
  veltrina::Entity e;
  e.set_entity_id("e-late");
  e.set_path("f/late");
  e.set_file_extension("png");
  e.set_thumb_width(400);
  e.set_thumb_height(300);
  veltrina::Message m = Message("c-1", 1, "u-a", "上传了图片: late.png", 100);
  m.set_message_type(5);
  m.set_entity_json(e.ToJson());
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [](bool, const std::string&) {});
  auto sync = service_->WaitForRequest("messages.sync");
  ASSERT_TRUE(sync);
  service_->Succeed(sync->id, bodies::MessagesBody({m}));
  ASSERT_TRUE(bodies::WaitForCoreIdle());

  auto select = [](const wchar_t* row) {
    auto* list = dynamic_cast<DuiLib::CListUI*>(Control(L"sessionList"));
    list->SelectItem(list->GetItemIndex(Control(row)), false);
  };
  auto thumb = std::make_shared<std::optional<bodies::RecordedRequest>>();
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() != nullptr && Control(L"channelItem_c-1") != nullptr; });
  d.Do("open the image's conversation", [select] { select(L"channelItem_c-1"); });
  d.WaitFor("thumbnail requested", [this, thumb] {
    for (const auto& r : service_->Requests("http.get"))
      if (r.Param("url").find("/thumb/f/late_80x60.png") != std::string::npos && !r.answered) *thumb = r;
    return thumb->has_value();
  });
  d.Do("switch away, then let the download finish", [this, thumb, select] {
    select(L"channelItem_c-2");
    service_->Answer((*thumb)->id, true, 200, "", "{}", "late-bytes");
  });
  d.Pause(200);
  d.Do("the other conversation is intact", [] {
    EXPECT_TRUE(Exists(veltrinawnd::GetImageCacheFolder() + cache::CacheName("f/late.png")));  // cached for next time
    EXPECT_EQ(dynamic_cast<DuiLib::CListUI*>(Control(L"chat_display"))->GetCount(), 0);
    WindowManager::Instance()->CloseAll();
  });
  RunMain(d);
}
