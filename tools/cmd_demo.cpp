// pelvaro-admin demo DIR [options]: a demonstration plant laid out as a site
// is: DIR/plant.db, DIR/files/korvane.ini and the working directory
// DIR/site/bin/batch/run (with its Msg folder), four levels below DIR, from
// which the configuration file's fixed relative path reaches DIR/files.
//
// With --db pg:CONNINFO the plant goes into that PostgreSQL database instead
// of DIR/plant.db: its tables are created when it has none (as init-db does),
// and a database whose tables hold rows is refused. The configuration file
// names the database with the same pg: text and holds the login of the load:
// --login or $PGUSER, and $PGPASSWORD (never an option, never printed).
#include <libpq-fe.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "db/DemoPlant.h"
#include "db/PgBackend.h"
#include "db/PgRowSink.h"
#include "db/Schema.h"
#include "tools/Admin.h"
#include "util/Clock.h"
#include "util/Config.h"
#include "util/Env.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: pelvaro-admin demo DIR [--workplaces N] [--groups G] [--days D] [--positions P]\n"
    "                              [--messages M] [--seed S] [--today YYYYMMDD]\n"
    "                              [--db pg:CONNINFO [--login USER]]\n"
    "       with --db the password comes from $PGPASSWORD, the user from --login or $PGUSER\n";

constexpr const char* kRunDir = "site/bin/batch/run";
// The database as the working directory sees it.
constexpr const char* kNetService = "../../../../plant.db";
constexpr const char* kLogin = "pelvaro";
constexpr const char* kPassword = "demo";
// The longest value a configuration entry holds.
constexpr std::size_t kMaxValue = 40;

// Where the plant goes: DIR/plant.db, or a PostgreSQL database.
struct Target {
  bool dbGiven = false, loginGiven = false;
  std::string net;  // with --db: "pg:CONNINFO"
  std::string login, password;
  bool pg() const { return dbGiven; }
  std::string conninfo() const { return net.substr(3); }
};

// The tables of a plant, the evaluation's own included: a database where any
// of them holds a row is no place for a demo.
constexpr const char* kPlantTables[] = {
    "Kvn133Bak", "Kvn133Kal", "Kvn531Apl", "Kvn532Aem", "Kvn533Emo", "Kvn535Pms",
    "Kvn536Pmz", "Kvn560Mel", "Kvn563Mrk", "Kvn565Map", "Kvn590Nza", "Kvn591Nzp"};

