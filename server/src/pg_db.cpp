#include "pg_db.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <vector>

namespace veltrina::server::pg {

Result::~Result() {
  if (result_) PQclear(result_);
}

Result& Result::operator=(Result&& other) noexcept {
  if (this != &other) {
    if (result_) PQclear(result_);
    result_ = other.result_;
    other.result_ = nullptr;
  }
  return *this;
}

bool Result::ok() const {
  if (!result_) return false;
  const ExecStatusType status = PQresultStatus(result_);
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int Result::rows() const { return result_ ? PQntuples(result_) : 0; }
std::string Result::Text(int row, int column) const {
  return std::string(PQgetvalue(result_, row, column), static_cast<size_t>(PQgetlength(result_, row, column)));
}
int64_t Result::Int(int row, int column) const { return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10); }
bool Result::IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
int64_t Result::Affected() const {
  const char* n = result_ ? PQcmdTuples(result_) : "";
  return *n ? std::strtoll(n, nullptr, 10) : 0;
}

Db::Db(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
  // Notices (e.g. "relation already exists, skipping") are not the operator's business.
  if (conn_) PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

Db::~Db() {
  if (conn_) PQfinish(conn_);  // an open transaction is rolled back by the server
}

bool Db::ok() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

bool Db::Reset() {
  if (conn_) PQreset(conn_);
  return ok();
}

bool Db::Exec(const char* sql) {
  Result r(PQexec(conn_, sql));
  return r.ok();
}

bool Db::Commit() {
  PGresult* raw = PQexec(conn_, "COMMIT");
  const bool committed = raw && PQresultStatus(raw) == PGRES_COMMAND_OK && std::string(PQcmdStatus(raw)) == "COMMIT";
  Result r(raw);
  return committed;
}

Result Db::Run(const char* sql, std::initializer_list<Value> params) {
  // Text format: every value goes as a zero-terminated string.
  std::vector<std::string> texts;
  std::vector<bool> null;
  texts.reserve(params.size());
  for (const Value& v : params) {
    null.push_back(std::holds_alternative<std::monostate>(v));
    if (const auto* text = std::get_if<std::string_view>(&v)) texts.emplace_back(*text);
    else if (const auto* number = std::get_if<int64_t>(&v)) texts.push_back(std::to_string(*number));
    else texts.emplace_back();
  }
  std::vector<const char*> values;
  for (size_t i = 0; i < texts.size(); ++i) values.push_back(null[i] ? nullptr : texts[i].c_str());
  Result r(PQexecParams(conn_, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
  if (r.ok() && r.rows() == 0) rows_written_ += r.Affected();
  return r;
}

std::string Db::LastError() const {
  if (!conn_) return "out of memory";
  std::string e = PQerrorMessage(conn_);
  while (!e.empty() && (e.back() == '\n' || e.back() == ' ')) e.pop_back();
  return e;
}

bool Db::InTransaction() const {
  const PGTransactionStatusType s = PQtransactionStatus(conn_);
  return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

int Db::BackendPid() const { return conn_ ? PQbackendPID(conn_) : 0; }

}  // namespace veltrina::server::pg
