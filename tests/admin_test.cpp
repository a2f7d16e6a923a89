// pelvaro-admin run as its own process: init-db, the demo plant (its layout,
// configuration file, determinism and the consistency of its messages with
// the message buffer, and a real run of the batch program on it) and show.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "db/DbDb.h"
#include "db/DemoPlant.h"
#include "db/Dbstd.h"
#include "db/Runtime.h"
#include "tests/Shell.h"
#include "util/Config.h"
#include "util/Text.h"

namespace {

namespace fs = std::filesystem;

const std::string kAdmin = PELVARO_BIN_DIR "/pelvaro-admin";
const std::string kBatch = PELVARO_BIN_DIR "/pelvaro";

using shell::Quote;
using shell::Result;
using shell::Shell;

Result Admin(const std::vector<std::string>& args) {
  std::string cmd = Quote(kAdmin);
  for (const auto& a : args) cmd += " " + Quote(a);
  return Shell(cmd);
}

class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/pelvaro-admin-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Rows of a query on a database file, columns joined by '|', NULL as "".
std::vector<std::string> Rows(const std::string& db, const std::string& sql) {
  std::vector<std::string> out;
  sqlite3* h = nullptr;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << db;
    sqlite3_close_v2(h);
    return out;
  }
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
      << sqlite3_errmsg(h) << "\n" << sql;
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      if (c) row += '|';
      const unsigned char* t = sqlite3_column_text(st, c);
      if (t) row += reinterpret_cast<const char*>(t);
    }
    out.push_back(row);
  }
  sqlite3_finalize(st);
  sqlite3_close_v2(h);
  return out;
}

void Exec(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  char* msg = nullptr;
  EXPECT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
  sqlite3_free(msg);
  sqlite3_close_v2(h);
}

const char* const kTables[] = {"Kvn133Bak", "Kvn133Kal", "Kvn531Apl", "Kvn532Aem",
                               "Kvn533Emo", "Kvn535Pms", "Kvn536Pmz", "Kvn560Mel",
                               "Kvn563Mrk", "Kvn565Map", "Kvn590Nza", "Kvn591Nzp"};

// ---------------------------------------------------------------------------
// init-db

