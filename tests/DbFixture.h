// A real SQLite database file per test, created from the schema, with the
// runtime connected to it and a second raw connection to lay rows and read
// them back.
#pragma once

#include <sqlite3.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Runtime.h"
#include "db/Schema.h"

namespace testdb {

class SqliteFile {
 public:
  SqliteFile() {
    char tmpl[] = "/tmp/pelvaro-db-XXXXXX";
    dir_ = mkdtemp(tmpl);
    path_ = dir_ + "/test.db";
    std::string error;
    ok_ = rt::CreateSqliteDatabase(path_, &error);
    EXPECT_TRUE(ok_) << error;
    sqlite3_open(path_.c_str(), &raw_);
    sqlite3_busy_timeout(raw_, 10000);
  }
  ~SqliteFile() {
    rt::Disconnect();
    rt::ClearFaults();
    sqlite3_close_v2(raw_);
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  const std::string& path() const { return path_; }
  const std::string& dir() const { return dir_; }

  // Connects the runtime to this file.
  int Connect() { return rt::Connect("user/pw@" + path_); }

  // Runs SQL on the raw connection; fails the test on error.
  void Exec(const std::string& sql) {
    char* msg = nullptr;
    int rc = sqlite3_exec(raw_, sql.c_str(), nullptr, nullptr, &msg);
    EXPECT_EQ(rc, SQLITE_OK) << (msg ? msg : "") << "\n" << sql;
    sqlite3_free(msg);
  }

  // Rows of a query as texts ("" for NULL), columns joined by '|'.
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw_, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(raw_) << "\n" << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) row += '|';
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

  sqlite3* raw() { return raw_; }

 private:
  std::string dir_, path_;
  sqlite3* raw_ = nullptr;
  bool ok_ = false;
};

}  // namespace testdb
