// What people give the program: command lines of every shape, configuration
// files that are missing, empty, garbage or overlong, and a log folder that
// is missing, read-only or held by another writer. Nothing crashes, the
// database is touched only by a run that may, and every refusal is in the
// log in the program's words.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/ReliabilityFixture.h"
#include "util/Config.h"

namespace {

using e2e::Entry;
using rel::Lane;
using rel::Texts;

void Plant(e2e::Site& s) {
  s.Calendar("20040301", "20040331");
  s.Shift("M1", "Frueh", 360, 840);
  s.Break("P1", "B1", 540, 570);
  s.Assign("G1", 1, "M1");
  s.Workplace("4711", "G1");
  s.Workplace("4712", "G1");
  s.Message("4711", "20040318070000", "AB");
  s.Message("4711", "20040318130000", "AE");
  s.Marker("4711", "20040319080000");
  s.ParameterRow(4, "2004-01-01", "2004-12-31");
}

const std::string kTooFew = "Mindestanzahl Parameter unterschritten";
const std::string kBadBegin = "Unzulaessiges Beginndatum";

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Plant(site);
    pristine = site.dir() + "/pristine.db";
    site.Exec("VACUUM INTO '" + pristine + "'");
  }
  Lane Fresh(const std::string& name) {
    Lane lane(site.dir() + "/" + name);
    lane.CopyDb(pristine);
    return lane;
  }
  // Records, markers and stamp of a database, one text.
  static rel::State StateOf(const Lane& lane) { return rel::Snapshot(lane.DbPath()); }
  e2e::Site site;
  std::string pristine;
};

// ---------------------------------------------------------------------------
// Command lines.

struct CommandCase {
  const char* name;
  Texts args;
  std::string log;      // exactly
  bool evaluates;       // the database changes (records, stamp)
  const char* stampUser;  // NzpAus afterwards when it evaluates
};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(BadInputTest, CommandLinesOfEveryShape) {
  const std::string kLong = Repeat("x", 100000);
  const std::string kInjection = "0'; drop table Kvn590Nza; --";
  const CommandCase cases[] = {
      {"five_empty_arguments", {"", "", "", "", ""}, Entry(kBadBegin, "Main()", -1), false, ""},
      {"empty_workplace_evaluates_nothing",  // mode A for workplace "": no rows to build from
       {"MEIER", "APL", "", "20040318", "00000000"}, "", true, "MEIER"},
      {"empty_user_mode_M", {"", "APL", "0000000000"}, "", true, ""},
      {"arguments_of_100000_characters_are_cut",
       {"MEIER" + kLong, "APL" + kLong, "4711", "20040318" + kLong, "00000000" + kLong}, "", true,
       "MEIER" "xxx"},
      {"long_workplace_is_cut_to_ten_characters",
       {"MEIER", "APL", "4711" + kLong, "20040318", "00000000"}, "", true, "MEIER"},
      {"begin_date_with_bytes_above_127",
       {"MEIER", "APL", "4711", "2004\xff\xfe" "18", "00000000"}, Entry(kBadBegin, "Main()", -1),
       false, ""},
      {"end_date_with_letters", {"MEIER", "APL", "4711", "20040318", "morgen!!"},
       Entry("Unzulaessiges Endedatum", "Main()", -1), false, ""},
      {"user_with_bytes_above_127",  // stored as given, cut to eight bytes
       {"M\xc3\xbcller\xff\xfe\xfd", "APL", "4711", "20040318", "00000000"}, "", true,
       "M\xc3\xbcller\xff"},
      {"kind_and_workplace_with_bytes_above_127",  // a group that has no workplace
       {"MEIER", "\xc4PL", "47\xe4" "11", "20040318", "00000000"}, "", true, "MEIER"},
      {"statement_text_as_workplace_mode_A", {"MEIER", "APL", kInjection, "20040318", "00000000"},
       "", true, "MEIER"},
      {"statement_text_as_group", {"MEIER", "GRP", kInjection, "20040318", "00000000"}, "", true,
       "MEIER"},
      {"statement_text_as_user", {kInjection, "APL", "0000000000"}, "", true, "0'; drop"},
      {"statement_text_as_begin_date", {"MEIER", "APL", "4711", kInjection, "00000000"},
       Entry(kBadBegin, "Main()", -1), false, ""},
      {"one_argument", {"MEIER"}, Entry(kTooFew, "Main()", 2), false, ""},
  };
  rel::State untouched;
  {
    Lane probe = Fresh("probe");
    untouched = StateOf(probe);
  }
  const Texts tables = site.Tables();
  int n = 0;
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    Lane lane = Fresh("cmd" + std::to_string(++n));
    ASSERT_TRUE(rel::Clean(lane.Run(c.args)));
    EXPECT_EQ(rel::Printable(lane.Log()), rel::Printable(c.log));
    rel::DbFile db(lane.DbPath());
    EXPECT_EQ(db.Rows("SELECT name FROM sqlite_schema WHERE type='table' ORDER BY name"), tables);
    const rel::State after = StateOf(lane);
    if (!c.evaluates) {
      EXPECT_TRUE(rel::SameState(untouched, after));
      continue;
    }
    EXPECT_EQ(db.One("SELECT NzpAus FROM Kvn591Nzp"), c.stampUser);
    // Only workplace 4711 has anything to record: its records appear only
    // when the command names it, as mode A (cut) or mode M through its marker.
    const bool names4711 = c.args.size() == 3 || c.args[2].rfind("4711", 0) == 0;
    const std::string records = db.One("SELECT count(*) FROM Kvn590Nza WHERE NzaApl='4711'");
    if (c.args.size() == 5 && c.args[2] == "4711" + kLong) {
      EXPECT_EQ(records, "0") << "the cut number names no workplace";
    } else if (names4711) {
      EXPECT_NE(records, "0");
    } else {
      EXPECT_EQ(db.One("SELECT count(*) FROM Kvn590Nza"), "0");
    }
  }
}

