#pragma once
// A thin RAII layer over SQLite's C API: one connection, and statements prepared once per text
// and reused (reset, bindings cleared) on every use.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace veltrina::server::sqlite {

class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters count from 1, as in SQL's ?1.
  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, int64_t value);
  Statement& BindNull(int index);
  int ParameterCount() const;
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Runs a statement that returns no rows: true when it finished.
  bool Run();
  std::string Text(int column) const;
  int64_t Int(int column) const;
  bool IsNull(int column) const;
  // Ready for the next use: reset and bindings cleared.
  void Reset();

 private:
  sqlite3_stmt* stmt_;
};

class Db {
 public:
  // Takes over an open connection (closed on destruction; an open transaction is rolled back).
  explicit Db(sqlite3* db) : db_(db) {}
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  sqlite3* get() const { return db_; }
  // Runs one or more statements without results. False with the reason in LastError.
  bool Exec(const char* sql);
  // The statement for this text (a string literal: it is kept by its address), prepared on first use and reset for this one. Null (LastError
  // says why) when it does not prepare.
  Statement* Use(const char* sql);
  std::string LastError() const;
  bool InTransaction() const;

 private:
  sqlite3* db_;
  std::map<const char*, std::unique_ptr<Statement>> cache_;  // by the address of the literal
};

}  // namespace veltrina::server::sqlite
