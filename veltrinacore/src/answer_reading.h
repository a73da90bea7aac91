#pragma once
// The common start of every handler of a list answer: a failed request gives its error text, and
// an ok answer that `read` cannot take (it says why) is refused in the log and fails the same way.
#include <string>

#include "core.h"
#include "service_answers.h"

namespace veltrina::internal {

// True when the answer is ok and `read(&why)` took it; else `*error` says why not.
template <typename Read>
bool ReadAnswer(const backend::Reply& reply, const char* method, Read read, std::string* error) {
  if (!reply.ok) {
    *error = ReplyError(reply);
    return false;
  }
  if (read(error)) return true;
  RefuseAnswer(method, *error);
  return false;
}

}  // namespace veltrina::internal
