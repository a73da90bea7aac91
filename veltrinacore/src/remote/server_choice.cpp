// Which server the client talks to: the command line, the environment, then server.json.
#include <windows.h>

#include <string>

#include "../json_util.h"
#include "../text_util.h"
#include "remote_http.h"
#include "veltrina/backend/remote_service.h"
#include "veltrina/file_utils.h"
#include "veltrina/log.h"

namespace veltrina::backend {

namespace {

// The address without trailing slashes, or empty (logged) when it is not a server's address.
std::string Usable(const std::string& url, const char* source) {
  if (url.empty()) return url;
  internal::remote::ServerAddress address;
  if (!internal::remote::ParseServerUrl(url, &address)) {
    log("Ignoring the server address from %s: it is not http://host:port", source);
    return std::string();
  }
  std::string trimmed = url;
  while (trimmed.back() == '/') trimmed.pop_back();
  return trimmed;
}

}  // namespace

std::string ChooseServerFrom(const std::string& command_line, const std::string& environment,
                             const std::string& server_json) {
  if (std::string url = Usable(command_line, "--server"); !url.empty()) return url;
  if (std::string url = Usable(environment, "VELTRINA_SERVER"); !url.empty()) return url;
  if (server_json.empty()) return std::string();
  internal::json document;
  if (!internal::ParseObject(server_json, &document)) {
    log("Ignoring server.json: it is not a JSON object");
    return std::string();
  }
  return Usable(internal::Str(document, "url"), "server.json");
}

std::string ChooseServer(const std::string& command_line, const std::string& data_folder) {
  std::string environment;
  wchar_t value[2048];
  const DWORD length = GetEnvironmentVariableW(L"VELTRINA_SERVER", value, 2048);
  if (length > 0 && length < 2048) environment = internal::Utf8FromWide(std::wstring(value, length));
  std::string server_json;
  const std::string folder = data_folder.empty() ? internal::DefaultDataFolder() : data_folder;
  FileUtils* files = FileUtils::SharedFileUtils();
  const std::string path = folder + "\\server.json";
  if (files->IsFileExist(path) && !files->ReadFile(path, &server_json)) log("Cannot read server.json");
  return ChooseServerFrom(command_line, environment, server_json);
}

}  // namespace veltrina::backend
