// pelvaro-admin init-db PATH: a new, empty database with every table.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "db/PgBackend.h"
#include "db/Schema.h"
#include "tools/Admin.h"
#include "util/Config.h"

namespace {

int RunInitDb(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty()) {
    std::fprintf(stderr, "usage: pelvaro-admin init-db PATH | pg:CONNINFO\n");
    return 1;
  }
  const std::string& path = args[0];
  if (path.rfind("pg:", 0) == 0) {
    // The tables go into an existing database, under the login of the
    // configuration file when it names one (else libpq's own defaults).
    char user[52] = {}, password[52] = {}, net[52] = {};
    pelvaro::ReadDbCredentials(user, password, net);
    std::string error;
    bool ok = rt::CreatePostgresTables(path.substr(3), user, password, &error);
    std::memset(password, 0, sizeof password);
    if (!ok) {
      std::fprintf(stderr, "pelvaro-admin init-db: %s\n", error.c_str());
      return 1;
    }
    std::printf("created the tables in %s\n", path.c_str());
    return 0;
  }
  std::string error;
  if (!rt::CreateSqliteDatabase(path, &error)) {
    std::fprintf(stderr, "pelvaro-admin init-db: %s\n", error.c_str());
    return 1;
  }
  std::printf("created %s\n", path.c_str());
  return 0;
}

}  // namespace

ADMIN_COMMAND(initdb, "init-db", "PATH | pg:CONNINFO",
              "creates a new SQLite database file with every table (never overwrites one), or "
              "every table in an existing PostgreSQL database (refused when they exist)",
              RunInitDb);