bool ParseInt(const std::string& text, long long lo, long long hi, long long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Options as "--name value" or "--name=value".
bool ParseOptions(const std::vector<std::string>& args, std::string* dir,
                  demo::PlantOptions* o, Target* target, std::string* error) {
  struct IntOption {
    const char* name;
    int* target;
  } ints[] = {{"--workplaces", &o->workplaces}, {"--groups", &o->groups},
              {"--days", &o->days},             {"--positions", &o->positions},
              {"--messages", &o->messages}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    if (name.rfind("--", 0) != 0) {
      if (!dir->empty()) {
        *error = "more than one DIR: " + name;
        return false;
      }
      *dir = name;
      continue;
    }
    if (auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = "missing value for " + name;
      return false;
    }
    bool known = false;
    for (auto& opt : ints) {
      if (name != opt.name) continue;
      long long v = 0;
      if (!ParseInt(value, INT_MIN, INT_MAX, &v)) {
        *error = name + " needs a whole number, not '" + value + "'";
        return false;
      }
      *opt.target = static_cast<int>(v);
      known = true;
    }
    if (name == "--seed") {
      long long v = 0;
      if (!ParseInt(value, 0, LLONG_MAX, &v)) {
        *error = "--seed needs a whole number from 0 on, not '" + value + "'";
        return false;
      }
      o->seed = static_cast<std::uint64_t>(v);
      known = true;
    } else if (name == "--today") {
      o->today = value;
      known = true;
    } else if (name == "--db") {
      target->net = value;
      target->dbGiven = true;
      known = true;
    } else if (name == "--login") {
      target->login = value;
      target->loginGiven = true;
      known = true;
    }
    if (!known) {
      *error = "unknown option " + name;
      return false;
    }
  }
  if (dir->empty()) {
    *error = "DIR missing";
    return false;
  }
  if (target->loginGiven && !target->pg()) {
    *error = "--login goes with --db pg:CONNINFO";
    return false;
  }
  return true;
}

// The PostgreSQL target complete: login from the environment unless given,
// every value within what the configuration file holds.
bool CheckTarget(Target* t, std::string* error) {
  if (t->net.rfind("pg:", 0) != 0 || t->net.size() == 3) {
    *error = "--db takes pg:CONNINFO (a SQLite plant always goes to DIR/plant.db)";
    return false;
  }
  if (t->net.size() > kMaxValue) {
    *error = "--db names the database in " + std::to_string(t->net.size()) +
             " characters, the configuration file holds " + std::to_string(kMaxValue) +
             ": name it by a service, pg:service=NAME";
    return false;
  }
  if (!t->loginGiven) {
    const char* u = std::getenv("PGUSER");
    t->login = u ? u : "";
  }
  const char* p = std::getenv("PGPASSWORD");
  t->password = p ? p : "";
  if (t->login.size() > kMaxValue) {
    *error = "the login is longer than " + std::to_string(kMaxValue) + " characters";
    return false;
  }
  if (t->password.size() > kMaxValue) {
    *error = "$PGPASSWORD is longer than " + std::to_string(kMaxValue) + " characters";
    return false;
  }
  return true;
}

// Makes the PostgreSQL database ready for the load: creates the tables when
// it has none; refuses when any plant table holds rows.
bool PreparePostgres(const Target& t, std::string* error) {
  const std::string conninfo = t.conninfo();
  const char* keys[] = {"dbname", "user", "password", "connect_timeout", nullptr};
  const char* values[] = {conninfo.c_str(), t.login.empty() ? nullptr : t.login.c_str(),
                          t.password.empty() ? nullptr : t.password.c_str(), "30", nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 1);
  auto fail = [&](const std::string& what) {
    *error = what + PQerrorMessage(conn);
    while (!error->empty() && error->back() == '\n') error->pop_back();
    PQfinish(conn);
    return false;
  };
  if (PQstatus(conn) != CONNECTION_OK) return fail("cannot connect to " + t.net + ": ");
  PQclear(PQexec(conn, "SELECT set_config('search_path', current_setting('search_path') || "
                       "', kvsystem', false)"));
  PGresult* r = PQexec(conn, "SELECT to_regclass('Kvn531Apl') IS NULL");
  if (PQresultStatus(r) != PGRES_TUPLES_OK) {
    PQclear(r);
    return fail("cannot look for the tables: ");
  }
  const bool noTables = std::string(PQgetvalue(r, 0, 0)) == "t";
  PQclear(r);
  if (noTables) {
    PQfinish(conn);
    return rt::CreatePostgresTables(conninfo, t.login, t.password, error);
  }
  std::string filled;
  for (const char* table : kPlantTables) {
    r = PQexec(conn, (std::string("SELECT EXISTS (SELECT 1 FROM ") + table + ")").c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
      PQclear(r);
      return fail(std::string("cannot read ") + table + ": ");
    }
    if (std::string(PQgetvalue(r, 0, 0)) == "t") filled += (filled.empty() ? "" : ", ") + std::string(table);
    PQclear(r);
  }
  PQfinish(conn);
  if (!filled.empty()) {
    *error = t.net + " holds rows already (" + filled + "): a demo goes into empty tables";
    return false;
  }
  return true;
}

// The configuration file: entries of two lines, a section line and a line
// "number;name;stored value". Sections and numbers are not empty or 0, since
// the reader's lookup takes an empty section or the number 0 for a match.
bool WriteConfigFile(const fs::path& file, const Target& target) {
  std::ofstream out(file, std::ios::binary);
  struct {
    const char* comment;
    const char* name;
    std::string value;
  } entries[] = {{"Datenbank-Benutzer", "LOGIN", target.pg() ? target.login : kLogin},
                 {"Datenbank-Kennwort", "PASS", target.pg() ? target.password : kPassword},
                 {"Net8-Dienstname", "NET8", target.pg() ? target.net : kNetService}};
  int number = 0;
  for (const auto& e : entries) {
    out << ";DB;" << e.comment << "\n"
        << ++number << ";" << e.name << ";" << pelvaro::EncipherValue(e.value) << "\n";
  }
  out.close();
  return static_cast<bool>(out);
}

// The batch program beside this one, if it is there.
std::string BatchProgram() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path batch = self.parent_path() / "pelvaro";
    if (fs::exists(batch, ec)) return batch.string();
  }
  return "pelvaro";
}

