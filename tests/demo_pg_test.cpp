// pelvaro-admin demo into PostgreSQL, run as its own process: the plant in a
// database of the test server equals the SQLite plant of the same options,
// the configuration file names the database and its login, and the batch
// program runs on it from the working directory. Refused targets create
// nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/DbFixture.h"
#include "tests/Shell.h"
#include "util/Config.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

const std::string kAdmin = PELVARO_BIN_DIR "/pelvaro-admin";
const std::string kBatch = PELVARO_BIN_DIR "/pelvaro";
constexpr const char* kService = "pelvaro_demo";

// The tables the demo fills.
constexpr const char* kTables[] = {"Kvn133Bak", "Kvn133Kal", "Kvn531Apl", "Kvn532Aem",
                                   "Kvn533Emo", "Kvn535Pms", "Kvn536Pmz", "Kvn560Mel",
                                   "Kvn563Mrk", "Kvn565Map", "Kvn591Nzp"};

using shell::Quote;
using shell::Result;
using shell::Shell;

Result Demo(const std::string& dir, const Texts& options) {
  std::string cmd = Quote(kAdmin) + " demo " + Quote(dir);
  for (const auto& o : options) cmd += " " + Quote(o);
  return Shell(cmd);
}

std::string RealToday() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

// Sets environment variables for the guard's lifetime (children inherit them).
class EnvVars {
 public:
  EnvVars(std::initializer_list<std::pair<const char*, std::string>> vars) {
    for (const auto& [name, value] : vars) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      ::setenv(name, value.c_str(), 1);
    }
  }
  ~EnvVars() {
    for (const auto& [name, old] : saved_) {
      if (old)
        ::setenv(name, old->c_str(), 1);
      else
        ::unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// Rows of a SQLite file, columns joined by '|'.
Texts SqliteRows(const std::string& path, const std::string& sql) {
  Texts out;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return out;
  }
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db) << "\n" << sql;
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      if (c) row += '|';
      if (const unsigned char* t = sqlite3_column_text(st, c)) row += reinterpret_cast<const char*>(t);
    }
    out.push_back(row);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

// A database of the test server, a service file that names it and the
// login of the server in the environment, as an operator would set them.
class DemoPgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    char* err = nullptr;
    PQconninfoOption* opts = PQconninfoParse(db.path().substr(3).c_str(), &err);
    PQfreemem(err);
    std::ofstream out(db.dir() + "/pg_service.conf");
    out << "[" << kService << "]\n";
    for (PQconninfoOption* o = opts; o && o->keyword; ++o)
      if (o->val) out << o->keyword << "=" << o->val << "\n";
    PQconninfoFree(opts);
    const testdb::PgServer& s = testdb::PgServer::Get();
    env.emplace(std::initializer_list<std::pair<const char*, std::string>>{
        {"PGSERVICEFILE", db.dir() + "/pg_service.conf"},
        {"PGUSER", s.user},
        {"PGPASSWORD", s.password}});
  }

  std::string Count(const std::string& table) { return db.One("SELECT count(*) FROM " + table); }

  testdb::Db db{testdb::Backend::kPostgres};
  std::optional<EnvVars> env;
  const std::string today = RealToday();
  const Texts options = {"--workplaces", "3", "--groups", "2", "--days", "6", "--positions", "2",
                         "--messages", "6", "--seed", "5", "--today", today};
};

Texts WithDb(Texts options) {
  options.insert(options.end(), {"--db", std::string("pg:service=") + kService});
  return options;
}

