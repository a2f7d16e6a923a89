// pelvaro-admin init-db PATH: a new, empty database with every table.
#include <cstdio>
#include <string>
#include <vector>

#include "db/Schema.h"
#include "tools/Admin.h"

namespace {

int RunInitDb(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty()) {
    std::fprintf(stderr, "usage: pelvaro-admin init-db PATH\n");
    return 1;
  }
  const std::string& path = args[0];
  if (path.rfind("pg:", 0) == 0) {
    std::fprintf(stderr, "pelvaro-admin init-db: the PostgreSQL backend is not available yet\n");
    return 1;
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

ADMIN_COMMAND(initdb, "init-db", "PATH",
              "creates a new SQLite database file with every table (never overwrites one)",
              RunInitDb);
