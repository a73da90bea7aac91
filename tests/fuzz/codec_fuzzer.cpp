// The record codec: whatever FromJson accepts, ToJson writes so that it reads back the same.
#include <string>

#include "fuzz_check.h"
#include "veltrina/backend/codec.h"

namespace {
template <typename T>
void RoundTrip(const std::string& text) {
  T first;
  if (!veltrina::backend::FromJson(text, &first)) return;
  std::string written = veltrina::backend::ToJson(first);
  T second;
  FUZZ_CHECK(veltrina::backend::FromJson(written, &second));
  FUZZ_CHECK(veltrina::backend::ToJson(second) == written);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  using namespace veltrina;
  RoundTrip<User>(text);
  RoundTrip<Team>(text);
  RoundTrip<Channel>(text);
  RoundTrip<IM>(text);
  RoundTrip<Message>(text);
  RoundTrip<Entity>(text);
  RoundTrip<Comment>(text);
  RoundTrip<Service>(text);
  RoundTrip<Token>(text);
  veltrina::backend::Quote(text);
  return 0;
}