// ---------------------------------------------------------------------------
// Configuration files. A configuration that names no database fails the
// connect, which is reported with its status; one whose user name and
// password are garbage but whose database is right still connects (the
// file database has no accounts).

struct ConfigCase {
  const char* name;
  std::function<void(const std::string& path)> write;
  bool connects;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

TEST_F(BadInputTest, ConfigurationFilesOfEveryShape) {
  const std::string net = pelvaro::EncipherValue("../../../../test.db");
  const std::string login = pelvaro::EncipherValue("pelvaro");
  const std::string pass = pelvaro::EncipherValue("geheim");
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  const ConfigCase cases[] = {
      {"missing", [](const std::string& p) { std::filesystem::remove(p); }, false},
      {"empty", [](const std::string& p) { WriteBytes(p, ""); }, false},
      {"binary_garbage", [&](const std::string& p) { WriteBytes(p, garbage); }, false},
      {"value_of_5000_digits",  // read in parts: the value has no line end and reads empty
       [&](const std::string& p) {
         WriteBytes(p, ";DB;\r\n1;LOGIN;" + login + "\r\n;DB;\r\n2;PASS;" + pass +
                           "\r\n;DB;\r\n3;NET8;" + Repeat("12345", 1000) + "\r\n");
       },
       false},
      {"first_line_of_5000_characters",  // the parts pair up with the wrong lines
       [&](const std::string& p) {
         WriteBytes(p, ";DB;" + Repeat("x", 5000) + "\r\n1;LOGIN;" + login + "\r\n;DB;\r\n2;PASS;" +
                           pass + "\r\n;DB;\r\n3;NET8;" + net + "\r\n");
       },
       false},
      {"database_value_not_digits",
       [&](const std::string& p) {
         WriteBytes(p, ";DB;\r\n1;LOGIN;" + login + "\r\n;DB;\r\n2;PASS;" + pass +
                           "\r\n;DB;\r\n3;NET8;abcdefghijklmnopqrst\r\n");
       },
       false},
      {"user_and_password_not_digits",
       [&](const std::string& p) {
         WriteBytes(p, ";DB;\r\n1;LOGIN;Benutzer\r\n;DB;\r\n2;PASS;\xff\xfe\xfd\xfc\xfb\r\n;DB;\r\n3;NET8;" +
                           net + "\r\n");
       },
       true},
  };
  int n = 0;
  for (const ConfigCase& c : cases) {
    SCOPED_TRACE(c.name);
    Lane lane = Fresh("cfg" + std::to_string(++n));
    c.write(lane.ConfigPath());
    ASSERT_TRUE(rel::Clean(lane.Run({"MEIER", "APL", "4711", "20040318", "00000000"})));
    rel::DbFile db(lane.DbPath());
    if (c.connects) {
      EXPECT_EQ(lane.Log(), "");
      EXPECT_EQ(db.One("SELECT NzpAus FROM Kvn591Nzp"), "MEIER");
      continue;
    }
    const std::string head = e2e::LogEntryText(e2e::kLogDate, e2e::kLogTime,
                                               "Fehlerhafter Connect mit der DB ", "dbConnect", "");
    const std::string log = lane.Log();
    const std::string prefix = head.substr(0, head.size() - 2);
    ASSERT_EQ(rel::Printable(log.substr(0, prefix.size())), rel::Printable(prefix));
    EXPECT_TRUE(std::regex_match(log.substr(prefix.size()), std::regex("-[1-9][0-9]*\r\n")))
        << rel::Printable(log);
    EXPECT_EQ(db.One("SELECT NzpAus FROM Kvn591Nzp"), "ALT");
    EXPECT_EQ(db.One("SELECT count(*) FROM Kvn590Nza"), "0");
  }
}

// ---------------------------------------------------------------------------
// The log folder.

const Texts kNoStamp = {"MEIER", "APL", "4711", "20040318", "00000000"};

// The parameter row gone: the run evaluates, then reports the missing stamp.
void DropParameterRow(const Lane& lane) {
  rel::DbFile db(lane.DbPath());
  ASSERT_TRUE(db.Exec("DELETE FROM Kvn591Nzp"));
}
const std::string kNoRow = Entry("Fehler bei ReadKey Kvn591Nzp", "Nzp_PKeyRead()", 1403);

TEST_F(BadInputTest, MissingLogFolderDropsTheEntriesAndTheRunGoesOn) {
  Lane lane = Fresh("nolog");
  DropParameterRow(lane);
  std::filesystem::remove_all(lane.WorkDir() + "/Msg");
  ASSERT_TRUE(rel::Clean(lane.Run(kNoStamp)));
  ASSERT_TRUE(rel::Clean(lane.Run({"MEIER"})));
  EXPECT_FALSE(std::filesystem::exists(lane.WorkDir() + "/Msg"));
  for (const auto& e : std::filesystem::recursive_directory_iterator(lane.root()))
    EXPECT_EQ(e.path().filename().string().find("Pelvaro"), std::string::npos) << e.path();
  rel::DbFile db(lane.DbPath());
  EXPECT_NE(db.One("SELECT count(*) FROM Kvn590Nza"), "0");
}

// A folder the user of the process may not write: the writer gives up after
// its retries, the entry is lost and the run ends normally. The process runs
// as an unprivileged user, since the test runs as root.
TEST_F(BadInputTest, ReadOnlyLogFolderDropsTheEntryAfterItsRetries) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  char tmpl[] = "/tmp/pelvaro-ro-XXXXXX";
  const std::string root = ::mkdtemp(tmpl);
  Lane lane(root + "/site");
  lane.CopyDb(pristine);
  DropParameterRow(lane);
  namespace fs = std::filesystem;
  for (const auto& e : fs::recursive_directory_iterator(root)) fs::permissions(e.path(), fs::perms::all);
  fs::permissions(root, fs::perms::all);
  fs::permissions(lane.WorkDir() + "/Msg", fs::perms::owner_read | fs::perms::owner_exec |
                                                fs::perms::group_read | fs::perms::group_exec |
                                                fs::perms::others_read | fs::perms::others_exec);
  const Texts asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  rel::Outcome o = lane.Run(kNoStamp, {}, std::chrono::seconds(60), e2e::kClock, asNobody);
  EXPECT_TRUE(rel::Clean(o)) << o.run.err;
  EXPECT_FALSE(fs::exists(lane.LogPath()));
  {
    rel::DbFile db(lane.DbPath());
    EXPECT_NE(db.One("SELECT count(*) FROM Kvn590Nza"), "0") << "the run did its work";
  }
  fs::remove_all(root);
}

// Another writer holds the log file: the entry waits for it and then arrives
// whole, after the other writer's text.
TEST_F(BadInputTest, LockedLogFileTheEntryArrivesAfterTheWait) {
  Lane lane = Fresh("locked");
  const std::string other = "\xFE\r\nSystem-Date: 20.03.04\r\nanother writer\r\n";
  int fd = ::open(lane.LogPath().c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  ASSERT_EQ(::write(fd, other.data(), other.size()), static_cast<ssize_t>(other.size()));

  rel::Outcome o;
  std::thread run([&] { o = lane.Run({"MEIER", "APL"}); });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  // Nothing of the program's may reach the file while the lock is held.
  EXPECT_EQ(rel::Printable(lane.Log()), rel::Printable(other));
  lock.l_type = F_UNLCK;
  EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  ::close(fd);
  run.join();
  EXPECT_TRUE(rel::Clean(o));
  EXPECT_EQ(rel::Printable(lane.Log()), rel::Printable(other + Entry(kTooFew, "Main()", 3)));
}

}  // namespace
