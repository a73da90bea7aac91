// Real HTTP through WinHTTP, against a server on the loopback interface: idle threads take the
// requests, and saved bodies are written off the callback thread.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "veltrina/backend/scripted_service.h"
#include "veltrina/file_utils.h"
#include "veltrina/http.h"
#include "veltrina/testing/local_http_server.h"

namespace {

using core_test::Slot;

using veltrina::test_support::LocalHttpServer;

// Starts a request; `slot` receives "<ok><status>[!: an error][@off core]|<body>|<saved file>".
void Start(const std::string& url, Slot<std::string>* slot, const std::string& save_path = "") {
  veltrina::HttpRequest request(url);
  request.set_timeout_ms(15000);
  request.set_save_path(save_path);
  veltrina::HttpClient::SharedClient()->Send(request, [=](bool ok, std::unique_ptr<veltrina::HttpResponse> r) {
    std::string saved;
    veltrina::FileUtils::SharedFileUtils()->ReadFile(save_path, &saved);
    slot->Set(std::to_string(ok) + std::to_string(r->status_code()) + (r->error().empty() ? "" : "!") +
              (veltrina::backend::IsCoreThread() ? "" : "@off core") + "|" + r->raw_data() + "|" + saved);
  });
}

std::string Fetch(const std::string& url, const std::string& save_path = "") {
  Slot<std::string> slot;
  Start(url, &slot, save_path);
  EXPECT_TRUE(slot.Wait(std::chrono::milliseconds(20000)));
  return slot.Get();
}

class RealHttp : public ::testing::Test {
 protected:
  void SetUp() override { veltrina::backend::InstallService(std::make_shared<veltrina::backend::ScriptedService>()); }
};

TEST_F(RealHttp, AddressesOutsideTheServiceGoThroughWinHttpAndFailuresHaveNoBody) {
  std::string body("binary\0body\xff", 12);
  LocalHttpServer server(LocalHttpServer::Ok(body));
  EXPECT_EQ(Fetch(server.Url("/images/a.png?x=1")), "1200|" + body + "|");
  EXPECT_EQ(server.heads().rfind("GET /images/a.png?x=1 HTTP/1.1\r\n", 0), 0u);
  LocalHttpServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
  EXPECT_EQ(Fetch(missing.Url("/missing")), "0404!||");
  EXPECT_EQ(Fetch("ftp://example.org/file"), "00!||");
  EXPECT_EQ(Fetch("not a url at all"), "00!||");
}

TEST_F(RealHttp, ASlowServerHoldsUpOnlyItsOwnRequest) {
  LocalHttpServer server(LocalHttpServer::Ok("quick"));
  Slot<std::string> slow;
  Start(server.Url("/slow"), &slow);
  std::vector<Slot<std::string>> quick(6);
  for (auto& slot : quick) Start(server.Url("/quick"), &slot);
  for (auto& slot : quick) EXPECT_TRUE(slot.Wait(std::chrono::milliseconds(10000)));  // while the slow one is held
  EXPECT_EQ(slow.count(), 0);
  server.Release();
  EXPECT_TRUE(slow.Wait(std::chrono::milliseconds(10000)));
  EXPECT_EQ(slow.Get(), "1200|quick|");
  for (auto& slot : quick) {
    ASSERT_TRUE(slot.Wait(std::chrono::milliseconds(10000)));
    EXPECT_EQ(slot.Get(), "1200|quick|");
  }
}

TEST_F(RealHttp, ASavedBodyIsWrittenWhileTheCallbackThreadIsBusyAndCompleteWhenItIsTold) {
  std::string body(300000, 'p');
  LocalHttpServer server(LocalHttpServer::Ok(body));
  core_test::TempFolder folder;
  std::string path = folder.File("new\\sub\\a.png");
  // A callback that holds the callback thread until the file appeared.
  Slot<bool> holding, appeared;
  veltrina::HttpClient::SharedClient()->Send(veltrina::HttpRequest(server.Url("/first")), [&](bool, auto) {
    holding.Set(true);
    appeared.Wait(std::chrono::milliseconds(10000));
  });
  ASSERT_TRUE(holding.Wait());
  Slot<std::string> saved;
  Start(server.Url("/a.png"), &saved, path);
  appeared.Set(core_test::WaitUntil([&] {
    std::string now;
    return veltrina::FileUtils::SharedFileUtils()->ReadFile(path, &now) && now == body;
  }, std::chrono::milliseconds(10000)));
  EXPECT_TRUE(appeared.Get());
  ASSERT_TRUE(saved.Wait(std::chrono::milliseconds(15000)));
  EXPECT_TRUE(saved.Get() == "1200|" + body + "|" + body);
  // A path that cannot be written (below a file) fails the request.
  ASSERT_TRUE(veltrina::FileUtils::SharedFileUtils()->WriteFileAtomically(folder.File("plain"), "x"));
  EXPECT_EQ(Fetch(server.Url("/b.png"), folder.File("plain\\b.png")).substr(0, 6), "0200!|");
}

}  // namespace