// The same plant as on SQLite, into a database that init-db prepared or one
// without tables; the configuration file names it with the login of the
// environment, and a run of the batch program from the working directory
// needs nothing else.
TEST_F(DemoPgTest, FillsTheSamePlantAsOnSqliteAndTheBatchProgramRunsOnIt) {
  const std::string lite = db.dir() + "/lite";
  ASSERT_EQ(Demo(lite, options).status, 0);
  const std::string liteDb = lite + "/plant.db";

  for (const bool tablesThere : {true, false}) {
    SCOPED_TRACE(tablesThere ? "tables of init-db" : "no tables");
    if (!tablesThere) {
      std::string drop;
      for (const std::string& t : db.Rows("SELECT schemaname||'.'||tablename FROM pg_tables WHERE "
                                          "schemaname NOT IN ('pg_catalog','information_schema')"))
        drop += "DROP TABLE " + t + ";";
      db.Exec(drop + "DROP SCHEMA kvsystem");
      ASSERT_EQ(db.One("SELECT to_regclass('Kvn591Nzp') IS NULL"), "t");
    }
    const std::string root = db.dir() + (tablesThere ? "/pg" : "/pg-new");
    Result r = Demo(root, WithDb(options));
    ASSERT_EQ(r.status, 0) << r.err;
    const testdb::PgServer& server = testdb::PgServer::Get();
    EXPECT_NE(r.out.find("database pg:service=pelvaro_demo, login " + server.user + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find(server.password), std::string::npos) << "password printed";
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(root + "/plant.db"));

    for (const char* t : kTables) {
      const std::string count = Count(t);
      EXPECT_EQ(count, SqliteRows(liteDb, std::string("SELECT count(*) FROM ") + t).at(0)) << t;
      EXPECT_NE(count, "0") << t;
    }
    EXPECT_EQ(db.Rows("SELECT KeyApl, to_char(KeyUhr,'YYYYMMDDHH24MISS'), KeySek, MelMsk FROM "
                      "Kvn560Mel ORDER BY 1,2,3,4"),
              SqliteRows(liteDb, "SELECT KeyApl, strftime('%Y%m%d%H%M%S',KeyUhr), KeySek, MelMsk "
                                 "FROM Kvn560Mel ORDER BY 1,2,3,4"));

    char user[52], password[52], net[52];
    ASSERT_EQ(setenv(pelvaro::kConfigFileVariable, (root + "/files/korvane.ini").c_str(), 1), 0);
    pelvaro::ReadDbCredentials(user, password, net);
    unsetenv(pelvaro::kConfigFileVariable);
    EXPECT_EQ(std::string(user), server.user);
    EXPECT_EQ(std::string(password), server.password);
    EXPECT_STREQ(net, "pg:service=pelvaro_demo");

    // Mode X over the history: the login is the configuration file's alone.
    const std::size_t at = r.out.find("days of history ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string first = r.out.substr(at + 16, 8);
    ASSERT_TRUE(first.size() == 8 && first.find_first_not_of("0123456789") == std::string::npos)
        << r.out;
    const std::string runDir = root + "/site/bin/batch/run";
    Result run = Shell("cd " + Quote(runDir) + " && env -u PGUSER -u PGPASSWORD " + Quote(kBatch) +
                       " QUORVELT APL 0000000000 " + first + " 00000000");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_FALSE(fs::exists(runDir + "/Msg/Pelvaro.Txt"));
    EXPECT_NE(Count("Kvn590Nza"), "0");
    EXPECT_EQ(db.One("SELECT NzpAus FROM Kvn591Nzp WHERE NzpAkz=4"), "QUORVELT");
  }
}

TEST_F(DemoPgTest, RefusesADatabaseWhoseTablesHoldRowsAndLeavesItAsItWas) {
  ASSERT_EQ(Demo(db.dir() + "/first", WithDb(options)).status, 0);
  db.Exec("INSERT INTO Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm) VALUES "
          "(12,'0000001001',' ',' ','OLD','2004-03-16 06:00:00')");
  Texts before;
  for (const char* t : kTables) before.push_back(Count(t));

  for (const Texts& other : {options, Texts{"--workplaces", "1", "--groups", "1", "--days", "1",
                                            "--positions", "1", "--messages", "2"}}) {
    const std::string second = db.dir() + "/second";
    Result r = Demo(second, WithDb(other));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds rows already"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(second + "/files"));
    EXPECT_FALSE(fs::exists(second + "/site"));
  }
  Texts after;
  for (const char* t : kTables) after.push_back(Count(t));
  EXPECT_EQ(after, before);
  EXPECT_EQ(Count("Kvn590Nza"), "1");
}

// Targets that the configuration file cannot name or that cannot be reached:
// refused, and nothing is left in DIR. No server needed.
TEST(DemoPgRefusalTest, TargetsThatCannotBeUsedLeaveNothing) {
  char tmpl[] = "/tmp/pelvaro-demo-XXXXXX";
  const std::string scratch = mkdtemp(tmpl);
  struct Case {
    const char* what;
    Texts options;
    const char* why;
  } cases[] = {
      {"a SQLite path", {"--db", "plant.db"}, "--db takes pg:"},
      {"no connection string", {"--db", "pg:"}, "--db takes pg:"},
      {"longer than a configuration value",
       {"--db", "pg:host=/var/run/postgresql dbname=plant_of_the_demo"},
       "pg:service=NAME"},
      {"a login without a database", {"--login", "someone"}, "--login goes with --db"},
      {"no server", {"--db", "pg:host=/tmp/pelvaro-no-server dbname=x"}, "cannot connect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = scratch + "/plant";
    Texts options = {"--workplaces", "1", "--groups", "1", "--days", "1", "--positions", "1",
                     "--messages", "2"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    Result r = Demo(dir, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir + "/files"));
    EXPECT_FALSE(fs::exists(dir + "/site"));
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
}

}  // namespace
