// The batch program run as its own process, in a scratch folder laid out as
// on a site: ROOT/files/korvane.ini with enciphered credentials, the working
// directory four levels below ROOT with its Msg folder, and the database
// filled through the Plant builder: on SQLite the file ROOT/test.db, on
// PostgreSQL a database of its own on the test server, named through a libpq
// service file (ROOT/pg_service.conf) because a configuration value holds at
// most 40 characters. The clock of the process is stopped with PELVARO_NOW
// (for the program and its embedded database) and the time zone fixed, stdin
// is /dev/null, and the console output is captured.
//
// The server's clock is not the process's: on PostgreSQL sysdate is the real
// time. The parameter rows are therefore laid out around the database's today
// (DbDay), and a stamp's time is checked to lie within the run (StampTime).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/PlantFixture.h"
#include "util/Config.h"

namespace e2e {

inline constexpr const char* kProgram = PELVARO_BIN_DIR "/pelvaro";

// The frozen clock of a run ('YYYY-MM-DD HH:MM:SS'), and the same moment in
// the forms the program and the log show.
inline constexpr const char* kClock = "2004-03-20 10:00:00";
inline constexpr const char* kToday = "20040320";
inline constexpr const char* kLogDate = "20.03.04";
inline constexpr const char* kLogTime = "10:00:00";
inline constexpr const char* kDbNow = "2004-03-20 10:00:00";
// How ParameterRows shows, on PostgreSQL, a time that lies within the last run.
inline constexpr const char* kDuringTheRun = "<during the run>";

// A run that has not ended by then is killed and reported.
inline constexpr std::chrono::seconds kRunLimit{120};

struct RunResult {
  bool started = false;
  bool exited = false;  // ended through exit, not by a signal or the watchdog
  int exitStatus = -1;
  std::string out, err;  // the console
};

struct RunOptions {
  std::string clock = kClock;
  std::vector<std::string> env;  // further "NAME=value" entries
};

// One FMSG entry of the message log, byte for byte.
inline std::string LogEntryText(const std::string& date, const std::string& time,
                                const std::string& message, const std::string& funktion,
                                const std::string& code) {
  return std::string(1, '\xFE') + "\r\nSystem-Date: " + date + "\r\nSystem-Time: " + time +
         "\r\nMsgArt_____: FMSG \r\nMessage____: " + message + "\r\nFunktion___: " + funktion +
         "\r\nErrorCode__: " + code + "\r\n";
}

// An entry written at the frozen clock of a run.
inline std::string Entry(const std::string& message, const std::string& funktion, int code) {
  return LogEntryText(kLogDate, kLogTime, message, funktion, std::to_string(code));
}

// Every run ends with exit status 0 and leaves the console silent.
inline ::testing::AssertionResult CleanExit(const RunResult& r) {
  if (!r.started) return ::testing::AssertionFailure() << "not started: " << r.err;
  if (!r.exited) return ::testing::AssertionFailure() << "did not exit normally";
  if (r.exitStatus != 0) return ::testing::AssertionFailure() << "exit status " << r.exitStatus;
  if (!r.out.empty()) return ::testing::AssertionFailure() << "stdout: " << r.out;
  if (!r.err.empty()) return ::testing::AssertionFailure() << "stderr: " << r.err;
  return ::testing::AssertionSuccess();
}

class Site : public testdb::Plant {
 public:
  // The database path as the configuration gives it: relative to the working
  // directory.
  static constexpr const char* kRelativeDb = "../../../../test.db";
  // The service of the site's PostgreSQL database, and one whose database
  // the server does not have.
  static constexpr const char* kService = "pelvaro_e2e";
  static constexpr const char* kMissingService = "pelvaro_e2e_missing";

