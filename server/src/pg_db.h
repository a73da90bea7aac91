#pragma once
// A thin RAII layer over libpq: one connection, statements with $1-style parameters sent as text,
// and results read as text or numbers.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

struct pg_conn;
struct pg_result;

namespace veltrina::server::pg {

// A parameter: text, a number, or SQL NULL.
using Value = std::variant<std::monostate, std::string_view, int64_t>;

class Result {
 public:
  explicit Result(pg_result* result = nullptr) : result_(result) {}
  ~Result();
  Result(Result&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  Result& operator=(Result&& other) noexcept;
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;

  // The statement ran (with or without rows).
  bool ok() const;
  int rows() const;
  std::string Text(int row, int column) const;
  int64_t Int(int row, int column) const;
  bool IsNull(int row, int column) const;
  // Rows a command inserted, updated or deleted.
  int64_t Affected() const;

 private:
  pg_result* result_;
};

class Db {
 public:
  // Connects to `conninfo` (a postgresql:// address or key=value words). Check ok().
  explicit Db(const std::string& conninfo);
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  bool ok() const;
  // Connects again after the connection broke (the server restarted, say); true when it is up.
  bool Reset();
  pg_conn* get() const { return conn_; }
  // Runs one or more statements without parameters. False with the reason in LastError.
  bool Exec(const char* sql);
  // Ends the open transaction; false when it was rolled back instead (a statement in it failed:
  // PostgreSQL answers such a COMMIT as if it had worked, with "ROLLBACK").
  bool Commit();
  // One statement with parameters $1, $2, ...
  Result Run(const char* sql, std::initializer_list<Value> params = {});
  std::string LastError() const;
  bool InTransaction() const;
  // The server process of this connection (to tell its own notifications from others').
  int BackendPid() const;
  // Rows written through this connection (inserted, updated or deleted), counted by Run.
  int64_t rows_written() const { return rows_written_; }

 private:
  pg_conn* conn_;
  int64_t rows_written_ = 0;
};

}  // namespace veltrina::server::pg
