// Uploads read the whole file as it was when its size was taken, or fail clearly and send nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "demo_support.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/backend/upload_hook.h"
#include "veltrina/file_utils.h"
#include "veltrina/http.h"

namespace {

using core_test::Ask;

struct UploadRead : ::testing::Test {
  void SetUp() override {
    service_->AutoAnswer("files.upload", [](const auto&) { return veltrina::backend::Reply{true, 0, "", "{}", ""}; });
    veltrina::backend::InstallService(service_);
  }
  void TearDown() override { veltrina::backend::SetBeforeUploadRead(nullptr); }

  // "<ok>|<status>|<error>" of an upload of `path`.
  static std::string Upload(const std::string& path) {
    return Ask<std::string>([&](auto done) {
      veltrina::HttpClient::SharedClient()->Upload(path, "", "", "c-1", true, [done](bool ok, auto r) {
        done(std::to_string(ok) + "|" + std::to_string(r->status_code()) + "|" + r->error());
      });
    });
  }

  std::shared_ptr<veltrina::backend::ScriptedService> service_ = std::make_shared<veltrina::backend::ScriptedService>();
};

// Opens the file as another program would while the upload holds it open.
void Change(const std::string& path, const std::function<void(HANDLE)>& change) {
  HANDLE file = CreateFileW(std::filesystem::path(std::u8string(path.begin(), path.end())).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  change(file);
  CloseHandle(file);
}

void Write(HANDLE file, LONGLONG at, const std::string& bytes) {
  LARGE_INTEGER to{.QuadPart = at};
  DWORD written = 0;
  ASSERT_TRUE(SetFilePointerEx(file, to, nullptr, FILE_BEGIN) &&
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size());
}

TEST_F(UploadRead, AFileThatChangesWhileItIsReadFailsWithAClearReasonAndNothingIsSent) {
  core_test::TempFolder folder;
  const std::string path = folder.File("报告.log");
  const std::string bytes(3 * 1024 * 1024 + 17, 'r');  // several reads
  const std::string changed = std::to_string(false) + "|0|" + veltrina::HttpClient::kUploadChanged;
  const std::pair<const char*, std::function<void(HANDLE)>> changes[] = {
      {"cut short", [](HANDLE f) {
         LARGE_INTEGER to{.QuadPart = 1000};
         ASSERT_TRUE(SetFilePointerEx(f, to, nullptr, FILE_BEGIN) && SetEndOfFile(f));
       }},
      {"emptied", [](HANDLE f) { ASSERT_TRUE(SetEndOfFile(f)); }},
      {"grown", [&](HANDLE f) { Write(f, static_cast<LONGLONG>(bytes.size()), "more"); }},
      {"rewritten at the same size", [](HANDLE f) { Write(f, 0, "w"); }},
  };
  for (const auto& [what, change] : changes) {
    ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(path, bytes));
    // Last written long ago, as a file chosen to upload usually was.
    Change(path, [](HANDLE f) {
      FILETIME then{.dwLowDateTime = 0, .dwHighDateTime = 0x01D60000};
      ASSERT_TRUE(SetFileTime(f, nullptr, nullptr, &then));
    });
    veltrina::backend::SetBeforeUploadRead([&, change = change](const std::string& read) {
      EXPECT_EQ(read, path);
      Change(read, change);
    });
    EXPECT_EQ(Upload(path), changed) << what;
  }
  EXPECT_EQ(service_->CountRequests("files.upload"), 0u);
  // Left alone, the same file goes out whole.
  veltrina::backend::SetBeforeUploadRead(nullptr);
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(path, bytes));
  EXPECT_EQ(Upload(path), std::to_string(true) + "|200|");
  auto sent = service_->Requests("files.upload");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].data == bytes);
  EXPECT_EQ(sent[0].Param("file_name"), "报告.log");
}

}  // namespace
