#pragma once
// A property every input must keep; a broken one is a finding, like a sanitizer report.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)
