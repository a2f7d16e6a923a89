// A fresh database per test, created from the schema, with the runtime
// connected to it and a second raw connection to lay rows and read them back.
// The same tests run on both backends:
//  - SQLite: a new database file in a scratch folder;
//  - PostgreSQL: a new database on the server that PELVARO_PG names (a libpq
//    connection string; PELVARO_PG_USER and PELVARO_PG_PASSWORD give the
//    login), dropped again at the end. Without PELVARO_PG such a test is
//    skipped with the reason (scripts/test.sh starts a server of its own).
#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/PgBackend.h"
#include "db/Runtime.h"
#include "db/Schema.h"
#include "db/SqliteBackend.h"

namespace testdb {

enum class Backend { kSqlite, kPostgres };

inline const char* BackendName(Backend b) { return b == Backend::kSqlite ? "sqlite" : "postgres"; }

// For INSTANTIATE_TEST_SUITE_P: names the cases after the backend.
struct BackendParamName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return BackendName(info.param);
  }
};

// The server for PostgreSQL tests, from the environment.
struct PgServer {
  std::string conninfo, user, password;
  // Empty when a server is configured, else why not.
  std::string why;
  static const PgServer& Get() {
    static const PgServer s = [] {
      PgServer p;
      const char* c = std::getenv("PELVARO_PG");
      if (!c || !*c) {
        p.why = "PELVARO_PG is not set: no PostgreSQL server for this run "
                "(scripts/test.sh starts one)";
        return p;
      }
      p.conninfo = c;
      if (const char* u = std::getenv("PELVARO_PG_USER")) p.user = u;
      if (const char* w = std::getenv("PELVARO_PG_PASSWORD")) p.password = w;
      return p;
    }();
    return s;
  }
  // A connection with the server's login to the database of `conninfo`.
  PGconn* ConnectTo(const std::string& info) const {
    const char* keys[] = {"dbname", "user", "password", nullptr};
    const char* values[] = {info.c_str(), user.empty() ? nullptr : user.c_str(),
                            password.empty() ? nullptr : password.c_str(), nullptr};
    return PQconnectdbParams(keys, values, 1);
  }
  // The server's connection string with another database name.
  std::string WithDatabase(const std::string& dbname) const {
    std::string out;
    char* err = nullptr;
    PQconninfoOption* opts = PQconninfoParse(conninfo.c_str(), &err);
    PQfreemem(err);
    for (PQconninfoOption* o = opts; o && o->keyword; ++o) {
      if (!o->val || std::string(o->keyword) == "dbname") continue;
      out += std::string(o->keyword) + "=" + Quote(o->val) + " ";
    }
    PQconninfoFree(opts);
    return out + "dbname=" + dbname;
  }
  static std::string Quote(const std::string& v) {
    bool plain = !v.empty() && v.find_first_of(" '\\") == std::string::npos;
    if (plain) return v;
    std::string q = "'";
    for (char c : v) {
      if (c == '\'' || c == '\\') q += '\\';
      q += c;
    }
    return q + "'";
  }
};