TEST(AdminInitDbTest, RefusesAnExistingFileAndLeavesItAsItWas) {
  ScratchDir dir;
  const std::string path = dir / "x.db";
  { std::ofstream(path) << "operator data"; }
  Result r = Admin({"init-db", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(path), "operator data");
}

TEST(AdminInitDbTest, RefusalsWithoutCreatingAnything) {
  ScratchDir dir;
  struct Case {
    std::vector<std::string> args;
    const char* stderrHas;
  } cases[] = {
      {{"init-db", "pg:dbname=plant"}, "PostgreSQL"},
      {{"init-db"}, "usage"},
      {{"init-db", dir / "a.db", dir / "b.db"}, "usage"},
      {{"init-db", dir / "missing/folder.db"}, "pelvaro-admin init-db"},
  };
  for (const Case& c : cases) {
    Result r = Admin(c.args);
    EXPECT_EQ(r.status, 1) << c.args.back();
    EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << c.args.back() << ": " << r.err;
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(AdminInitDbTest, CreatesADatabaseThatTheSqliteShellReadsAndWrites) {
  ScratchDir dir;
  const std::string path = dir / "x.db";
  Result r = Admin({"init-db", path});
  ASSERT_EQ(r.status, 0) << r.err;

  Result tables = Shell("sqlite3 " + Quote(path) + " .tables");
  ASSERT_EQ(tables.status, 0) << tables.err;
  std::istringstream words(tables.out);
  std::set<std::string> listed{std::istream_iterator<std::string>(words), {}};
  for (const char* t : kTables) EXPECT_EQ(listed.count(t), 1u) << t << " in " << tables.out;

  Result shell = Shell("sqlite3 " + Quote(path) +
                     " \"INSERT INTO Kvn531Apl (AplApl,AplApg,AplBez) VALUES "
                     "('0000000042','G9','Presse'); SELECT AplApg||'/'||AplBez FROM Kvn531Apl;\"");
  ASSERT_EQ(shell.status, 0) << shell.err;
  EXPECT_EQ(shell.out, "G9/Presse\n");

  // The row the shell wrote, read by the program's own operation.
  ASSERT_EQ(rt::Connect("u/p@" + path), 0);
  db::Kvn531Apl apl{};
  pelvaro::CopyText(apl.AplApl, "0000000042");
  EXPECT_EQ(db::Apl_PKeySel(&apl), 0);
  EXPECT_STREQ(apl.AplApg, "G9");
  rt::Disconnect();
}

// ---------------------------------------------------------------------------
// demo

const std::vector<std::string> kSmall = {"--workplaces", "5",  "--groups", "2",       "--days",
                                         "12",           "--positions", "2",  "--messages",
                                         "10",           "--seed",      "7",  "--today",
                                         "20240307"};

Result Demo(const std::string& dir, std::vector<std::string> options = kSmall) {
  options.insert(options.begin(), {"demo", dir});
  return Admin(options);
}

// Every table, every row, every column, in a fixed order.
std::string Dump(const std::string& db) {
  std::string out;
  for (const char* t : kTables) {
    std::string order;
    const auto cols = Rows(db, std::string("SELECT count(*) FROM pragma_table_info('") + t + "')");
    const int n = std::stoi(cols.at(0));
    for (int c = 1; c <= n; ++c) order += (c > 1 ? "," : "") + std::to_string(c);
    out += std::string("== ") + t + "\n";
    for (const auto& row : Rows(db, std::string("SELECT * FROM ") + t + " ORDER BY " + order))
      out += row + "\n";
  }
  return out;
}

TEST(AdminDemoTest, SameOptionsBuildTheSameTablesAndAnotherSeedOtherMessages) {
  ScratchDir dir;
  ASSERT_EQ(Demo(dir / "a").status, 0);
  ASSERT_EQ(Demo(dir / "b").status, 0);
  std::vector<std::string> otherSeed = kSmall;
  otherSeed[11] = "8";
  ASSERT_EQ(Demo(dir / "c", otherSeed).status, 0);

  const std::string a = Dump(dir / "a/plant.db");
  EXPECT_EQ(a, Dump(dir / "b/plant.db"));
  EXPECT_EQ(ReadFile(dir / "a/files/korvane.ini"), ReadFile(dir / "b/files/korvane.ini"));
  for (const char* t : kTables) {
    if (std::string(t) == "Kvn590Nza") continue;  // the evaluation writes it
    EXPECT_NE(Rows(dir / "a/plant.db", std::string("SELECT count(*) FROM ") + t).at(0), "0") << t;
  }
  const std::string messages = "SELECT KeyApl, KeyUhr, KeySek, MelMsk FROM Kvn560Mel ORDER BY 1,2,3";
  EXPECT_NE(Rows(dir / "a/plant.db", messages), Rows(dir / "c/plant.db", messages));
}

TEST(AdminDemoTest, ConfigurationFileDeciphersToTheDatabaseFromTheWorkingDirectory) {
  ScratchDir dir;
  const std::string root = dir / "plant";
  Result r = Demo(root);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string runDir = root + "/site/bin/batch/run";
  EXPECT_TRUE(fs::is_directory(runDir + "/Msg"));
  EXPECT_NE(r.out.find("cd " + runDir), std::string::npos) << r.out;

  char user[52], password[52], net[52];
  ASSERT_EQ(setenv(pelvaro::kConfigFileVariable, (root + "/files/korvane.ini").c_str(), 1), 0);
  pelvaro::ReadDbCredentials(user, password, net);
  unsetenv(pelvaro::kConfigFileVariable);
  EXPECT_STREQ(user, "pelvaro");
  EXPECT_STREQ(password, "demo");
  EXPECT_STREQ(net, "../../../../plant.db");

  // From the working directory the fixed relative paths reach the file and
  // the database: the program's own connect.
  const fs::path before = fs::current_path();
  fs::current_path(runDir);
  const int status = db::dbConnect();
  db::Kvn531Apl apl{};
  pelvaro::CopyText(apl.AplApl, demo::WorkplaceNumber(0));
  const int read = db::Apl_PKeySel(&apl);
  rt::Disconnect();
  fs::current_path(before);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read, 0);
  EXPECT_STREQ(apl.AplApg, "G1");
}

TEST(AdminDemoTest, RefusesANonEmptyDirectoryAndOptionsOutOfRange) {
  ScratchDir dir;
  fs::create_directories(dir / "full");
  { std::ofstream(dir / "full/keep.txt") << "x"; }
  Result full = Demo(dir / "full");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("not empty"), std::string::npos) << full.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "full"), fs::directory_iterator()), 1);

  const std::vector<std::vector<std::string>> bad = {
      {"--workplaces", "0"},   {"--groups", "6", "--workplaces", "5"},
      {"--days", "0"},         {"--positions", "3", "--messages", "5"},
      {"--today", "20240230"}, {"--today", "2024037"},
      {"--seed", "-1"},        {"--days", "12x"},
      {"--colour", "red"},     {"--days"},
  };
  for (const auto& options : bad) {
    Result r = Demo(dir / "new", options);
    EXPECT_EQ(r.status, 1) << options[0];
    EXPECT_FALSE(r.err.empty()) << options[0];
    EXPECT_FALSE(fs::exists(dir / "new")) << options[0];
  }
  EXPECT_EQ(Admin({"demo"}).status, 1);
}

