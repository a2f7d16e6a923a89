#include "db/PgRowSink.h"

#include <charconv>

namespace demo {

std::unique_ptr<PgRowSink> PgRowSink::Open(const std::string& conninfo, const std::string& user,
                                           const std::string& password, std::string* error) {
  std::unique_ptr<PgRowSink> sink(new PgRowSink());
  const char* keys[] = {"dbname", "user", "password", nullptr};
  const char* values[] = {conninfo.c_str(), user.empty() ? nullptr : user.c_str(),
                          password.empty() ? nullptr : password.c_str(), nullptr};
  sink->conn_ = PQconnectdbParams(keys, values, 1);
  if (PQstatus(sink->conn_) != CONNECTION_OK) {
    *error = PQerrorMessage(sink->conn_);
    return nullptr;
  }
  PGresult* r = PQexec(sink->conn_,
                       "SET DateStyle TO ISO; SELECT set_config('search_path', "
                       "current_setting('search_path') || ', kvsystem', false); BEGIN");
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  if (!ok) {
    *error = PQerrorMessage(sink->conn_);
    return nullptr;
  }
  sink->open_ = true;
  return sink;
}

PgRowSink::~PgRowSink() { PQfinish(conn_); }

bool PgRowSink::Fail(const std::string& what) {
  error_ = what + ": " + PQerrorMessage(conn_);
  return false;
}

int PgRowSink::Table(std::string_view table, std::span<const char* const> columns) {
  std::string sql = "INSERT INTO " + std::string(table) + " (";
  std::string marks;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    sql += i ? "," : "";
    sql += columns[i];
    marks += (i ? ",$" : "$") + std::to_string(i + 1);
  }
  sql += ") VALUES (" + marks + ")";
  const std::string name = "t" + std::to_string(columns_.size());
  PGresult* r = PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr);
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  if (!ok) {
    Fail("cannot prepare " + sql);
    return -1;
  }
  columns_.push_back(columns.size());
  return static_cast<int>(columns_.size()) - 1;
}

bool PgRowSink::Row(int table, std::span<const Value> values) {
  if (table < 0 || static_cast<std::size_t>(table) >= columns_.size()) {
    error_ = "row for an undeclared table";
    return false;
  }
  if (values.size() != columns_[static_cast<std::size_t>(table)]) {
    error_ = "wrong number of values for table " + std::to_string(table);
    return false;
  }
  texts_.assign(values.size(), std::string());
  pointers_.assign(values.size(), nullptr);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    std::string& t = texts_[i];
    switch (v.kind) {
      case Value::kNull:
        continue;
      case Value::kInt:
        t = std::to_string(v.i);
        break;
      case Value::kReal: {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v.d);
        t.assign(buf, r.ptr);
        break;
      }
      case Value::kText:
      case Value::kDate:
        t.assign(v.text.data(), v.text.size());
        break;
    }
    pointers_[i] = t.c_str();
  }
  const std::string name = "t" + std::to_string(table);
  PGresult* r = PQexecPrepared(conn_, name.c_str(), static_cast<int>(values.size()),
                               pointers_.data(), nullptr, nullptr, 0);
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  return ok || Fail("insert into table " + std::to_string(table));
}

bool PgRowSink::Commit() {
  if (!open_) {
    error_ = "no load to commit";
    return false;
  }
  open_ = false;
  PGresult* r = PQexec(conn_, "COMMIT");
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  return ok || Fail("commit");
}

}  // namespace demo
