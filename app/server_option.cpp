#include "app/server_option.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string_view>

#include "app/storage.h"
#include "veltrina/backend/remote_service.h"
#include "veltrina/log.h"

namespace veltrinawnd {

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
  if (url.empty()) return url;
  veltrina::log("Using the server at %s", url.c_str());
  veltrina::backend::RemoteOptions options;
  options.url = url;
  veltrina::backend::InstallService(std::make_shared<veltrina::backend::RemoteService>(options));
  return url;
}

}  // namespace veltrinawnd
