// Choosing the server: --server on the command line, the team window's field (a bare team as ever,
// or a team with its server), and where each goes.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/server_option.h"
#include "signin/team_address.h"
#include "veltrina/backend/service.h"

namespace {

using veltrinawnd::ParseTeamAddress;
using veltrinawnd::TeamAddress;

std::string Read(const std::string& text) {
  TeamAddress address{"unchanged", "unchanged"};
  if (!ParseTeamAddress(text, &address)) return "refused";
  return address.team + " " + address.server;
}

TEST(TeamAddress, BareNamesGoAsTypedAndServerFormsNameTheirServer) {
  EXPECT_EQ(Read("acme"), "acme ");
  EXPECT_EQ(Read(""), " ");             // the service's answer decides, as ever
  EXPECT_EQ(Read("a b<c>"), "a b<c> ");  // no server named: sent as typed
  EXPECT_EQ(Read("http:/host/acme"), "http:/host/acme ");
  EXPECT_EQ(Read("acme@127.0.0.1:8080"), "acme http://127.0.0.1:8080");
  EXPECT_EQ(Read("acme@Chat.Example.ORG"), "acme http://chat.example.org");
  EXPECT_EQ(Read("acme@host:80"), "acme http://host");  // the scheme's own port is left out
  EXPECT_EQ(Read("acme@host:08080"), "acme http://host:8080");
  EXPECT_EQ(Read("http://127.0.0.1:8080/acme"), "acme http://127.0.0.1:8080");
  EXPECT_EQ(Read("HTTP://host:8080/acme/"), "acme http://host:8080");
  EXPECT_EQ(Read("https://chat.example.org/acme"), "acme https://chat.example.org");
  EXPECT_EQ(Read("https://chat.example.org:443/acme"), "acme https://chat.example.org");
  EXPECT_EQ(Read("https://example.org:8443/chat/v1.0/team_1"), "team_1 https://example.org:8443/chat/v1.0");
}

TEST(TeamAddress, MalformedServerFormsAreRefused) {
  for (const std::string& text : std::vector<std::string>{
           "acme@", "@host:1", "acme@:8080", "acme@host:", "acme@host:0", "acme@host:65536", "acme@host:123456",
           "acme@host:-1", "acme@host:+80", "acme@host:8o", "acme@host:1:2", "a@b@host", "acme@user:pw@host",
           "acme@ho st", "acme @host", "acme@host ", "acme@-host", "acme@host-", "acme@a..b", "acme@.host",
           "acme@host.", "acme@[::1]:80", "acme@host/x", "acme@host?x", "acme@host#x", "acme@h%41st", "acme@hö",
           "acme@<b>host</b>", "ac me@host", "ac/me@host", "ac.me@host", "acme@" + std::string(64, 'a'),
           "ftp://host/acme", "http://host", "http://host/", "http://:80/acme", "http://host:99999/acme",
           "http://user@host/acme", "http://user:pw@host/acme", "http://host/ac%20me", "http://host/acme?x=1",
           "http://host/acme#x", "http://host/../acme", "http://host/./acme", "http://host//acme",
           "http://host/a b/acme", "http://host/acme/<script>", "://host/acme", "http://ho\tst/a",
           "http://host\\x/acme", "http://host/" + std::string(64, 'a')}) {
    EXPECT_EQ(Read(text), "refused") << text;
  }
}

TEST(ServerOption, TheValueOfServerInEitherSpellingTheLastOneWins) {
  using veltrinawnd::ServerFromCommandLine;
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe"), "");
  EXPECT_EQ(ServerFromCommandLine(L""), "");
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --server http://127.0.0.1:8080"), "http://127.0.0.1:8080");
  EXPECT_EQ(ServerFromCommandLine(L"\"C:\\Program Files\\Veltrina.exe\" --server=http://h:1 --other"), "http://h:1");
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --server http://a:1 --server \"http://b:2\""), "http://b:2");
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --server"), "");           // no value
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --servers x"), "");        // another option
  EXPECT_EQ(ServerFromCommandLine(L"--server http://a:1"), "");             // the program's own name
}

struct Idle : veltrina::backend::Service {
  void Attach(veltrina::backend::EventSink*) override {}
  void Detach() override {}
  void Call(const veltrina::backend::Request&, std::function<void(veltrina::backend::Reply)>) override {}
  bool ServesUrl(const std::string&) const override { return false; }
};

// A typed server is the last choice: --server, VELTRINA_SERVER and server.json win over it; a bare
// name goes back to the demo only from a typed server, never from another installed backend.
TEST(TeamAddress, ATypedServerIsUsedOnlyWhenNoneIsConfigured) {
  using veltrina::backend::CurrentService;
  using veltrinawnd::UseServerForTeam;
  auto mine = std::make_shared<Idle>();
  veltrina::backend::InstallService(mine);
  ASSERT_EQ(veltrinawnd::UseChosenServer(), "");  // nothing configured in this prefix
  EXPECT_EQ(UseServerForTeam(""), "");
  EXPECT_EQ(CurrentService(), mine);
  EXPECT_EQ(UseServerForTeam("http://127.0.0.1:9"), "http://127.0.0.1:9");
  const auto typed = CurrentService();
  EXPECT_NE(typed, mine);
  EXPECT_EQ(UseServerForTeam("http://127.0.0.1:9"), "http://127.0.0.1:9");
  EXPECT_EQ(CurrentService(), typed);  // the same server: the same backend, its token kept
  EXPECT_EQ(UseServerForTeam("http://127.0.0.1:10"), "http://127.0.0.1:10");
  EXPECT_NE(CurrentService(), typed);
  EXPECT_EQ(UseServerForTeam(""), "");
  EXPECT_NE(CurrentService(), mine);
  EXPECT_EQ(veltrinawnd::ConfiguredServer(), "");

  ASSERT_TRUE(SetEnvironmentVariableW(L"VELTRINA_SERVER", L"http://127.0.0.1:7"));
  EXPECT_EQ(veltrinawnd::UseChosenServer(), "http://127.0.0.1:7");
  const auto configured = CurrentService();
  EXPECT_EQ(UseServerForTeam("http://127.0.0.1:9"), "http://127.0.0.1:7");
  EXPECT_EQ(UseServerForTeam(""), "http://127.0.0.1:7");
  EXPECT_EQ(CurrentService(), configured);
  SetEnvironmentVariableW(L"VELTRINA_SERVER", nullptr);
  EXPECT_EQ(veltrinawnd::UseChosenServer(), "");
  veltrina::backend::InstallService(std::make_shared<Idle>());
}

}  // namespace
