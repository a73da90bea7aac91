#include "sqlite_db.h"

#include <sqlite3.h>

namespace veltrina::server::sqlite {

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::BindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

int Statement::ParameterCount() const { return sqlite3_bind_parameter_count(stmt_); }

int Statement::Step() { return sqlite3_step(stmt_); }

bool Statement::Run() {
  const int rc = sqlite3_step(stmt_);
  return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Db::~Db() {
  cache_.clear();  // statements are finalized before the connection closes
  sqlite3_close(db_);
}

bool Db::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

Statement* Db::Use(const char* sql) {
  auto it = cache_.find(sql);
  if (it == cache_.end()) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      return nullptr;
    }
    it = cache_.emplace(sql, std::make_unique<Statement>(stmt)).first;
  }
  it->second->Reset();
  return it->second.get();
}

std::string Db::LastError() const { return sqlite3_errmsg(db_); }

bool Db::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

}  // namespace veltrina::server::sqlite
