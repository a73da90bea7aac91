// The image cache: names, thumbnails, downloads, and images that arrive late.
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

namespace {
std::string Folder() { return veltrinawnd::GetImageCacheFolder(); }
bool Exists(const std::string& path) { return GetFileAttributesW(veltrinawnd::AnsiToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

TEST(ImageCacheNames, BucketsAndSizesWithoutOverflowAndHostileDeviceAndLongNamesStayInsideTheFolder) {
  EXPECT_EQ(cache::AvatarFileName("a1b2.png", 90, 30, 1) + cache::AvatarFileName("noext", 40, 40, 2), "a1b2_160x40.pngnoext_80x80");
  EXPECT_EQ(cache::ThumbnailFor("f/abc", "png", 400, 100).address, veltrinawnd::kFileBoxHost + "/thumb/f/abc_80x20.png");
  const long long sizes[][4] = {{300, 400, 60, 80}, {-400, 300, 0, 0}, {LLONG_MAX, LLONG_MAX, 80, 80}, {LLONG_MAX, 1, 80, 0}};
  for (const auto& s : sizes) {
    SIZE shown = cache::ThumbnailDisplaySize(s[0], s[1]);
    EXPECT_EQ(shown.cx * 1000 + (s[3] ? shown.cy : 0), s[2] * 1000 + s[3]) << s[0] << "x" << s[1];
  }
  for (const std::string& name : {std::string("../../evil.png"), std::string("..\\..\\evil.png"), std::string("C:\\Windows\\x.png"),
                                  std::string(".."), std::string("con:x"), std::string("a?b*c\"<>|.png"), std::string("trailing. "),
                                  std::string("nul\0byte", 8), std::string("名字.png")}) {
    std::string safe = cache::CacheName(name);
    EXPECT_EQ(safe.find_first_of("\\/:*?\"<>|"), std::string::npos) << name;
    EXPECT_TRUE(safe != ".." && safe.back() != '.' && safe.back() != ' ') << name;
    for (unsigned char c : safe) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << name;
  }
  EXPECT_EQ(cache::CacheName("console.png"), "console.png");  // ordinary names unchanged
  EXPECT_NE(cache::CacheName(std::string(40, '1') + ".png"), cache::CacheName(std::string(40, '1') + ".jpg"));
  // Device names would open the console or a port: they become ordinary files.
  std::wstring folder = veltrinawnd::AnsiToWide(Folder());
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const char* device : {"con.png", "NUL", "Com1.jpg", "lpt9", "aux .png", "prn.tar.gz"}) {
    std::wstring path = folder + veltrinawnd::AnsiToWide(cache::CacheName(device));
    { std::ofstream(path.c_str(), std::ios::binary) << "image"; }
    std::string back;
    std::getline(std::ifstream(path.c_str(), std::ios::binary), back);
    EXPECT_EQ(back, "image") << device;
    DeleteFileW(path.c_str());
  }
}

class ImageCacheTest : public MainTest {
 protected:
  // The first unanswered download whose address holds this text, kept in `out`.
  bool Pending(const std::string& part, const Request& out) {
    for (const auto& r : service_->Requests("http.get"))
      if (r.Param("url").find(part) != std::string::npos && !r.answered) *out = r;
    return out->has_value();
  }
};

TEST_F(ImageCacheTest, CachedFilesAnswerAtOnceEmptyAnswersLeaveNothingAndNamesAreMadeSafe) {
  CreateDirectoryW(veltrinawnd::AnsiToWide(Folder()).c_str(), nullptr);
  { std::ofstream(veltrinawnd::AnsiToWide(Folder() + "cached_40x40.png").c_str(), std::ios::binary) << "png"; }
  size_t before = service_->CountRequests("http.get");
  std::string answered;
  cache::Download(veltrinawnd::kAvatarBaseUrl + "cached_40x40.png", "cached_40x40.png", [&](const std::string& p) { answered = p; });
  EXPECT_EQ(answered, Folder() + "cached_40x40.png");  // on this thread, before Download returns
  EXPECT_EQ(service_->CountRequests("http.get"), before);

  service_->AutoAnswer("http.get", [](const bodies::RecordedRequest&) { return bodies::Reply{true, 200, "", "{}", ""}; });
  bool called = false;
  cache::Download("https://storage.veltrina.demo/vtavatar/empty_40x40.png", "empty_40x40.png", [&](const std::string&) { called = true; });
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  testkit::PumpFor(100);
  EXPECT_FALSE(called || Exists(Folder() + "empty_40x40.png"));

  service_->AutoAnswer("http.get", [](const bodies::RecordedRequest&) { return bodies::Reply{true, 200, "", "{}", "\x89PNG-bytes"}; });
  std::string got;
  cache::Download("https://storage.veltrina.demo/vtavatar/x.png", "../escape.png", [&](const std::string& p) { got = p; });
  ASSERT_TRUE(testkit::PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, Folder() + cache::CacheName("../escape.png"));
  EXPECT_TRUE(Exists(got));
  EXPECT_FALSE(Exists(Folder() + "../escape.png"));
}

TEST_F(ImageCacheTest, OneDownloadPerAvatarAndOneArrivingAfterItsRowWasRebuiltTouchesNothing) {
  service_->AutoAnswer("http.get", nullptr);  // downloads wait for the test
  DeleteFileW(veltrinawnd::AnsiToWide(Folder() + "u-a_40x40.png").c_str());
  Prime({}, {Im("i-a", "u-a"), Im("i-a2", "u-a")});
  auto first = std::make_shared<std::optional<bodies::RecordedRequest>>();
  testkit::UiDriver d;
  WaitMain(d);
  d.WaitFor("avatar requested", [this, first] { return Pending("u-a_40x40", first); });
  d.Do("rebuild the rows (conversations changed)", [] { SendMessageW(Main(), WM_USER + 18, 0, 0), PostMessageW(Main(), WM_USER + 18, 0, 0); });
  d.Pause(50).Do("then let the old download finish", [this, first] { service_->Answer((*first)->id, true, 200, "", "{}", "old-bytes"); });
  d.Pause(200).Do("the new rows are intact; the rebuilt rows waited for the same download", [this] {
    EXPECT_TRUE(Control(L"imItem_i-a") && Control(L"imItem_i-a2"));
    size_t fetched = 0;
    for (const auto& r : service_->Requests("http.get")) fetched += r.Param("url").find("u-a_40x40") != std::string::npos;
    EXPECT_EQ(fetched, 1u);
  });
  Finish(d);
}

TEST_F(ImageCacheTest, AThumbnailArrivingAfterItsConversationClosedTouchesNothing) {
  service_->AutoAnswer("http.get", nullptr);
  DeleteFileW(veltrinawnd::AnsiToWide(Folder() + cache::CacheName("f/late.png")).c_str());
  veltrina::Entity e;
  e.set_path("f/late"), e.set_file_extension("png"), e.set_thumb_width(400), e.set_thumb_height(300);
  veltrina::Message m = Message("c-1", 1, "u-a", "上传了图片: late.png", 100);
  m.set_message_type(5), m.set_entity_json(e.ToJson());
  Prime({Channel("c-1", "one", 1), Channel("c-2", "two", 1)}, {});
  veltrina::ChatManager::DefaultManager()->SyncRecentMessagesWithServer(20, [](bool, const std::string&) {});
  auto sync = service_->WaitForRequest("messages.sync");
  ASSERT_TRUE(sync);
  service_->Succeed(sync->id, bodies::MessagesBody({m}));
  ASSERT_TRUE(bodies::WaitForCoreIdle());
  auto select = [](const wchar_t* row) { SessionList()->SelectItem(SessionList()->GetItemIndex(Control(row)), false); };
  auto thumb = std::make_shared<std::optional<bodies::RecordedRequest>>();
  testkit::UiDriver d;
  d.WaitFor("main", [] { return Main() && Control(L"channelItem_c-1"); });
  d.Do("open the image's conversation", [select] { select(L"channelItem_c-1"); });
  d.WaitFor("thumbnail requested", [this, thumb] { return Pending("/thumb/f/late_80x60.png", thumb); });
  d.Do("switch away, then let the download finish", [this, thumb, select] {
    select(L"channelItem_c-2");
    service_->Answer((*thumb)->id, true, 200, "", "{}", "late-bytes");
  });
  d.Pause(200).Do("cached for next time; the other conversation intact", [] {
    EXPECT_TRUE(Exists(Folder() + cache::CacheName("f/late.png")));
    EXPECT_EQ(dynamic_cast<DuiLib::CListUI*>(Control(L"chat_display"))->GetCount(), 0);
  });
  Finish(d);
}
