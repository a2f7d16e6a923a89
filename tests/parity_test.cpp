// The same plant gives the same results on both backends and in parallel:
//  - parity: the demo plant evaluated in mode X on SQLite and on PostgreSQL
//    leaves identical evaluation records (every column but the database's
//    NzaDat), identical markers, an identical stamp and the same log;
//  - scale-out: four runs in mode G at once, one per workplace group, on one
//    PostgreSQL database, leave what one run over all workplaces leaves.
// The runs are whole batch runs (RunBatch) with the clock fixed at noon of the
// real today, so that the database's today agrees with the program's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/DemoPlant.h"
#include "db/PgRowSink.h"
#include "main/Accounting.h"
#include "main/Driver.h"
#include "tests/PlantFixture.h"
#include "util/Config.h"
#include "util/MsgLog.h"

namespace {

using testdb::Backend;

std::string RealToday() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

constexpr int kGroups = 4;

// The day `days` days after the yyyymmdd text d.
std::string DayAfter(const std::string& d, int days) {
  using namespace std::chrono;
  sys_days day{year{std::stoi(d.substr(0, 4))} / std::stoi(d.substr(4, 2)) / std::stoi(d.substr(6, 2))};
  const year_month_day x{day + std::chrono::days{days}};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02u%02u", int(x.year()), unsigned(x.month()), unsigned(x.day()));
  return buf;
}

demo::PlantOptions Options() {
  demo::PlantOptions o;
  o.workplaces = 8;
  o.groups = kGroups;
  o.days = 10;
  o.positions = 3;
  o.messages = 16;
  o.seed = 11;
  o.today = RealToday();
  return o;
}

// A database with the demo plant, a configuration file that names it and a
// working folder per run.
class Site {
 public:
  explicit Site(Backend backend) : db_(backend) {
    if (db_.available()) Fill();
  }

  testdb::Db& db() { return db_; }

  // Loads the plant and writes the configuration.
  void Fill() {
    std::string error;
    std::unique_ptr<demo::RowSink> sink;
    if (db_.pg()) {
      const testdb::PgServer& s = testdb::PgServer::Get();
      sink = demo::PgRowSink::Open(db_.net().substr(3), s.user, s.password, &error);
    } else {
      sink = demo::SqliteRowSink::Open(db_.path(), &error);
    }
    ASSERT_NE(sink, nullptr) << error;
    ASSERT_TRUE(demo::GeneratePlant(Options(), *sink, &summary_, &error)) << error;
    ASSERT_TRUE(sink->Commit()) << sink->Error();
    WriteConfig();
  }

  const demo::PlantSummary& summary() const { return summary_; }

  // One batch run in the working folder `name`, in this process.
  void Run(const std::vector<std::string>& args, const std::string& name = "run") {
    PrepareRun(name);
    std::vector<std::string> argvText = {"pelvaro"};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir((db_.dir() + "/" + name).c_str()), 0);
    testdb::FixedClockEnv clock(RealToday() + "120000");
    testdb::EnvGuard guard(&clock);
    pelvaro::MsgResetForTest();
    pelvaro::ForgetBreaks();  // rows of another database
    pelvaro::RunBatch(static_cast<int>(argv.size()) - 1, argv.data());
    pelvaro::MsgResetForTest();
    rt::Disconnect();
    ASSERT_EQ(chdir(cwd), 0);
  }

