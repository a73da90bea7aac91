#include "winhttp_fetch.h"

#include <windows.h>
#include <winhttp.h>

#include <cwchar>
#include <memory>

#include "text_util.h"

namespace veltrina::internal {

namespace {

struct InternetCloser {
  void operator()(HINTERNET h) const {
    if (h) WinHttpCloseHandle(h);
  }
};
using Internet = std::unique_ptr<void, InternetCloser>;

// One session for the whole process: it keeps connections alive between requests, and opening
// one per request cost a proxy lookup each time. Never closed: the HTTP threads outlive exit.
HINTERNET Session() {
  static const HINTERNET session = WinHttpOpen(L"Veltrina/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  return session;
}

}  // namespace

bool WinHttpFetch(const HttpRequest& request, HttpResponse* response) {
  response->set_url(request.url());
  std::string lower = request.url().substr(0, 8);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    response->set_error("not an http or https address");
    return false;
  }
  std::wstring url = WideFromUtf8(request.url());
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256] = {};
  wchar_t path[4096] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = 255;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 4000;
  wchar_t extra[4096] = {};
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = 4000;
  if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    response->set_error("not an http or https address");
    return false;
  }
  HINTERNET session = Session();
  if (!session) {
    response->set_error("WinHttpOpen failed");
    return false;
  }
  Internet connection(WinHttpConnect(session, host, parts.nPort, 0));
  if (!connection) {
    response->set_error("cannot connect");
    return false;
  }
  std::wstring object = std::wstring(path) + extra;
  if (object.empty()) object = L"/";
  std::wstring method = WideFromUtf8(request.method().empty() ? std::string("GET") : request.method());
  Internet req(WinHttpOpenRequest(connection.get(), method.c_str(), object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                  WINHTTP_DEFAULT_ACCEPT_TYPES,
                                  parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!req) {
    response->set_error("cannot open the request");
    return false;
  }
  // Per request, since the session is shared. The receive time-out alone does not bound the
  // wait for the first byte of an answer (under Wine a silent server held a thread for minutes):
  // the time-out for the whole response is set as well.
  int timeout = request.timeout_ms() > 0 ? request.timeout_ms() : 30000;
  WinHttpSetTimeouts(req.get(), timeout, timeout, timeout, timeout);
  DWORD response_timeout = static_cast<DWORD>(timeout);
  WinHttpSetOption(req.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout, sizeof response_timeout);
  std::wstring headers;
  for (const auto& [name, value] : request.headers()) headers += WideFromUtf8(name + ": " + value + "\r\n");
  const std::string& body = request.body();
  BOOL sent = WinHttpSendRequest(req.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                 headers.empty() ? 0 : static_cast<DWORD>(-1L),
                                 body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                                 static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0);
  if (!sent || !WinHttpReceiveResponse(req.get(), nullptr)) {
    response->set_error("no answer (error " + std::to_string(GetLastError()) + ")");
    return false;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  response->set_status_code(static_cast<int>(status));
  wchar_t type[256] = {};
  DWORD type_size = sizeof type;
  if (WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, type, &type_size,
                          WINHTTP_NO_HEADER_INDEX))
    response->set_content_type(Utf8FromWide(type));
  const uint64_t limit = request.body_limit();
  wchar_t length_text[32] = {};
  DWORD length_size = sizeof length_text;
  if (WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length_text,
                          &length_size, WINHTTP_NO_HEADER_INDEX) &&
      std::wcstoull(length_text, nullptr, 10) > limit) {
    response->set_error(kBodyTooLarge);
    return false;
  }
  std::string data;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(req.get(), &available)) {
      response->set_error("the answer broke off");
      response->set_raw_data({});
      return false;
    }
    if (available == 0) break;
    if (data.size() + available > limit) {
      response->set_error(kBodyTooLarge);
      return false;
    }
    size_t old = data.size();
    data.resize(old + available);
    DWORD read = 0;
    if (!WinHttpReadData(req.get(), data.data() + old, available, &read)) {
      response->set_error("the answer broke off");
      return false;
    }
    data.resize(old + read);
  }
  bool ok = status >= 200 && status < 300;
  if (ok)
    response->set_raw_data(std::move(data));
  else
    response->set_error("HTTP status " + std::to_string(status));
  return ok;
}

}  // namespace veltrina::internal
