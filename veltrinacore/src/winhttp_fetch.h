#pragma once
// A blocking HTTP(S) request through WinHTTP.
#include "veltrina/http.h"

namespace veltrina::internal {

// The error of an answer whose body is larger than the request's body_limit.
inline constexpr const char* kBodyTooLarge = "the answer is too large";

// Fills `response`; true for a 2xx answer. Only http:// and https:// addresses are fetched.
bool WinHttpFetch(const HttpRequest& request, HttpResponse* response);

}  // namespace veltrina::internal