// The message buffer holds exactly the order positions whose last message is
// not an end, with Map00U "1" where that message is an interruption; and the
// messages of a workplace form one occupation at a time, interruptions only
// inside it.
TEST(AdminDemoTest, MessageBufferHoldsThePositionsTheMessagesLeaveRunning) {
  ScratchDir dir;
  Result r = Demo(dir / "p", {"--workplaces", "7", "--groups", "3", "--days", "16",
                              "--today", "20240307"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string db = dir / "p/plant.db";

  const auto expected = Rows(db,
      "WITH ranked AS (SELECT KeyApl, KeyApk, KeyApp, MelMsk, ROW_NUMBER() OVER (PARTITION BY "
      "KeyApl, KeyApk, KeyApp ORDER BY KeyUhr DESC, KeySek DESC) AS n FROM Kvn560Mel) "
      "SELECT KeyApl, KeyApk, KeyApp, CASE MelMsk WHEN 'AU' THEN '1' ELSE '0' END FROM ranked "
      "WHERE n = 1 AND MelMsk NOT IN ('AE','AT','RE') ORDER BY 1,2,3");
  const auto buffer = Rows(db,
      "SELECT MapApl, MapApk, MapApp, Map00U FROM Kvn565Map WHERE MapObj='M_A' ORDER BY 1,2,3");
  EXPECT_EQ(buffer, expected);
  // Not vacuous: some positions run on, some of them interrupted.
  ASSERT_FALSE(buffer.empty());
  EXPECT_NE(std::count_if(buffer.begin(), buffer.end(),
                          [](const std::string& row) { return row.back() == '1'; }),
            0);
  EXPECT_NE(r.out.find(std::to_string(buffer.size()) + " positions running"), std::string::npos)
      << r.out;

  std::map<std::string, std::pair<std::string, bool>> open;  // workplace: position, interrupted
  std::map<std::string, std::string> lastInstant;
  for (const auto& row : Rows(db,
           "SELECT KeyApl, KeyApk||'/'||KeyApp, MelMsk, KeyUhr||KeySek, KeyDat, KeyUhr "
           "FROM Kvn560Mel ORDER BY KeyApl, KeyUhr, KeySek")) {
    std::vector<std::string> f;
    std::stringstream ss(row);
    for (std::string part; std::getline(ss, part, '|');) f.push_back(part);
    ASSERT_EQ(f.size(), 6u) << row;
    const std::string &apl = f[0], &pos = f[1], &code = f[2];
    EXPECT_EQ(f[5].substr(0, 10), f[4]) << row;  // KeyDat is the day of KeyUhr
    EXPECT_LT(lastInstant[apl], f[3]) << row;    // no two messages at one instant
    lastInstant[apl] = f[3];
    auto it = open.find(apl);
    if (code == "AB" || code == "RB") {
      EXPECT_TRUE(it == open.end()) << "second occupation at once: " << row;
      open[apl] = {pos, false};
    } else {
      ASSERT_TRUE(it != open.end() && it->second.first == pos) << "not running: " << row;
      if (code == "AU" || code == "AW") {
        EXPECT_EQ(it->second.second, code == "AW") << row;
        it->second.second = code == "AU";
      } else {
        EXPECT_TRUE(code == "AE" || code == "AT" || code == "RE") << row;
        EXPECT_FALSE(it->second.second) << "ended while interrupted: " << row;
        open.erase(it);
      }
    }
  }
  EXPECT_EQ(open.size(), buffer.size());
  const std::string count = Rows(db, "SELECT count(*) FROM Kvn560Mel").at(0);
  EXPECT_NE(r.out.find(count + " booking messages"), std::string::npos) << r.out;
}

TEST(AdminDemoTest, CalendarShiftModelsAndParameterRowAroundToday) {
  ScratchDir dir;
  ASSERT_EQ(Demo(dir / "p").status, 0);
  const std::string db = dir / "p/plant.db";
  // 1 January of the previous year to 31 December of the next, every day.
  EXPECT_EQ(Rows(db, "SELECT min(BakDtm), max(BakDtm), count(*) FROM Kvn133Bak"),
            std::vector<std::string>{"2023-01-01|2025-12-31|1096"});
  EXPECT_EQ(Rows(db, "SELECT count(*) FROM Kvn133Kal WHERE KalNum='K1'"),
            std::vector<std::string>{"1096"});
  EXPECT_EQ(Rows(db, "SELECT KalDtm, KalBtp FROM Kvn133Kal WHERE KalDtm BETWEEN '2024-03-08' "
                     "AND '2024-03-11' ORDER BY 1"),
            (std::vector<std::string>{"2024-03-08|WT", "2024-03-09|SA", "2024-03-10|SO",
                                      "2024-03-11|WT"}));
  // Week and day numbers of a Sunday at the turn of the year.
  EXPECT_EQ(Rows(db, "SELECT BakJhr, BakMon, BakTag, BakWch, BakWtg, BakJtg FROM Kvn133Bak "
                     "WHERE BakDtm='2023-01-01'"),
            std::vector<std::string>{"2023|1|1|52|7|1"});

  EXPECT_EQ(Rows(db, "SELECT AemApg, AemKng, AemEmo, AemGbi IS NULL FROM Kvn532Aem ORDER BY 1"),
            (std::vector<std::string>{"0000001005|2|3S|1", "G1|1|3S|1", "G2|1|TS|1"}));
  // Every break assignment has an end of validity: one without is never valid.
  EXPECT_EQ(Rows(db, "SELECT count(*) FROM Kvn536Pmz WHERE PmzGbi IS NULL OR PmzGbi <= "
                     "'2024-03-07' OR PmzGvo > '2024-03-06'"),
            std::vector<std::string>{"0"});
  // The parameter row of kind 4: begun before today, ending after, at midnight.
  EXPECT_EQ(Rows(db, "SELECT count(*) FROM Kvn591Nzp WHERE NzpAkz=4 AND NzpGvn < '2024-03-07' "
                     "AND NzpGbi > '2024-03-07' AND time(NzpGvn)='00:00:00' AND "
                     "time(NzpGbi)='00:00:00'"),
            std::vector<std::string>{"1"});
  // Markers of kind LZM within the history.
  EXPECT_EQ(Rows(db, "SELECT count(*) = sum(MrkKng='LZM' AND MrkMdt >= '2024-02-24' AND "
                     "MrkMdt < '2024-03-07') AND count(*) > 0 FROM Kvn563Mrk"),
            std::vector<std::string>{"1"});

  // A history that reaches into an older year takes the calendar back with it.
  ASSERT_EQ(Demo(dir / "long", {"--workplaces", "1", "--groups", "1", "--days", "500", "--positions", "1",
                                "--messages", "2", "--today", "20240307"})
                .status,
            0);
  EXPECT_EQ(Rows(dir / "long/plant.db", "SELECT min(BakDtm), min(KeyDat) FROM Kvn133Bak, "
                                        "(SELECT min(KeyDat) AS KeyDat FROM Kvn560Mel)"),
            std::vector<std::string>{"2022-01-01|2022-10-24"});
}

// The batch program on the demo: mode X over the history with a frozen clock,
// every workplace evaluated by the shift model its assignments give it.
TEST(AdminDemoTest, BatchRunFromTheWorkingDirectoryEvaluatesEveryWorkplace) {
  ScratchDir dir;
  const std::string root = dir / "plant";
  ASSERT_EQ(Demo(root, {"--workplaces", "4", "--groups", "2", "--days", "14", "--today",
                        "20240307"})
                .status,
            0);
  const std::string runDir = root + "/site/bin/batch/run";
  Result run = Shell("cd " + Quote(runDir) + " && TZ=UTC PELVARO_NOW=20240307100000 " +
                   Quote(kBatch) + " QUORVELT APL 0000000000 20240222 00000000");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(runDir + "/Msg/Pelvaro.Txt")) << ReadFile(runDir + "/Msg/Pelvaro.Txt");

  const std::string db = root + "/plant.db";
  // Shift records per workplace on the working days 2024-02-26 to 2024-03-06:
  // G1 works three shifts, G2 the day shift, and the last workplace, in G2,
  // three shifts by its own assignment; every shift saw occupied time.
  const auto shifts = Rows(db,
      "SELECT NzaApl, NzaEmo, count(*), sum(NzaSol), sum(NzaBzA > 0) FROM Kvn590Nza WHERE "
      "NzaEmo <> 'LMO00.00' AND NzaDtm >= '2024-02-26' AND NzaDtm < '2024-03-07' "
      "GROUP BY NzaApl, NzaEmo ORDER BY 1");
  EXPECT_EQ(shifts, (std::vector<std::string>{
                        "0000001001|3S|24|11520.0|24", "0000001002|3S|24|11520.0|24",
                        "0000001003|TS|8|4080.0|8", "0000001004|3S|24|11520.0|24"}));
  EXPECT_EQ(Rows(db, "SELECT count(*) FROM Kvn563Mrk"), std::vector<std::string>{"0"});
  EXPECT_EQ(Rows(db, "SELECT NzpAus, NzpAdt FROM Kvn591Nzp WHERE NzpAkz=4"),
            std::vector<std::string>{"QUORVELT|2024-03-07 10:00:00"});
}

// ---------------------------------------------------------------------------
// show

class AdminShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Admin({"init-db", db}).status, 0);
    // A shift, a gap and a closing record on the 5th, and rows that the
    // selection leaves out: the days before and after, another workplace,
    // another record kind.
    Exec(db,
         "INSERT INTO Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm,NzaEdt,NzaEmo,NzaErf,"
         "NzaBzA,NzaNza,NzaUza,NzaPza,NzaPzu,NzaSol,NzaPau) VALUES "
         "(12,'0000001001',' ',' ','22:0006:00','2024-03-05 22:00:00','2024-03-06 06:00:00',"
         "'LMO00.00','',0.01,0,0,0,0,0,0),"
         "(12,'0000001001',' ',' ','Frueh','2024-03-05 06:00:00','2024-03-05 14:00:00',"
         "'3S','PELVAR',62.05,480,-1.3,0.59,125.07,480,45),"
         "(12,'0000001001',' ',' ','14:0022:00','2024-03-05 14:00:00','2024-03-05 22:00:00',"
         "'LMO00.00','PELVAR',0.01,0,0,0,0,0,0),"
         "(12,'0000001001',' ',' ','Frueh','2024-03-04 06:00:00','2024-03-04 14:00:00',"
         "'3S','PELVAR',1,1,0,0,0,480,45),"
         "(12,'0000001001',' ',' ','Frueh','2024-03-06 06:00:00','2024-03-06 14:00:00',"
         "'3S','PELVAR',1,1,0,0,0,480,45),"
         "(12,'0000001002',' ',' ','Frueh','2024-03-05 06:00:00','2024-03-05 14:00:00',"
         "'3S','PELVAR',1,1,0,0,0,480,45),"
         "(11,'0000001001',' ',' ','Frueh','2024-03-05 06:00:00','2024-03-05 14:00:00',"
         "'3S','PELVAR',1,1,0,0,0,480,45)");
  }
  ScratchDir dir;
  std::string db = dir / "x.db";
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) out.push_back(line);
  return out;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), {}};
}

