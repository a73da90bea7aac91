#pragma once
// A throw-away PostgreSQL server for the tests: a cluster made in a temporary folder on first use
// (initdb, then postgres on a unix socket in that folder and a free port), stopped and removed
// when the test program ends. As root the server runs as `nobody` (PostgreSQL refuses root).
#include <string>

namespace server_test {

// Empty when a server runs (started now or before), or why there is none. Without PostgreSQL's
// programs a test skips; under CI (CI set) it fails instead, as a full run must test both stores.
std::string PgUnavailable();
// A new empty database on the cluster, and its address (postgresql://...).
std::string PgNewDatabase();
// Runs SQL on a database; false with `error` set when it fails. `value`: the first column of the
// first row, when there is one.
bool PgExec(const std::string& conninfo, const std::string& sql, std::string* value = nullptr,
            std::string* error = nullptr);

}  // namespace server_test

// Skips (or under CI fails) the current test when there is no PostgreSQL.
#define VELTRINA_REQUIRE_PG()                                                  \
  do {                                                                         \
    const std::string why_no_pg = ::server_test::PgUnavailable();              \
    if (!why_no_pg.empty()) {                                                  \
      if (std::getenv("CI")) FAIL() << why_no_pg;                              \
      GTEST_SKIP() << why_no_pg;                                               \
    }                                                                          \
  } while (0)
