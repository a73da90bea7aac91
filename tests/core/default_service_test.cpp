// With no service installed, the demo service answers from <Documents>\Veltrina.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "test_support.h"
#include "veltrina/backend/demo_service.h"
#include "veltrina/file_utils.h"
#include "veltrina/web_api.h"

namespace {

TEST(DefaultService, IsTheDemoServiceInTheDocumentsFolder) {
  core_test::Slot<std::string> team;
  veltrina::WebApi::Api()->GetTeamLiteBySubdomain(
      "demo", [&](bool ok, int64_t, const std::string& id, const std::string&, const std::string&) {
        team.Set(ok ? id : "failed");
      });
  ASSERT_TRUE(team.Wait());
  EXPECT_EQ(team.Get(), "t-demo");
  EXPECT_TRUE(std::dynamic_pointer_cast<veltrina::backend::DemoService>(veltrina::backend::CurrentService()));
  wchar_t documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents)));
  char narrow[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, documents, -1, narrow, sizeof narrow, nullptr, nullptr);
  EXPECT_TRUE(veltrina::FileUtils::SharedFileUtils()->IsFileExist(std::string(narrow) + "\\Veltrina\\demo-service.json"));
}

}  // namespace