int Refuse(const std::string& why) {
  std::fprintf(stderr, "pelvaro-admin demo: %s\n", why.c_str());
  return 1;
}

int RunDemo(const std::vector<std::string>& args) {
  std::string dirArg, error;
  demo::PlantOptions options;
  Target target;
  if (!ParseOptions(args, &dirArg, &options, &target, &error)) {
    std::fprintf(stderr, "pelvaro-admin demo: %s\n%s", error.c_str(), kUsage);
    return 1;
  }
  if (target.pg() && !CheckTarget(&target, &error)) return Refuse(error);
  if (options.today.empty()) {
    char today[9];
    pelvaro::DateText(pelvaro::CurrentEnv()->Now(), today);
    options.today = today;
  }
  if (!demo::CheckOptions(options, &error)) return Refuse(error);

  const fs::path dir(dirArg);
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!fs::is_directory(dir, ec)) return Refuse(dirArg + " exists and is not a directory");
    if (!fs::is_empty(dir, ec)) return Refuse(dirArg + " exists and is not empty");
  }
  const fs::path runDir = dir / kRunDir;
  const fs::path dbPath = dir / "plant.db";
  const fs::path iniPath = dir / "files" / "korvane.ini";
  fs::create_directories(dir / "files", ec);
  if (!ec) fs::create_directories(runDir / "Msg", ec);
  if (ec) return Refuse("cannot create the folders in " + dirArg + ": " + ec.message());

  // Whatever was made is taken away again when the plant cannot be built.
  auto undo = [&](const std::string& why) {
    std::error_code ignored;
    for (const char* name : {"plant.db", "plant.db-wal", "plant.db-shm", "files", "site"})
      fs::remove_all(dir / name, ignored);
    return Refuse(why);
  };
  demo::PlantSummary summary;
  {
    std::unique_ptr<demo::RowSink> sink;
    if (target.pg()) {
      if (!PreparePostgres(target, &error)) return undo(error);
      sink = demo::PgRowSink::Open(target.conninfo(), target.login, target.password, &error);
    } else {
      if (!rt::CreateSqliteDatabase(dbPath.string(), &error)) return undo(error);
      sink = demo::SqliteRowSink::Open(dbPath.string(), &error);
    }
    if (!sink) return undo(error);
    if (!demo::GeneratePlant(options, *sink, &summary, &error)) return undo(error);
    if (!sink->Commit()) return undo(sink->Error());
  }
  if (!WriteConfigFile(iniPath, target)) return undo("cannot write " + iniPath.string());

  std::printf(
      "demo plant in %s: %d workplaces in %d groups, %d days of history %s..%s (%d working "
      "days), %lld booking messages, %d positions running (%d interrupted), %d recalculation "
      "markers\n",
      dirArg.c_str(), summary.workplaces, summary.groups, summary.days, summary.firstDay.c_str(),
      summary.lastDay.c_str(), summary.workingDays, static_cast<long long>(summary.messages),
      summary.running, summary.interrupted, summary.markers);
  if (target.pg())
    std::printf("database %s, login %s\n", target.net.c_str(),
                target.login.empty() ? "(libpq's default user)" : target.login.c_str());
  std::printf("run: cd %s && %s QUORVELT APL 0000000000 %s 00000000\n", runDir.c_str(),
              BatchProgram().c_str(), summary.firstDay.c_str());
  return 0;
}

}  // namespace

ADMIN_COMMAND(demo, "demo",
              "DIR [--workplaces N] [--groups G] [--days D] [--positions P] [--messages M] "
              "[--seed S] [--today YYYYMMDD] [--db pg:CONNINFO [--login USER]]",
              "builds a demonstration plant in DIR: database, configuration file and working "
              "directory (defaults 12 workplaces, 3 groups, 28 days, 3 positions and 30 messages "
              "per workplace and working day, seed 1, today); with --db the database is that "
              "PostgreSQL one (tables created when it has none, refused when they hold rows), "
              "the login --login or $PGUSER, the password $PGPASSWORD",
              RunDemo);
