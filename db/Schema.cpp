#include "db/Schema.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rt {

bool CreateSqliteDatabase(const std::string& path, std::string* error) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    *error = "file exists already: " + path;
    return false;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    char* msg = nullptr;
    rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_exec(db, (std::string("BEGIN;") + kSchemaSqlite + "COMMIT;").c_str(), nullptr,
                        nullptr, &msg);
    }
    if (rc != SQLITE_OK) {
      *error = msg ? msg : sqlite3_errmsg(db);
      sqlite3_free(msg);
    }
  } else {
    *error = sqlite3_errmsg(db);
  }
  sqlite3_close_v2(db);
  if (rc != SQLITE_OK) ::unlink(path.c_str());
  return rc == SQLITE_OK;
}

}  // namespace rt