  // Runs at once in child processes, one per argument list, each in its own
  // working folder; waits for all of them.
  void RunAtOnce(const std::vector<std::vector<std::string>>& runs) {
    rt::Disconnect();  // a child must not share the parent's connection
    std::vector<pid_t> children;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const std::string name = "run" + std::to_string(i);
      PrepareRun(name);
      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        std::vector<std::string> argvText = {"pelvaro"};
        argvText.insert(argvText.end(), runs[i].begin(), runs[i].end());
        std::vector<char*> argv;
        for (auto& a : argvText) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (chdir((db_.dir() + "/" + name).c_str()) != 0) _exit(2);
        testdb::FixedClockEnv clock(RealToday() + "120000");
        pelvaro::SetEnv(&clock);
        pelvaro::MsgResetForTest();
        pelvaro::RunBatch(static_cast<int>(argv.size()) - 1, argv.data());
        _exit(0);  // no destructors: the parent's connections stay its own
      }
      children.push_back(pid);
    }
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
  }

  std::string Log(const std::string& name = "run") {
    std::ifstream in(db_.dir() + "/" + name + "/Msg/Pelvaro.Txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Every evaluation record with every column but NzaDat, dates as
  // yyyymmddHHMMSS, numbers exactly.
  std::vector<std::string> Records() {
    std::string cols;
    for (const char* c :
         {"NzaSa", "NzaApl", "NzaApk", "NzaApp", "NzaPnr", "DTM:NzaDtm", "NzaBeg", "NzaBbn",
          "NzaBln", "NzaBmk", "DTM:NzaEdt", "NzaEnd", "NzaEbn", "NzaEln", "NzaEmk", "NzaUbg",
          "NzaRau", "NzaVar", "Nza00A", "Nza00U", "Nza00S", "NzaEmo", "NzaWtg", "NzaJtg", "NzaTtp",
          "NzaJwo", "NzaWoc", "NzaPzm", "NzaMaz", "NzaNzr", "NzaBzr", "NzaUzr", "NzaPzr", "NzaRbz",
          "NzaNza", "NzaBzA", "NzaUza", "NzaPza", "NzaAbz", "NzaNzu", "NzaBzu", "NzaPzu", "NzaUbz",
          "NzaSol", "NzaIst", "NzaPau", "NzaRf1", "NzaRf2", "NzaRf3", "NzaFnr", "NzaErf", "NzaGum",
          "NzaAum", "NzaTnr"}) {
      std::string c2 = c;
      if (!cols.empty()) cols += ",";
      cols += c2.rfind("DTM:", 0) == 0 ? db_.Ts14(c2.substr(4)) : c2;
    }
    return db_.Rows("SELECT " + cols +
                        " FROM Kvn590Nza ORDER BY NzaApl, NzaDtm, NzaSa, NzaApk, NzaApp, NzaPnr",
                    /*exact=*/true);
  }

  std::vector<std::string> Markers() {
    return db_.Rows("SELECT MrkKng, MrkApl, MrkApk, MrkApp, MrkPnr, MrkBnr, " + db_.Ts14("MrkMdt") +
                    ", MrkObj, " + db_.Ts14("MrkDat") +
                    ", MrkEsb FROM Kvn563Mrk ORDER BY MrkKng, MrkApl, MrkApk, MrkApp, MrkPnr, "
                    "MrkBnr, MrkMdt");
  }

  // The parameter rows; of the stamp's time only its day (each database
  // stamps with its own clock).
  std::vector<std::string> Stamp() {
    return db_.Rows("SELECT NzpAkz, " + db_.Day8("NzpGvn") + ", " + db_.Day8("NzpGbi") +
                    ", NzpAak, NzpAwt, NzpKjh, NzpKmn, NzpKwo, NzpKtg, NzpAan, NzpVfh, NzpNfh, "
                    "NzpMrk, " + db_.Day8("NzpAdt") + ", NzpAus FROM Kvn591Nzp ORDER BY NzpAkz, NzpGvn");
  }

 public:
  // The configuration file; a password or net service name other than the
  // database's when given.
  void WriteConfig(const std::string& password = "", const std::string& netOverride = "") {
    // A service file names the server's database: the configuration value
    // holds at most 40 characters.
    std::string net = db_.path();
    if (db_.pg()) {
      const std::string services = db_.dir() + "/pg_service.conf";
      if (::access(services.c_str(), F_OK) != 0) {
        std::ofstream out(services);
        out << "[pelvaro_parity]\n";
        std::istringstream words(db_.net().substr(3));
        for (std::string w; words >> w;) out << w << "\n";
      }
      net = "pg:service=pelvaro_parity";
    }
    if (!netOverride.empty()) net = netOverride;
    const testdb::PgServer& s = testdb::PgServer::Get();
    std::ofstream out(db_.dir() + "/korvane.ini", std::ios::binary);
    out << ";DB;\r\n1;LOGIN;" << pelvaro::EncipherValue(db_.pg() ? s.user : "pelvaro")
        << "\r\n;DB;\r\n2;PASS;"
        << pelvaro::EncipherValue(!password.empty() ? password : db_.pg() ? s.password : "x")
        << "\r\n;DB;\r\n3;NET8;" << pelvaro::EncipherValue(net) << "\r\n";
  }

 private:
  void PrepareRun(const std::string& name) {
    const std::string dir = db_.dir() + "/" + name;
    ::mkdir(dir.c_str(), 0755);
    ::mkdir((dir + "/Msg").c_str(), 0755);
    ::setenv(pelvaro::kConfigFileVariable, (db_.dir() + "/korvane.ini").c_str(), 1);
    ::setenv("PGSERVICEFILE", (db_.dir() + "/pg_service.conf").c_str(), 1);
  }

  testdb::Db db_;
  demo::PlantSummary summary_;
};

TEST(Parity, DemoPlantInModeXGivesTheSameRecordsMarkersAndStampOnBothBackends) {
  Site pg(Backend::kPostgres);
  if (!pg.db().available()) GTEST_SKIP() << pg.db().why();
  Site lite(Backend::kSqlite);
  ASSERT_FALSE(HasFatalFailure());

  // From the middle of the history: the markers of the days before stay.
  const std::vector<std::string> args = {"QUORVELT", "APL", "0000000000",
                                         DayAfter(lite.summary().firstDay, 5), "00000000"};
  lite.Run(args);
  pg.Run(args);

  const auto records = lite.Records();
  EXPECT_GT(records.size(), 100u);
  EXPECT_FALSE(lite.Markers().empty());  // markers before the span stay
  EXPECT_EQ(pg.Records(), records);
  EXPECT_EQ(pg.Markers(), lite.Markers());
  const auto stamp = lite.Stamp();
  EXPECT_NE(stamp, std::vector<std::string>{});
  EXPECT_EQ(pg.Stamp(), stamp);
  EXPECT_EQ(pg.Log(), lite.Log());
}

TEST(ScaleOut, FourGroupRunsAtOnceLeaveWhatOneRunOverAllWorkplacesLeaves) {
  Site parallel(Backend::kPostgres);
  if (!parallel.db().available()) GTEST_SKIP() << parallel.db().why();
  Site sequential(Backend::kPostgres);
  ASSERT_FALSE(HasFatalFailure());

  const std::string begin = DayAfter(sequential.summary().firstDay, 5);
  sequential.Run({"QUORVELT", "APL", "0000000000", begin, "00000000"});
  std::vector<std::vector<std::string>> runs;
  for (int g = 1; g <= kGroups; ++g)
    runs.push_back({"OP", "GRP", "G" + std::to_string(g), begin, "00000000"});
  parallel.RunAtOnce(runs);

  const auto records = sequential.Records();
  EXPECT_GT(records.size(), 100u);
  EXPECT_EQ(parallel.Records(), records);
  EXPECT_EQ(parallel.Markers(), sequential.Markers());
  for (int g = 0; g < kGroups; ++g)
    EXPECT_EQ(parallel.Log("run" + std::to_string(g)), "") << "group run " << g;
  EXPECT_EQ(sequential.Log(), "");
}

// A run that cannot reach its database, or finds no tables in it, logs the
// failure and writes nothing else.
TEST(PgRun, WrongPasswordStoppedServerAndMissingTablesAreLoggedAndNothingIsWritten) {
  Site site(Backend::kPostgres);
  if (!site.db().available()) GTEST_SKIP() << site.db().why();
  ASSERT_FALSE(HasFatalFailure());
  const testdb::PgServer& server = testdb::PgServer::Get();

  // A database of the server without the tables.
  const std::string bare = "pv_bare_" + std::to_string(::getpid());
  PGconn* admin = server.ConnectTo(server.conninfo);
  PQclear(PQexec(admin, ("CREATE DATABASE " + bare + " TEMPLATE template0").c_str()));
  {
    std::ofstream out(site.db().dir() + "/pg_service.conf", std::ios::app);
    out << "[pelvaro_bare]\n";
    std::istringstream words(server.WithDatabase(bare));
    for (std::string w; words >> w;) out << w << "\n";
  }
  struct Case {
    const char* what;
    std::string password, net;
    const char* logged;
  } cases[] = {
      {"wrong password", "wrong", "", "ErrorCode__: -1017"},
      {"stopped server", "", "pg:host=/tmp/pelvaro-stopped dbname=x", "ErrorCode__: -12541"},
      {"no tables", "", "pg:service=pelvaro_bare", "ErrorCode__: -942"},
  };
  const std::vector<std::string> args = {"QUORVELT", "APL", "0000000000", site.summary().firstDay,
                                         "00000000"};
  const auto stamp = site.Stamp();
  const auto markers = site.Markers();
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    site.WriteConfig(c.password, c.net);
    const std::string run = "fail" + std::to_string(n++);
    site.Run(args, run);
    const std::string log = site.Log(run);
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    const bool connectFails = c.net.empty() || c.net.find("stopped") != std::string::npos;
    EXPECT_EQ(log.find("Fehlerhafter Connect mit der DB") != std::string::npos, connectFails) << log;
    EXPECT_EQ(log.find(server.password), std::string::npos) << "password in the log";
    EXPECT_EQ(site.Records(), std::vector<std::string>{});
    EXPECT_EQ(site.Stamp(), stamp);
    EXPECT_EQ(site.Markers(), markers);
  }
  PGconn* conn = server.ConnectTo(server.WithDatabase(bare));
  PGresult* r = PQexec(conn, "SELECT count(*) FROM pg_tables WHERE schemaname NOT IN ('pg_catalog', 'information_schema')");
  EXPECT_STREQ(PQgetvalue(r, 0, 0), "0");
  PQclear(r);
  PQfinish(conn);
  PQclear(PQexec(admin, ("DROP DATABASE " + bare + " WITH (FORCE)").c_str()));
  PQfinish(admin);
}

}  // namespace
