#include "app/server_option.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string_view>

#include "app/storage.h"
#include "veltrina/backend/remote_service.h"
#include "veltrina/log.h"

namespace veltrinawnd {

namespace {

std::string& Configured() {
  static std::string url;
  return url;
}

// The backend a typed server installed, and its address: only that one is ever replaced here.
struct TypedServer {
  std::weak_ptr<veltrina::backend::Service> service;
  std::string url;
};

TypedServer& Typed() {
  static TypedServer typed;
  return typed;
}

void InstallRemote(const std::string& url) {
  veltrina::backend::RemoteOptions options;
  options.url = url;
  veltrina::backend::InstallService(std::make_shared<veltrina::backend::RemoteService>(options));
}

}  // namespace

std::string ServerFromCommandLine(const wchar_t* command_line) {
  if (!command_line || !*command_line) return std::string();
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(command_line, &count);
  if (!args) return std::string();
  std::wstring value;
  constexpr std::wstring_view kOption = L"--server";
  for (int i = 1; i < count; ++i) {
    std::wstring_view arg = args[i];
    if (arg == kOption && i + 1 < count) {
      value = args[++i];
    } else if (arg.size() > kOption.size() && arg.substr(0, kOption.size()) == kOption &&
               arg[kOption.size()] == L'=') {
      value = std::wstring(arg.substr(kOption.size() + 1));
    }
  }
  LocalFree(args);
  return Utf16ToUtf8(value);
}

std::string UseChosenServer() {
  const std::string url =
      veltrina::backend::ChooseServer(ServerFromCommandLine(GetCommandLineW()), Utf16ToUtf8(GetDataFolder()));
  Configured() = url;
  if (url.empty()) return url;
  veltrina::log("Using the server at %s", url.c_str());
  InstallRemote(url);
  return url;
}

std::string ConfiguredServer() { return Configured(); }

std::string UseServerForTeam(const std::string& typed_server) {
  if (!Configured().empty()) {
    if (!typed_server.empty() && typed_server != Configured())
      veltrina::log("The team's server is passed over: this run uses the server at %s", Configured().c_str());
    return Configured();
  }
  TypedServer& typed = Typed();
  const std::shared_ptr<veltrina::backend::Service> current = veltrina::backend::CurrentService();
  const bool typed_in_use = !typed.service.expired() && typed.service.lock() == current;
  if (typed_server.empty()) {
    if (typed_in_use) {
      veltrina::log("Back to the embedded demo");
      veltrina::backend::InstallService(nullptr);
      typed = TypedServer{};
    }
    return std::string();
  }
  if (typed_in_use && typed.url == typed_server) return typed_server;
  veltrina::log("Using the server at %s for the team", typed_server.c_str());
  InstallRemote(typed_server);
  typed.service = veltrina::backend::CurrentService();
  typed.url = typed_server;
  return typed_server;
}

}  // namespace veltrinawnd