class Db {
 public:
  explicit Db(Backend backend = Backend::kSqlite) : backend_(backend) {
    char tmpl[] = "/tmp/pelvaro-db-XXXXXX";
    dir_ = mkdtemp(tmpl);
    if (backend_ == Backend::kSqlite)
      OpenSqlite();
    else
      OpenPostgres();
  }
  ~Db() {
    rt::Disconnect();
    rt::ClearFaults();
    sqlite3_close_v2(raw_);
    if (pg_) PQfinish(pg_);
    if (admin_) {
      PQclear(PQexec(admin_, ("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)").c_str()));
      PQfinish(admin_);
    }
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  Backend backend() const { return backend_; }
  bool pg() const { return backend_ == Backend::kPostgres; }
  // Whether the database is there; else why not (the test is to be skipped).
  bool available() const { return why_.empty(); }
  const std::string& why() const { return why_; }

  // A scratch folder of the test, on both backends.
  const std::string& dir() const { return dir_; }
  // The SQLite file; on PostgreSQL the net service name "pg:<connection string>".
  const std::string& path() const { return path_; }
  // The net service name of the database for a configuration file.
  std::string net() const { return pg() ? "pg:" + conninfo_ : path_; }

  // Connects the runtime to this database.
  int Connect() {
    if (!pg()) return rt::Connect("user/pw@" + path_);
    const PgServer& s = PgServer::Get();
    const std::string cs = s.user + "/" + s.password + "@pg:" + conninfo_;
    if (cs.size() <= 100) return rt::Connect(cs);
    // A login too long for a connect string still tests the same backend.
    std::unique_ptr<rt::Backend> b;
    int status = rt::OpenPgBackend(conninfo_, s.user, s.password, &b);
    if (status == rt::kOk) rt::Install(std::move(b));
    return status;
  }

  // A second runtime backend on this database, not installed.
  int OpenBackend(std::unique_ptr<rt::Backend>* out) {
    if (!pg()) return rt::OpenSqliteBackend(path_, out);
    const PgServer& s = PgServer::Get();
    return rt::OpenPgBackend(conninfo_, s.user, s.password, out);
  }

  // Runs SQL on the raw connection; fails the test on error.
  void Exec(const std::string& sql) {
    if (!available()) return;
    if (pg()) {
      PGresult* r = PQexec(pg_, sql.c_str());
      ExecStatusType st = PQresultStatus(r);
      EXPECT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK)
          << PQresultErrorMessage(r) << "\n" << sql;
      PQclear(r);
      return;
    }
    char* msg = nullptr;
    int rc = sqlite3_exec(raw_, sql.c_str(), nullptr, nullptr, &msg);
    EXPECT_EQ(rc, SQLITE_OK) << (msg ? msg : "") << "\n" << sql;
    sqlite3_free(msg);
  }