TEST_F(AdminShowTest, PrintsTheRecordsOfTheSpanOrderedByBeginWithDurationsAsHMmSs) {
  Result r = Admin({"show", db, "0000001001", "20240305", "20240305"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 5u) << r.out;
  EXPECT_EQ(lines[0], "workplace 0000001001, 2024-03-05 to 2024-03-05: 3 evaluation records");
  EXPECT_EQ(Words(lines[1]),
            (std::vector<std::string>{"begin", "end", "kind", "model", "shift", "occupied",
                                      "working", "interrupted", "break", "int.break", "target",
                                      "breaks"}));
  EXPECT_EQ(Words(lines[2]),
            (std::vector<std::string>{"2024-03-05", "06:00:00", "2024-03-05", "14:00:00", "shift",
                                      "3S", "Frueh", "1:02:05", "8:00:00", "-0:01:30", "0:00:59",
                                      "2:05:07", "8:00", "0:45"}));
  EXPECT_EQ(Words(lines[3]),
            (std::vector<std::string>{"2024-03-05", "14:00:00", "2024-03-05", "22:00:00", "gap",
                                      "LMO00.00", "14:0022:00", "0:00:01", "0:00:00", "0:00:00",
                                      "0:00:00", "0:00:00", "0:00", "0:00"}));
  EXPECT_EQ(Words(lines[4])[4], "closing");
  EXPECT_EQ(Words(lines[4])[0] + " " + Words(lines[4])[1], "2024-03-05 22:00:00");
  // Aligned: the durations end under the end of their heading.
  const std::size_t occupiedEnd = lines[1].find("occupied") + std::string("occupied").size();
  EXPECT_EQ(lines[2].find("1:02:05") + 7, occupiedEnd);
  EXPECT_EQ(lines[3].find("0:00:01") + 7, occupiedEnd);
}

TEST_F(AdminShowTest, SpanOfSeveralDaysAndAnEmptySpan) {
  Result r = Admin({"show", db, "0000001001", "20240304", "20240306"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 7u) << r.out;
  std::vector<std::string> begins;
  for (std::size_t i = 2; i < lines.size(); ++i) begins.push_back(Words(lines[i])[0] + " " + Words(lines[i])[1]);
  EXPECT_EQ(begins, (std::vector<std::string>{"2024-03-04 06:00:00", "2024-03-05 06:00:00",
                                              "2024-03-05 14:00:00", "2024-03-05 22:00:00",
                                              "2024-03-06 06:00:00"}));

  Result none = Admin({"show", db, "0000001001", "20240307", "20240310"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "workplace 0000001001, 2024-03-07 to 2024-03-10: 0 evaluation records\n");
}

TEST_F(AdminShowTest, WrongArgumentsAndAMissingDatabaseFail) {
  const std::vector<std::vector<std::string>> cases = {
      {"show", db, "0000001001", "20240305"},
      {"show", db, "0000001001", "20240305", "20240305", "x"},
      {"show", dir / "none.db", "0000001001", "20240305", "20240305"},
      {"show", db, "0000001001", "20240230", "20240305"},
      {"show", db, "", "20240305", "20240305"},
  };
  for (const auto& args : cases) {
    Result r = Admin(args);
    EXPECT_EQ(r.status, 1) << args.size();
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_FALSE(fs::exists(dir / "none.db"));
}

}  // namespace
