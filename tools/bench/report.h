#pragma once
// One measured figure, printed as "result <key> <value>" for bench.sh to collect.
#include <cstdio>

namespace bench {

inline void Report(const char* key, double value) {
  std::printf("result %s %.3f\n", key, value);
  std::fflush(stdout);
}

}  // namespace bench