  // Rows of a query as texts ("" for NULL), columns joined by '|'. Numbers
  // with a fraction read as SQLite shows them (15 digits), or with `exact`
  // in the shortest form that reads back as the same double.
  std::vector<std::string> Rows(const std::string& sql, bool exact = false) {
    std::vector<std::string> out;
    if (!available()) return out;
    if (pg()) {
      PGresult* r = PQexec(pg_, sql.c_str());
      EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQresultErrorMessage(r) << "\n" << sql;
      for (int i = 0; i < PQntuples(r); ++i) {
        std::string row;
        for (int c = 0; c < PQnfields(r); ++c) {
          if (c) row += '|';
          const char* v = PQgetvalue(r, i, c);
          if (PQgetisnull(r, i, c)) continue;
          if ((PQftype(r, c) == 701 || PQftype(r, c) == 700) && !exact)
            row += RealText(std::strtod(v, nullptr));
          else
            row += v;
        }
        out.push_back(row);
      }
      PQclear(r);
      return out;
    }
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw_, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(raw_) << "\n" << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) row += '|';
        if (exact && sqlite3_column_type(st, c) == SQLITE_FLOAT) {
          char buf[32];
          auto r = std::to_chars(buf, buf + sizeof buf, sqlite3_column_double(st, c));
          row.append(buf, r.ptr);
          continue;
        }
        const unsigned char* t = sqlite3_column_text(st, c);
        if (t) row += reinterpret_cast<const char*>(t);
      }
      out.push_back(row);
    }
    sqlite3_finalize(st);
    return out;
  }

  std::string One(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() ? std::string("<no row>") : rows[0];
  }

  // Pieces of hand-written SQL that differ between the backends.
  // The yyyymmddHHMMSS text of a date column.
  std::string Ts14(const std::string& col) const {
    return pg() ? "to_char(" + col + ",'YYYYMMDDHH24MISS')" : "strftime('%Y%m%d%H%M%S'," + col + ")";
  }
  // The yyyymmdd text of a date column.
  std::string Day8(const std::string& col) const {
    return pg() ? "to_char(" + col + ",'YYYYMMDD')" : "strftime('%Y%m%d'," + col + ")";
  }
  // The database's local time now, as 'YYYY-MM-DD HH:MM:SS'.
  std::string NowText() {
    return One(pg() ? "select to_char(clock_timestamp(),'YYYY-MM-DD HH24:MI:SS')"
                    : "select datetime('now','localtime')");
  }
  // The database's today plus `days`, as 'YYYY-MM-DD'.
  std::string Today(int days = 0) {
    const std::string d = std::to_string(days);
    return One(pg() ? "select to_char(clock_timestamp()::date + " + d + ",'YYYY-MM-DD')"
                    : "select date('now','localtime','" + d + " day')");
  }
  // The same day as a yyyymmdd text.
  std::string TodayText(int days = 0) {
    std::string d = Today(days);
    return d.size() == 10 ? d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2) : d;
  }
  // The values of `expr` over the rows of a query's FROM and WHERE, joined by `sep`.
  std::string GroupConcat(const std::string& expr, const std::string& sep = ",") const {
    return pg() ? "string_agg(" + expr + ",'" + sep + "')"
                : "group_concat(" + expr + ",'" + sep + "')";
  }
  // An empty date: SQLite keeps an empty text, which reads as no date; the
  // server keeps a NULL, as Oracle does for an empty text.
  std::string EmptyDate() const { return pg() ? "NULL" : "''"; }
  // A time of day for a column that holds one: SQLite keeps the bare time,
  // the server's timestamp needs some date part.
  std::string TimeOfDay(const std::string& hhmmss) const {
    return pg() ? "1899-12-30 " + hhmmss : hhmmss;
  }

  // A number as SQLite shows a REAL: 15 digits, and ".0" when it is whole.
  static std::string RealText(double d) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    std::string t = buf;
    if (t.find_first_of(".eni") == std::string::npos) t += ".0";
    return t;
  }

  sqlite3* raw() { return raw_; }
  PGconn* pgRaw() { return pg_; }

 private:
  void OpenSqlite() {
    path_ = dir_ + "/test.db";
    std::string error;
    EXPECT_TRUE(rt::CreateSqliteDatabase(path_, &error)) << error;
    sqlite3_open(path_.c_str(), &raw_);
    rt::RegisterSqliteFunctions(raw_);  // the executed statements' own functions
    sqlite3_busy_timeout(raw_, 10000);
  }

  void OpenPostgres() {
    const PgServer& s = PgServer::Get();
    if (!s.why.empty()) {
      why_ = s.why;
      return;
    }
    static int counter = 0;
    name_ = "pv_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    admin_ = s.ConnectTo(s.conninfo);
    if (PQstatus(admin_) != CONNECTION_OK) {
      ADD_FAILURE() << "PELVARO_PG names no reachable server: " << PQerrorMessage(admin_);
      why_ = "no connection";
      return;
    }
    PGresult* r = PQexec(admin_, ("CREATE DATABASE " + name_ + " TEMPLATE template0").c_str());
    const bool created = PQresultStatus(r) == PGRES_COMMAND_OK;
    EXPECT_TRUE(created) << PQresultErrorMessage(r);
    PQclear(r);
    if (!created) {
      why_ = "no database";
      return;
    }
    conninfo_ = s.WithDatabase(name_);
    path_ = "pg:" + conninfo_;
    std::string error;
    EXPECT_TRUE(rt::CreatePostgresTables(conninfo_, s.user, s.password, &error)) << error;
    pg_ = s.ConnectTo(conninfo_);
    EXPECT_EQ(PQstatus(pg_), CONNECTION_OK) << PQerrorMessage(pg_);
    PQclear(PQexec(pg_, "SET DateStyle TO ISO; SET extra_float_digits TO 1; "
                        "SET client_min_messages TO warning; "
                        "SELECT set_config('search_path', current_setting('search_path') || "
                        "', kvsystem', false)"));
  }

  Backend backend_;
  std::string dir_, path_, why_;
  sqlite3* raw_ = nullptr;
  // PostgreSQL: the database of this test, the raw connection to it and the
  // connection that created it and drops it.
  std::string name_, conninfo_;
  PGconn* pg_ = nullptr;
  PGconn* admin_ = nullptr;
};

// The SQLite database of the tests that are about SQLite itself.
class SqliteFile : public Db {
 public:
  SqliteFile() : Db(Backend::kSqlite) {}
};

}  // namespace testdb

// Skips the test when its database is not there (no PostgreSQL server).
#define TESTDB_SKIP_UNLESS_AVAILABLE(db) \
  if (!(db).available()) GTEST_SKIP() << (db).why()
