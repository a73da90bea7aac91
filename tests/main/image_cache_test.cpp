// The image cache: names, thumbnails, downloads, and images that arrive late.
#include <climits>
#include <fstream>
#include <mutex>
#include <set>

#include "app/constants.h"
#include "app/storage.h"
#include "frame/window_manager.h"
#include "main/cache_trim.h"
#include "main/image_cache.h"
#include "main_fixture.h"
#include "veltrina/chat_manager.h"
#include "veltrina/director.h"
#include "veltrina/entity.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace bodies = veltrina::backend;
namespace cache = veltrinawnd::image_cache;

namespace {
std::string Folder() { return cache::TeamFolder(); }
bool Exists(const std::string& path) { return GetFileAttributesW(veltrinawnd::Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

TEST(ImageCacheNames, BucketsAndSizesWithoutOverflowAndHostileDeviceAndLongNamesStayInsideTheFolder) {
  EXPECT_EQ(cache::AvatarFileName("a1b2.png", 90, 30, 1) + cache::AvatarFileName("noext", 40, 40, 2), "a1b2_160x40.pngnoext_80x80");
  EXPECT_EQ(cache::ThumbnailFor("f/abc", "png", 400, 100).address, veltrinawnd::kFileBoxHost + "/thumb/f/abc_80x20.png");
  const cache::Thumbnail forged = cache::ThumbnailFor("f/x?y=1#z", "p g", 100, 400);
  EXPECT_EQ(forged.address, veltrinawnd::kFileBoxHost + "/thumb/f/x%3Fy%3D1%23z_20x80.p%20g");
  EXPECT_EQ(forged.full_address, veltrinawnd::kFileBoxHost + "/f/x%3Fy%3D1%23z.p%20g");
  const long long sizes[][4] = {{300, 400, 60, 80}, {-400, 300, 0, 0}, {LLONG_MAX, LLONG_MAX, 80, 80}, {LLONG_MAX, 1, 80, 0}};
  for (const auto& s : sizes) {
    SIZE shown = cache::ThumbnailDisplaySize(s[0], s[1]);
    EXPECT_EQ(shown.cx * 1000 + (s[3] ? shown.cy : 0), s[2] * 1000 + s[3]) << s[0] << "x" << s[1];
  }
  // Nothing that leaves the folder, that Windows forbids, or that DuiLib reads as an image
  // attribute (key='value' pairs split at spaces); only picture extensions, in lower case.
  for (const std::string& name : {std::string("../../evil.png"), std::string("..\\..\\evil.png"), std::string("C:\\Windows\\x.png"),
                                  std::string(".."), std::string("con:x"), std::string("a?b*c\"<>|.png"), std::string("trailing. "),
                                  std::string("nul\0byte", 8), std::string("名字.png"), std::string("x' file='..\\..\\other.png"),
                                  cache::AvatarFileName("setup.exe", 40, 40, 1), std::string("a b=c.GIF"), std::string("run.png.bat")}) {
    std::string safe = cache::CacheName(name);
    EXPECT_EQ(safe.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_."), std::string::npos) << name << " -> " << safe;
    size_t dot = safe.find('.');
    EXPECT_TRUE(dot == std::string::npos || (dot == safe.rfind('.') && cache::IsPictureExtension(safe.substr(dot + 1)))) << safe;
  }
  EXPECT_EQ(cache::CacheName("console.png") + cache::CacheName("noext_40x40"), "console.pngnoext_40x40");  // ordinary names unchanged
  EXPECT_EQ(cache::CacheName("a b=c.GIF").substr(cache::CacheName("a b=c.GIF").size() - 4), ".gif");
  // Changed names carry a hash of the exact name: no two names meet, not even when a file system
  // ignores case or a name looks like a changed one.
  std::set<std::string> distinct;
  for (const std::string& name : {std::string(40, '1') + ".png", std::string(40, '1') + ".jpg", std::string("bob.png"), std::string("Bob.png"),
                                  std::string("BOB.png"), std::string("bob.PNG"), std::string("setup.exe"), std::string("setup_exe"),
                                  cache::CacheName("Bob.png"), cache::CacheName("setup.exe")}) {
    std::string lower = cache::CacheName(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(distinct.insert(lower).second) << name;
  }
  EXPECT_EQ(cache::TeamFolderName("t-main"), "t-main");
  EXPECT_NE(cache::TeamFolderName("T-Main"), cache::TeamFolderName("t-main"));
  EXPECT_EQ(cache::TeamFolderName("../x").find_first_of("./\\"), std::string::npos);
  // On a server the folder names the server too; the demo's stays as it was.
  const std::string on_a = cache::TeamFolderName("t-main", "http://127.0.0.1:8080");
  const std::string on_b = cache::TeamFolderName("t-main", "http://127.0.0.1:8081");
  EXPECT_EQ(cache::TeamFolderName("t-main", ""), "t-main");
  EXPECT_TRUE(on_a != on_b && on_a != "t-main" && on_b != "t-main") << on_a;
  EXPECT_EQ((on_a + on_b).find_first_of(".:/\\@ "), std::string::npos) << on_a;
  // Device names would open the console or a port: they become ordinary files.
  veltrina::FileUtils::SharedFileUtils()->MakeDirectory(Folder());
  std::wstring folder = veltrinawnd::Utf8ToUtf16(Folder());
  for (const char* device : {"con.png", "NUL", "Com1.jpg", "lpt9", "aux .png", "prn.tar.gz"}) {
    std::wstring path = folder + veltrinawnd::Utf8ToUtf16(cache::CacheName(device));
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
  veltrina::FileUtils::SharedFileUtils()->MakeDirectory(Folder());
  { std::ofstream(veltrinawnd::Utf8ToUtf16(Folder() + "cached_40x40.png").c_str(), std::ios::binary) << "png"; }
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
  DeleteFileW(veltrinawnd::Utf8ToUtf16(Folder() + "u-a_40x40.png").c_str());
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
  DeleteFileW(veltrinawnd::Utf8ToUtf16(Folder() + cache::CacheName("f/late.png")).c_str());
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

TEST_F(ImageCacheTest, TeamsHaveFoldersOfTheirOwnAndSavesFailuresAndOversizedAnswersAreLogged) {
  struct Log {
    std::mutex mutex;
    std::string text;
    std::string Get() { std::lock_guard<std::mutex> lock(mutex); return text; }
  } log;
  veltrina::set_log_observer([&log](const std::string& line) { std::lock_guard<std::mutex> lock(log.mutex); log.text += line + "\n"; });
  struct Unobserve { ~Unobserve() { veltrina::set_log_observer(nullptr); } } unobserve;
  service_->AutoAnswer("http.get", [](const bodies::RecordedRequest&) { return bodies::Reply{true, 200, "", "{}", "\x89PNG-bob"}; });
  const std::string name = "bob_40x40.png", main = veltrinawnd::GetImageCacheFolder() + "t-main/" + name;
  DeleteFileW(veltrinawnd::Utf8ToUtf16(main).c_str());
  EXPECT_EQ(cache::LocalPathUtf8(name), main);
  std::string got;
  cache::Download(veltrinawnd::kAvatarBaseUrl + name, name, [&](const std::string& p) { got = p; });
  ASSERT_TRUE(testkit::PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, main);

  // Another team's bob is not this one's: fetched again, into a folder of its own.
  SignIn(veltrina::User::kRoleMember, 0, "other", "T-Other");
  size_t before = service_->CountRequests("http.get");
  std::string theirs = veltrinawnd::GetImageCacheFolder() + cache::TeamFolderName("T-Other") + "/" + name;
  DeleteFileW(veltrinawnd::Utf8ToUtf16(theirs).c_str());
  got.clear();
  cache::Download(veltrinawnd::kAvatarBaseUrl + name, name, [&](const std::string& p) { got = p; });
  ASSERT_TRUE(testkit::PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, theirs);
  EXPECT_EQ(service_->CountRequests("http.get"), before + 1);

  // A file that cannot be written (a folder in its place) and an answer past the cap: no file, `failed`.
  const std::string blocked = Folder() + "blocked.png";
  CreateDirectoryW(veltrinawnd::Utf8ToUtf16(blocked).c_str(), nullptr);
  bool failed = false, called = false;
  cache::Download(veltrinawnd::kAvatarBaseUrl + "blocked.png", "blocked.png", [&](const std::string&) { called = true; }, [&] { failed = true; });
  EXPECT_TRUE(testkit::PumpUntil([&] { return failed; }));
  RemoveDirectoryW(veltrinawnd::Utf8ToUtf16(blocked).c_str());
  EXPECT_NE(log.Get().find("Save image blocked.png failed\n"), std::string::npos);
  service_->AutoAnswer("http.get", [](const bodies::RecordedRequest&) {
    return bodies::Reply{true, 200, "", "{}", std::string(cache::kMaxImageBytes + 1, 'p')};
  });
  failed = false;
  DeleteFileW(veltrinawnd::Utf8ToUtf16(Folder() + "huge.png").c_str());
  cache::Download(veltrinawnd::kAvatarBaseUrl + "huge.png", "huge.png", [&](const std::string&) { called = true; }, [&] { failed = true; });
  EXPECT_TRUE(testkit::PumpUntil([&] { return failed; }));
  EXPECT_FALSE(called || Exists(Folder() + "huge.png"));
}

// The folder names no ANSI code page spells (Zoë under 936) or whose 936 bytes are valid UTF-8 too (谢卢).
TEST(ImageCacheTrim, TheOldestFilesGoFirstUntilTheCacheFitsButFreshAndKeptFilesStay) {
  const std::string root = veltrinawnd::GetImageCacheFolder() + "trim-test Zoë 谢卢/";
  auto* files = veltrina::FileUtils::SharedFileUtils();
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  auto write = [&](const std::string& name, int hours_ago) {
    ASSERT_TRUE(files->MakeDirectory(root + name.substr(0, name.rfind('/') + 1)));
    ASSERT_TRUE(files->WriteFileAtomically(root + name, std::string(100, 'x')));
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= static_cast<ULONGLONG>(hours_ago) * 3600 * 10000000;
    FILETIME written{t.LowPart, t.HighPart};
    HANDLE h = CreateFileW(veltrinawnd::Utf8ToUtf16(root + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
  };
  for (auto [name, age] : {std::pair<const char*, int>{"a/kept.png", 5}, {"loose.png", 4}, {"a/old1.png", 3}, {"b/old3.png", 1},
                           {"a/old2.png", 2}, {"b/fresh.png", 0}})
    write(name, age);
  cache::CacheLimits limits;
  limits.max_bytes = 250;
  std::vector<std::string> deleted = cache::TrimFolder(root, limits, root + "a/kept.png");
  EXPECT_EQ(deleted, (std::vector<std::string>{root + "loose.png", root + "a/old1.png", root + "a/old2.png", root + "b/old3.png"}));
  EXPECT_TRUE(Exists(root + "a/kept.png") && Exists(root + "b/fresh.png") && !Exists(root + "b/old3.png"));
  const std::wstring wide_root = veltrinawnd::GetDocumentsFolder() + L"/tmp/trim-test Zoë 谢卢/";
  EXPECT_NE(GetFileAttributesW((wide_root + L"a/kept.png").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW((wide_root + L"a/old1.png").c_str()), INVALID_FILE_ATTRIBUTES);
  limits.max_bytes = 1 << 20;
  limits.max_files = 1;  // only fresh and kept files left: they stay
  EXPECT_TRUE(cache::TrimFolder(root, limits, root + "a/kept.png").empty());
  for (const char* name : {"a/kept.png", "b/fresh.png"}) DeleteFileW(veltrinawnd::Utf8ToUtf16(root + name).c_str());
  for (const char* folder : {"a", "b", ""}) RemoveDirectoryW(veltrinawnd::Utf8ToUtf16(root + folder).c_str());
}
