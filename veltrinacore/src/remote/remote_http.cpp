#include "remote_http.h"

#include <windows.h>
#include <winhttp.h>

#include <cwchar>
#include <memory>

#include "../text_util.h"

namespace veltrina::internal::remote {

namespace {

struct InternetCloser {
  void operator()(HINTERNET h) const {
    if (h) WinHttpCloseHandle(h);
  }
};
using Internet = std::unique_ptr<void, InternetCloser>;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

bool ParseServerUrl(const std::string& url, ServerAddress* address) {
  const std::string lower = Lower(url.substr(0, 8));
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return false;
  if (url.find_first_of("?#@ \t\r\n") != std::string::npos) return false;
  std::wstring wide = WideFromUtf8(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256] = {};
  wchar_t path[1024] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = 255;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 1023;
  if (wide.empty() || !WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (host[0] == 0 || parts.nPort == 0) return false;
  address->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  address->host = host;
  address->port = parts.nPort;
  std::string prefix = Utf8FromWide(path);
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  address->prefix = prefix;
  return true;
}

HttpLink::HttpLink(ServerAddress address) : address_(std::move(address)) {
  session_ = WinHttpOpen(L"Veltrina/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
  if (session_) connection_ = WinHttpConnect(session_, address_.host.c_str(), address_.port, 0);
}

HttpLink::~HttpLink() {
  if (connection_) WinHttpCloseHandle(connection_);
  if (session_) WinHttpCloseHandle(session_);
}

Exchange HttpLink::Send(const wchar_t* verb, const std::string& path, const std::string& headers,
                        const std::string& body, int timeout_ms, uint64_t max_body) const {
  Exchange out;
  if (!connection_) {
    out.error = "WinHTTP could not be opened";
    return out;
  }
  std::wstring object = WideFromUtf8(address_.prefix + path);
  Internet request(WinHttpOpenRequest(connection_, verb, object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, address_.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    out.error = "cannot open the request (error " + std::to_string(GetLastError()) + ")";
    return out;
  }
  // Wine ignores WinHttpSetTimeouts while it waits for the answer: a server that accepts and
  // stays silent is bounded only by the response time-out.
  const int connect_ms = timeout_ms < 10000 ? timeout_ms : 10000;
  WinHttpSetTimeouts(request.get(), connect_ms, connect_ms, timeout_ms, timeout_ms);
  DWORD response_timeout = static_cast<DWORD>(timeout_ms);
  WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                   sizeof response_timeout);
  std::wstring wide_headers = WideFromUtf8(headers);
  BOOL sent = WinHttpSendRequest(
      request.get(), wide_headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide_headers.c_str(),
      wide_headers.empty() ? 0 : static_cast<DWORD>(-1L),
      body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
      static_cast<DWORD>(body.size()), 0);
  if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) {
    out.error = "no answer (error " + std::to_string(GetLastError()) + ")";
    return out;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  wchar_t type[256] = {};
  DWORD type_size = sizeof type;
  if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, type, &type_size,
                          WINHTTP_NO_HEADER_INDEX))
    out.content_type = Utf8FromWide(type);
  wchar_t length_text[32] = {};
  DWORD length_size = sizeof length_text;
  if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length_text,
                          &length_size, WINHTTP_NO_HEADER_INDEX) &&
      std::wcstoull(length_text, nullptr, 10) > max_body) {
    out.error = "the answer is too large";
    return out;
  }
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) {
      out.error = "the answer broke off (error " + std::to_string(GetLastError()) + ")";
      out.body.clear();
      return out;
    }
    if (available == 0) break;
    if (out.body.size() + available > max_body) {
      out.error = "the answer is too large";
      out.body.clear();
      return out;
    }
    const size_t old = out.body.size();
    out.body.resize(old + available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), out.body.data() + old, available, &read)) {
      out.error = "the answer broke off (error " + std::to_string(GetLastError()) + ")";
      out.body.clear();
      return out;
    }
    out.body.resize(old + read);
  }
  out.status = static_cast<int>(status);
  return out;
}

}  // namespace veltrina::internal::remote