  // Without a reachable server a PostgreSQL site is not available (see
  // TESTDB_SKIP_UNLESS_AVAILABLE) and gets no configuration file.
  explicit Site(testdb::Backend backend = testdb::Backend::kSqlite) : Plant(backend) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir() + "/files", ec);
    fs::create_directories(WorkDir() + "/Msg", ec);
    fs::create_directories(dir() + "/console", ec);
    EXPECT_FALSE(ec) << ec.message();
    if (!available()) return;
    if (pg()) {
      WriteServiceFile();
      today_ = TodayText();
    } else {
      today_ = kToday;
    }
    Configure(ConfigPath(), Net());
  }

  std::string WorkDir() const { return dir() + "/site/bin/batch/run"; }
  std::string ConfigPath() const { return dir() + "/files/korvane.ini"; }
  std::string LogPath() const { return WorkDir() + "/Msg/Pelvaro.Txt"; }
  std::string ServiceFile() const { return dir() + "/pg_service.conf"; }

  // The net service name of the configuration file: the database file
  // relative to the working directory, or the service of the database.
  std::string Net() const { return pg() ? std::string("pg:service=") + kService : kRelativeDb; }
  // The same database from any working directory.
  std::string AbsoluteNet() const { return pg() ? Net() : path(); }
  // A database that is not there.
  std::string MissingNet() const {
    return pg() ? std::string("pg:service=") + kMissingService : "../../../../missing.db";
  }

  // A configuration file naming `net`, with the login of the backend: the
  // test server's on PostgreSQL.
  void Configure(const std::string& path, const std::string& net) const {
    if (!pg()) return WriteConfig(path, net);
    const testdb::PgServer& s = testdb::PgServer::Get();
    WriteConfig(path, net, s.user, s.password);
  }

  // The database's today plus `days`, as 'YYYY-MM-DD': on SQLite the frozen
  // day of the runs (the program's sysdate), on PostgreSQL the server's day.
  std::string DbDay(int days) const {
    using namespace std::chrono;
    if (today_.size() != 8) return "<no day>";
    const year_month_day ymd{sys_days{year{std::stoi(today_.substr(0, 4))} /
                                      std::stoi(today_.substr(4, 2)) /
                                      std::stoi(today_.substr(6, 2))} +
                             std::chrono::days{days}};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()));
    return buf;
  }

  // The time a stamp of the last run holds, as ParameterRows shows it: the
  // frozen clock on SQLite; on PostgreSQL the server's time, shown as
  // kDuringTheRun when it lies between the start and the end of the run.
  std::string StampTime() const { return pg() ? kDuringTheRun : kDbNow; }

  // A configuration file as a site keeps it: entries of two lines, CR LF line
  // ends, values enciphered.
  static void WriteConfig(const std::string& path, const std::string& net,
                          const std::string& login = "pelvaro",
                          const std::string& pass = "geheim") {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << ";DB;\r\n1;LOGIN;" << pelvaro::EncipherValue(login) << "\r\n;DB;\r\n2;PASS;"
        << pelvaro::EncipherValue(pass) << "\r\n;DB;\r\n3;NET8;" << pelvaro::EncipherValue(net)
        << "\r\n";
    EXPECT_TRUE(out.good()) << path;
  }

  // Runs the program with the arguments (the program itself not included) in
  // the working directory.
  RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
    RunResult r;
    std::vector<std::string> argvText = {kProgram};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::string now;  // yyyymmddHHMMSS
    for (char c : options.clock)
      if (c >= '0' && c <= '9') now += c;
    std::vector<std::string> envText = {"TZ=UTC", "PATH=/usr/bin:/bin", "PELVARO_NOW=" + now};
    if (pg()) {
      envText.push_back("PGSERVICEFILE=" + ServiceFile());
      // The server's time zone as this process's sessions see it.
      if (const char* tz = std::getenv("PGTZ")) envText.push_back(std::string("PGTZ=") + tz);
      runFrom_ = NowText();
    }
    envText.insert(envText.end(), options.env.begin(), options.env.end());
    std::vector<char*> argv, envp;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outPath = dir() + "/console/stdout";
    const std::string errPath = dir() + "/console/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, WorkDir().c_str());
    pid_t pid = 0;
    int rc = posix_spawn(&pid, kProgram, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      r.err = "posix_spawn failed: " + std::to_string(rc);
      return r;
    }
    r.started = true;

    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    for (;;) {
      pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0) {
        ADD_FAILURE() << "waitpid failed";
        return r;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "the run did not end and was killed";
        return r;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.exited = WIFEXITED(status);
    r.exitStatus = r.exited ? WEXITSTATUS(status) : -1;
    if (pg()) runTo_ = NowText();
    r.out = ReadAll(outPath);
    r.err = ReadAll(errPath);
    return r;
  }

  // The message log of the working directory; empty when none was written.
  std::string Log() const { return ReadAll(LogPath()); }

  // ---- rows of the scenario

  // A recalculation marker at yyyymmddHHMMSS.
  void Marker(const std::string& apl, const std::string& ts, const std::string& apk = "A1",
              const std::string& kng = "LZM") {
    Exec("INSERT INTO Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt,MrkObj,MrkEsb) "
         "VALUES ('" + kng + "','" + apl + "','" + apk + "','10','P1',1,'" + testdb::IsoTs(ts) +
         "','M_A','E1')");
  }
  // The markers left, each as "workplace yyyymmddHHMMSS kind", in order.
  std::vector<std::string> Markers() {
    return Rows("SELECT MrkApl||' '||" + Ts14("MrkMdt") + "||' '||MrkKng FROM Kvn563Mrk "
                "ORDER BY MrkApl, MrkMdt, MrkKng");
  }

  // A parameter row; the counters get distinct values so that a field written
  // back from the wrong place shows.
  void ParameterRow(int akz, const std::string& gvn, const std::string& gbi,
                    const std::string& aus = "ALT") {
    Exec("INSERT INTO Kvn591Nzp (NzpAkz,NzpGvn,NzpGbi,NzpAak,NzpAwt,NzpKjh,NzpKmn,NzpKwo,NzpKtg,"
         "NzpAan,NzpVfh,NzpNfh,NzpMrk,NzpAdt,NzpAus) VALUES (" +
         std::to_string(akz) + ",'" + gvn + "','" + gbi +
         "',1,2,3,4,5,6,7,11,12,9,'2004-01-02 03:04:05','" + aus + "')");
  }
  // Every parameter row, all columns, in key order. SQLite shows the texts
  // as written; PostgreSQL shows days without a time as 'YYYY-MM-DD', and a
  // stamp time within the last run as kDuringTheRun.
  std::vector<std::string> ParameterRows() {
    if (!pg())
      return Rows("SELECT NzpAkz,NzpGvn,NzpGbi,NzpAak,NzpAwt,NzpKjh,NzpKmn,NzpKwo,NzpKtg,NzpAan,"
                  "NzpVfh,NzpNfh,NzpMrk,NzpAdt,NzpAus FROM Kvn591Nzp ORDER BY NzpAkz, NzpGvn");
    auto day = [](const std::string& c) {
      return "CASE WHEN " + c + "=date_trunc('day'," + c + ") THEN to_char(" + c +
             ",'YYYY-MM-DD') ELSE to_char(" + c + ",'YYYY-MM-DD HH24:MI:SS') END";
    };
    std::string stamp = "to_char(NzpAdt,'YYYY-MM-DD HH24:MI:SS')";
    if (!runFrom_.empty() && !runTo_.empty())
      stamp = "CASE WHEN NzpAdt BETWEEN '" + runFrom_ + "' AND '" + runTo_ + "' THEN '" +
              kDuringTheRun + "' ELSE " + stamp + " END";
    return Rows("SELECT NzpAkz," + day("NzpGvn") + "," + day("NzpGbi") +
                ",NzpAak,NzpAwt,NzpKjh,NzpKmn,NzpKwo,NzpKtg,NzpAan,NzpVfh,NzpNfh,NzpMrk," + stamp +
                ",NzpAus FROM Kvn591Nzp ORDER BY NzpAkz, NzpGvn");
  }

  // An evaluation record of kind 12 left by an earlier run.
  void OldRecord(const std::string& apl, const std::string& ts) {
    Exec("INSERT INTO Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm,NzaBzA) VALUES (12,'" +
         apl + "',' ',' ','OLD','" + testdb::IsoTs(ts) + "',99)");
  }

  // The days a workplace's records cover: "first..last n" by their begin
  // days, n the number of records; "" without records.
  std::string Covered(const std::string& apl) {
    auto rows = Results(apl);
    if (rows.empty()) return "";
    return rows.front().dtm.substr(0, 8) + ".." + rows.back().dtm.substr(0, 8) + " " +
           std::to_string(rows.size());
  }

  // The tables of the database; on PostgreSQL as schema.table.
  std::vector<std::string> Tables() {
    if (pg())
      return Rows("SELECT schemaname||'.'||tablename FROM pg_tables WHERE schemaname NOT IN "
                  "('pg_catalog','information_schema') ORDER BY 1");
    return Rows("SELECT name FROM sqlite_schema WHERE type='table' ORDER BY name");
  }
  // The columns of a table that Tables names, in their order.
  std::vector<std::string> Columns(const std::string& table) {
    if (pg())
      return Rows("SELECT column_name FROM information_schema.columns WHERE "
                  "table_schema||'.'||table_name='" + table + "' ORDER BY ordinal_position");
    return Rows("SELECT name FROM pragma_table_info('" + table + "')");
  }
  // The number of indexes of the database (keys included).
  std::string Indexes() {
    return One(pg() ? "SELECT count(*) FROM pg_indexes WHERE schemaname NOT IN "
                      "('pg_catalog','information_schema')"
                    : "SELECT count(*) FROM sqlite_schema WHERE type='index'");
  }

 private:
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The service file: the site's database, and the same server without it.
  void WriteServiceFile() const {
    char* err = nullptr;
    PQconninfoOption* opts = PQconninfoParse(path().substr(3).c_str(), &err);
    PQfreemem(err);
    std::string server, dbname;
    for (PQconninfoOption* o = opts; o && o->keyword; ++o) {
      if (!o->val) continue;
      if (std::string(o->keyword) == "dbname")
        dbname = o->val;
      else
        server += std::string(o->keyword) + "=" + o->val + "\n";
    }
    PQconninfoFree(opts);
    EXPECT_FALSE(dbname.empty()) << path();
    std::ofstream out(ServiceFile());
    out << "[" << kService << "]\n" << server << "dbname=" << dbname << "\n"
        << "[" << kMissingService << "]\n" << server << "dbname=" << dbname << "_missing\n";
    EXPECT_TRUE(out.good()) << ServiceFile();
  }

  std::string today_;           // the database's today, yyyymmdd
  std::string runFrom_, runTo_;  // PostgreSQL: the server's time around the last run
};

}  // namespace e2e
