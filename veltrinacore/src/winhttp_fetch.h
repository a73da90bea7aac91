#pragma once
// A blocking HTTP(S) request through WinHTTP.
#include "veltrina/http.h"

namespace veltrina::internal {

// Fills `response`; true for a 2xx answer. Only http:// and https:// addresses are fetched.
bool WinHttpFetch(const HttpRequest& request, HttpResponse* response);

}  // namespace veltrina::internal
