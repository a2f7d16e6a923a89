// The batch program end to end: a separate process on a site layout, a real
// database and a frozen clock. Run modes, refusals, the failing connect,
// marker deletion, mode M, the parameter stamp, injected database failures,
// and the whole message log byte for byte. Every test runs on SQLite and on
// PostgreSQL (skipped with the reason when no server is configured); only
// the marker whose point in time is no date is SQLite's alone, since the
// server's timestamp column cannot hold one.
#include <gtest/gtest.h>
#include <strings.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/E2eFixture.h"

namespace {

using e2e::CleanExit;
using e2e::Entry;
using e2e::Site;
using testdb::Backend;

using Args = std::vector<std::string>;
using Texts = std::vector<std::string>;

const char* const kWorkplaces[] = {"4711", "4712", "4713", "4800"};

// The validity of the parameter rows, in days from the database's today.
// On SQLite, whose today is the frozen 2004-03-20, they are 2003-01-01 to
// 2003-12-31 ("last year") and 2004-01-01 to 2004-12-31 ("this year"); on
// PostgreSQL they lie the same way around the server's real today.
constexpr int kLastYearFrom = -445, kLastYearTo = -81, kThisYearFrom = -79, kThisYearTo = 286;

// Four workplaces in two groups, one day shift 06:00-14:00 for both groups,
// the works calendar of March 2004 (every day a working day), and parameter
// rows: kind 4 valid today, kind 4 of last year, kind 5 valid today.
void StandardPlant(Site& s) {
  s.Calendar("20040301", "20040331");
  s.Shift("M1", "Day", 360, 840);
  s.Assign("G1", 1, "M1");
  s.Assign("G2", 1, "M1");
  for (const char* apl : {"4711", "4712", "4713"}) s.Workplace(apl, "G1");
  s.Workplace("4800", "G2");
  s.ParameterRow(4, s.DbDay(kLastYearFrom), s.DbDay(kLastYearTo));
  s.ParameterRow(4, s.DbDay(kThisYearFrom), s.DbDay(kThisYearTo));
  s.ParameterRow(5, s.DbDay(kThisYearFrom), s.DbDay(kThisYearTo));
}

// The parameter rows after a stamp by user (already cut): only the kind 4
// row valid today changes, in NzpAan, NzpAdt and NzpAus.
Texts StampedRows(const Site& s, const std::string& user) {
  const std::string lastYear = s.DbDay(kLastYearFrom) + "|" + s.DbDay(kLastYearTo);
  const std::string thisYear = s.DbDay(kThisYearFrom) + "|" + s.DbDay(kThisYearTo);
  return {"4|" + lastYear + "|1|2|3|4|5|6|7|11|12|9|2004-01-02 03:04:05|ALT",
          "4|" + thisYear + "|1|2|3|4|5|6|0|11|12|9|" + s.StampTime() + "|" + user,
          "5|" + thisYear + "|1|2|3|4|5|6|7|11|12|9|2004-01-02 03:04:05|ALT"};
}
Texts UnstampedRows(const Site& s) {
  const std::string lastYear = s.DbDay(kLastYearFrom) + "|" + s.DbDay(kLastYearTo);
  const std::string thisYear = s.DbDay(kThisYearFrom) + "|" + s.DbDay(kThisYearTo);
  return {"4|" + lastYear + "|1|2|3|4|5|6|7|11|12|9|2004-01-02 03:04:05|ALT",
          "4|" + thisYear + "|1|2|3|4|5|6|7|11|12|9|2004-01-02 03:04:05|ALT",
          "5|" + thisYear + "|1|2|3|4|5|6|7|11|12|9|2004-01-02 03:04:05|ALT"};
}

std::map<std::string, std::string> CoveredAll(Site& s) {
  std::map<std::string, std::string> out;
  for (const char* apl : kWorkplaces) out[apl] = s.Covered(apl);
  return out;
}

const auto kBackends = ::testing::Values(Backend::kSqlite, Backend::kPostgres);

// A site on the backend of the test with the standard plant.
class E2eTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(site);
    StandardPlant(site);
  }
  Site site{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, E2eTest, kBackends, testdb::BackendParamName());

// The same for a table of cases, each on both backends.
template <typename Case>
class E2eCaseTest : public ::testing::TestWithParam<std::tuple<Backend, Case>> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(site);
    StandardPlant(site);
  }
  const Case& c() const { return std::get<1>(this->GetParam()); }
  Site site{std::get<0>(this->GetParam())};
};

// Names a case "backend_case".
struct CaseName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return std::string(testdb::BackendName(std::get<0>(info.param))) + "_" +
           std::get<1>(info.param).name;
  }
};

#define E2E_CASES(Suite, cases) \
  INSTANTIATE_TEST_SUITE_P(E2e, Suite, ::testing::Combine(kBackends, ::testing::ValuesIn(cases)), \
                           CaseName())

// ---------------------------------------------------------------------------
// Run modes chosen from the command line.

struct ModeCase {
  const char* name;
  Args args;
  std::map<std::string, std::string> covered;  // per workplace, see Site::Covered
  Texts markersLeft;
  const char* stampUser;
};

class E2eModeTest : public E2eCaseTest<ModeCase> {};

TEST_P(E2eModeTest, WorkplacesEvaluatedAndMarkersServedShowTheMode) {
  const ModeCase& c = this->c();
  site.Marker("4711", "20040310080000");
  site.Marker("4712", "20040319080000");

  auto r = site.Run(c.args);
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(CoveredAll(site), c.covered);
  EXPECT_EQ(site.Markers(), c.markersLeft);
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, c.stampUser));
  EXPECT_EQ(site.Log(), "");
}

// Modes A, G and X evaluate from the day before the begin date (17th to the
// 20th, today: one shift record a day) and delete the markers of their
// workplaces from the 17th on; mode M evaluates each marker's workplace from
// the day before the marker's day and deletes every marker.
const std::string kFour = "20040317..20040320 4";
const ModeCase kModeCases[] = {
    {"A_kind_APL",
     {"MUELLERSTEIN", "APL", "4711", "20040318", "00000000"},
     {{"4711", kFour}, {"4712", ""}, {"4713", ""}, {"4800", ""}},
     {"4711 20040310080000 LZM", "4712 20040319080000 LZM"},
     "MUELLERS"},
    {"A_kind_APLX_cut_to_APL",
     {"MEIER", "APLX", "4711", "20040318", "00000000"},
     {{"4711", kFour}, {"4712", ""}, {"4713", ""}, {"4800", ""}},
     {"4711 20040310080000 LZM", "4712 20040319080000 LZM"},
     "MEIER"},
    {"G_kind_GRP",
     {"MEIER", "GRP", "G1", "20040318", "00000000"},
     {{"4711", kFour}, {"4712", kFour}, {"4713", kFour}, {"4800", ""}},
     {"4711 20040310080000 LZM"},
     "MEIER"},
    {"G_kind_lower_case_apl",  // a group "4711" that has no workplace
     {"MEIER", "apl", "4711", "20040318", "00000000"},
     {{"4711", ""}, {"4712", ""}, {"4713", ""}, {"4800", ""}},
     {"4711 20040310080000 LZM", "4712 20040319080000 LZM"},
     "MEIER"},
    {"X_admin_user",
     {"QUORVELT", "APL", "0000000000", "20040318", "00000000"},
     {{"4711", kFour}, {"4712", kFour}, {"4713", kFour}, {"4800", kFour}},
     {"4711 20040310080000 LZM"},
     "QUORVELT"},
    {"X_admin_user_with_more_characters",
     {"QUORVELTXYZ", "GRP", "0000000000", "20040318", "00000000"},
     {{"4711", kFour}, {"4712", kFour}, {"4713", kFour}, {"4800", kFour}},
     {"4711 20040310080000 LZM"},
     "QUORVELT"},
    {"M_other_user_without_dates",
     {"MEIER", "APL", "0000000000"},
     {{"4711", "20040309..20040320 12"}, {"4712", "20040318..20040320 3"}, {"4713", ""},
      {"4800", ""}},
     {},
     "MEIER"},
    {"M_admin_user_in_lower_case_dates_ignored",
     {"quorvelt", "APL", "0000000000", "20040318", "00000000"},
     {{"4711", "20040309..20040320 12"}, {"4712", "20040318..20040320 3"}, {"4713", ""},
      {"4800", ""}},
     {},
     "quorvelt"},
};

E2E_CASES(E2eModeTest, kModeCases);

// ---------------------------------------------------------------------------
// Refused command lines: one entry in the log, and the run ends before the
// database is touched, without the stamp.

struct RefusalCase {
  const char* name;
  Args args;
  const char* message;
  int code;
};

class E2eRefusalTest : public E2eCaseTest<RefusalCase> {};

TEST_P(E2eRefusalTest, LogsTheRefusalAndChangesNothing) {
  const RefusalCase& c = this->c();
  site.OldRecord("4711", "20040316060000");
  site.OldRecord("4711", "20040319060000");
  site.Marker("4711", "20040319080000");

  auto r = site.Run(c.args);
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Log(), Entry(c.message, "Main()", c.code));
  EXPECT_EQ(site.ParameterRows(), UnstampedRows(site));
  EXPECT_EQ(site.Covered("4711"), "20040316..20040319 2");
  for (const auto& row : site.Results("4711")) EXPECT_EQ(row.pnr, "OLD");
  for (const char* apl : {"4712", "4713", "4800"}) EXPECT_EQ(site.Covered(apl), "") << apl;
  EXPECT_EQ(site.Markers(), Texts{"4711 20040319080000 LZM"});
}

constexpr const char* kTooFew = "Mindestanzahl Parameter unterschritten";
constexpr const char* kBadBegin = "Unzulaessiges Beginndatum";
constexpr const char* kBadEnd = "Unzulaessiges Endedatum";

// The code of a short command line is the number of its words, the program
// included.
const RefusalCase kRefusalCases[] = {
    {"no_arguments", {}, kTooFew, 1},
    {"two_arguments", {"MEIER", "APL"}, kTooFew, 3},
    {"A_without_begin_and_end", {"MEIER", "APL", "4711"}, kTooFew, 4},
    {"G_without_end", {"MEIER", "GRP", "G1", "20040318"}, kTooFew, 5},
    {"X_without_begin_and_end", {"QUORVELT", "APL", "0000000000"}, kTooFew, 4},
    {"begin_zero", {"MEIER", "APL", "4711", "00000000", "00000000"}, kBadBegin, -1},
    {"begin_nine_characters_cut_to_zero",
     {"MEIER", "APL", "4711", "000000001", "00000000"}, kBadBegin, -1},
    {"X_begin_zero", {"QUORVELT", "APL", "0000000000", "00000000", "20040319"}, kBadBegin, -1},
    {"begin_no_calendar_day", {"MEIER", "APL", "4711", "20040230", "00000000"}, kBadBegin, -1},
    {"begin_seven_digits", {"MEIER", "APL", "4711", "2004031", "00000000"}, kBadBegin, -1},
    {"G_begin_no_calendar_day", {"MEIER", "GRP", "G1", "20040230", "20040319"}, kBadBegin, -1},
    {"end_month_13", {"MEIER", "APL", "4711", "20040315", "20041301"}, kBadEnd, -1},
    {"G_end_day_32", {"MEIER", "GRP", "G1", "20040315", "20040332"}, kBadEnd, -1},
};

E2E_CASES(E2eRefusalTest, kRefusalCases);

// ---------------------------------------------------------------------------
// A connection that fails ends the run at once with one log entry.

struct ConnectCase {
  const char* name;
  void (*prepare)(Site&);
};

// "-N" and the line end, N a number without leading zeros.
bool NegativeCodeLine(const std::string& t) {
  return t.size() >= 4 && t[0] == '-' && t[1] >= '1' && t[1] <= '9' &&
         t.compare(t.size() - 2, 2, "\r\n") == 0 &&
         t.find_first_not_of("0123456789", 1) == t.size() - 2;
}

class E2eConnectTest : public E2eCaseTest<ConnectCase> {};

TEST_P(E2eConnectTest, LogsTheFailedConnectAndEnds) {
  const ConnectCase& c = this->c();
  c.prepare(site);
  const Texts tablesBefore = site.Tables();

  auto r = site.Run({"MEIER", "APL", "4711", "20040318", "00000000"});
  ASSERT_TRUE(CleanExit(r));
  // The code is the runtime's status, negative; the rest byte for byte.
  const std::string log = site.Log();
  const std::string head = e2e::LogEntryText(e2e::kLogDate, e2e::kLogTime,
                                             "Fehlerhafter Connect mit der DB ", "dbConnect", "");
  const std::string prefix = head.substr(0, head.size() - 2);
  ASSERT_EQ(log.substr(0, prefix.size()), prefix) << log;
  EXPECT_TRUE(NegativeCodeLine(log.substr(prefix.size())))
      << log;

  EXPECT_EQ(site.ParameterRows(), UnstampedRows(site));
  EXPECT_EQ(site.Covered("4711"), "");
  EXPECT_EQ(site.Tables(), tablesBefore);
  // No database file appears where the configuration points, nor elsewhere.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(site.dir())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find("missing"), std::string::npos) << entry.path();
  }
}

const ConnectCase kConnectCases[] = {
    {"database_file_missing", [](Site& s) { s.Configure(s.ConfigPath(), s.MissingNet()); }},
    {"configuration_file_missing", [](Site& s) { std::filesystem::remove(s.ConfigPath()); }},
};

E2E_CASES(E2eConnectTest, kConnectCases);

// ---------------------------------------------------------------------------
// Markers of the evaluated workplace go from the marker day (the day before
// the begin date) on, and only when the span reaches today.

struct MarkerCase {
  const char* name;
  const char* end;
  std::string covered;
  Texts markersLeft;
};

class E2eMarkerTest : public E2eCaseTest<MarkerCase> {};

TEST_P(E2eMarkerTest, DeletedFromTheMarkerDayOnWhenTheSpanReachesToday) {
  const MarkerCase& c = this->c();
  site.Marker("4711", "20040313235959");  // the day before the marker day
  site.Marker("4711", "20040314000000");  // the marker day
  site.Marker("4711", "20040319120000");
  site.Marker("4711", "20040318000000", "A1", "XYZ");  // another kind
  site.Marker("4712", "20040318000000");                // another workplace

  auto r = site.Run({"MEIER", "APL", "4711", "20040315", c.end});
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Covered("4711"), c.covered);
  EXPECT_EQ(site.Markers(), c.markersLeft);
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
  EXPECT_EQ(site.Log(), "");
}

// Begin 20040315: the records begin on the 14th, the marker day.
const Texts kOutsideTheSpan = {"4711 20040313235959 LZM", "4711 20040318000000 XYZ",
                               "4712 20040318000000 LZM"};
const Texts kAllMarkers = {"4711 20040313235959 LZM", "4711 20040314000000 LZM",
                           "4711 20040318000000 XYZ", "4711 20040319120000 LZM",
                           "4712 20040318000000 LZM"};
const MarkerCase kMarkerCases[] = {
    {"end_zero_is_today", "00000000", "20040314..20040320 7", kOutsideTheSpan},
    {"end_today", "20040320", "20040314..20040320 7", kOutsideTheSpan},
    {"end_after_today_cut_to_today", "20040325", "20040314..20040320 7", kOutsideTheSpan},
    {"end_before_today_keeps_all", "20040319", "20040314..20040319 6", kAllMarkers},
};

E2E_CASES(E2eMarkerTest, kMarkerCases);

// ---------------------------------------------------------------------------
// Mode G over a group of three: each workplace over the same days, each losing
// its own markers when the span reaches today.

struct GroupCase {
  const char* name;
  const char* end;
  std::string covered;
  Texts markersLeft;
};

class E2eGroupTest : public E2eCaseTest<GroupCase> {};

TEST_P(E2eGroupTest, EveryWorkplaceOfTheGroupOverTheSameDays) {
  const GroupCase& c = this->c();
  site.Marker("4711", "20040313080000");
  site.Marker("4711", "20040318080000");
  site.Marker("4712", "20040319080000");
  site.Marker("4713", "20040320090000");
  site.Marker("4800", "20040318080000");

  auto r = site.Run({"MEIER", "GRP", "G1", "20040315", c.end});
  ASSERT_TRUE(CleanExit(r));
  for (const char* apl : {"4711", "4712", "4713"}) EXPECT_EQ(site.Covered(apl), c.covered) << apl;
  EXPECT_EQ(site.Covered("4800"), "");
  EXPECT_EQ(site.Markers(), c.markersLeft);
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
  EXPECT_EQ(site.Log(), "");
}

const GroupCase kGroupCases[] = {
    {"span_reaches_today", "00000000", "20040314..20040320 7",
     {"4711 20040313080000 LZM", "4800 20040318080000 LZM"}},
    {"span_ends_before_today", "20040319", "20040314..20040319 6",
     {"4711 20040313080000 LZM", "4711 20040318080000 LZM", "4712 20040319080000 LZM",
      "4713 20040320090000 LZM", "4800 20040318080000 LZM"}},
};

E2E_CASES(E2eGroupTest, kGroupCases);

// ---------------------------------------------------------------------------
// Mode X and mode M.

TEST_P(E2eTest, ModeXSkipsTheTwoBoundNumbers) {
  site.Workplace("0000000000", "G1");
  site.Workplace("9999999999", "G2");
  auto r = site.Run({"QUORVELT", "APL", "0000000000", "20040319", "00000000"});
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Covered("0000000000"), "");
  EXPECT_EQ(site.Covered("9999999999"), "");
  for (const char* apl : kWorkplaces) EXPECT_EQ(site.Covered(apl), "20040318..20040320 3") << apl;
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "QUORVELT"));
  EXPECT_EQ(site.Log(), "");
}

TEST_P(E2eTest, ModeMTwoMarkersOfOneWorkplaceGiveTwoPasses) {
  site.Marker("4711", "20040316080000", "A2");
  site.Marker("4711", "20040312100000", "A1");
  auto r = site.Run({"MEIER", "APL", "0000000000"});
  ASSERT_TRUE(CleanExit(r));
  // The pass of the earlier marker covers the 11th to today; the later pass
  // rebuilds the 15th on without doubling a day.
  EXPECT_EQ(site.Covered("4711"), "20040311..20040320 10");
  for (const char* apl : {"4712", "4713", "4800"}) EXPECT_EQ(site.Covered(apl), "") << apl;
  EXPECT_EQ(site.Markers(), Texts{});
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
  EXPECT_EQ(site.Log(), "");
}

TEST_P(E2eTest, ModeMWorkplaceWithoutShiftModelGetsItsPass) {
  site.Workplace("5000", "G9");  // no assignment for G9 nor for the workplaces
  site.Workplace("5001", "G9");
  site.Message("5000", "20040319080000", "AB");  // running until the evaluation time
  site.Marker("5000", "20040319070000");
  site.Marker("5001", "20040319070000");
  auto r = site.Run({"MEIER", "APL", "0000000000"});
  ASSERT_TRUE(CleanExit(r));

  // One closing record over the whole span, occupied from 08:00 of the 19th
  // to 10:00 of the 20th (26 hours); none for the idle workplace.
  auto rows = site.Results("5000");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].dtm, "20040318000000");
  EXPECT_EQ(rows[0].edt, "20040320235959");
  EXPECT_EQ(rows[0].pnr, "00:0023:59");
  EXPECT_EQ(rows[0].emo, "LMO00.00");
  EXPECT_DOUBLE_EQ(rows[0].bza, 1560.00);
  EXPECT_EQ(site.Covered("5001"), "");
  EXPECT_EQ(site.Markers(), Texts{});
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
  EXPECT_EQ(site.Log(), "");
}

TEST_P(E2eTest, ModeMWithoutMarkersEvaluatesNothingAndStillStamps) {
  site.Marker("4711", "20040318080000", "A1", "XYZ");  // not of kind LZM
  auto r = site.Run({"MEIER", "APL", "0000000000"});
  ASSERT_TRUE(CleanExit(r));
  for (const char* apl : kWorkplaces) EXPECT_EQ(site.Covered(apl), "") << apl;
  EXPECT_EQ(site.Markers(), Texts{"4711 20040318080000 XYZ"});
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
  EXPECT_EQ(site.Log(), "");
  EXPECT_FALSE(std::filesystem::exists(site.LogPath()));
}

// ---------------------------------------------------------------------------
// The stamp that fails: the log tells why, the parameter rows stay as they
// were, and the records of the evaluation are committed all the same.

struct StampCase {
  const char* name;
  void (*prepare)(Site&);
  Texts env;
  std::string log;
};

class E2eStampTest : public E2eCaseTest<StampCase> {};

TEST_P(E2eStampTest, FailedStampKeepsTheRowsAndTheRecords) {
  const StampCase& c = this->c();
  c.prepare(site);
  const Texts before = site.ParameterRows();

  auto r = site.Run({"MEIER", "APL", "4711", "20040318", "00000000"}, {e2e::kClock, c.env});
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Log(), c.log);
  EXPECT_EQ(site.ParameterRows(), before);
  EXPECT_EQ(site.Covered("4711"), "20040317..20040320 4");
}

const StampCase kStampCases[] = {
    {"no_row_valid_today",  // the row ends today: both bounds are strict
     [](Site& s) { s.Exec("UPDATE Kvn591Nzp SET NzpGbi='" + s.DbDay(0) + "' WHERE NzpAkz=4"); },
     {},
     Entry("Fehler bei ReadKey Kvn591Nzp", "Nzp_PKeyRead()", 1403)},
    {"two_rows_valid_today",  // 2004-02-01 to 2004-11-30 on SQLite
     [](Site& s) { s.ParameterRow(4, s.DbDay(-48), s.DbDay(255)); },
     {},
     Entry("Fehler bei ReadKey Kvn591Nzp", "Nzp_PKeyRead()", -1422)},
    {"row_begins_at_a_time_of_day",  // read, but the update reaches no row
     [](Site& s) {
       const std::string from = s.DbDay(kThisYearFrom);
       s.Exec("UPDATE Kvn591Nzp SET NzpGvn='" + from + " 08:00:00' WHERE NzpAkz=4 AND NzpGvn='" +
              from + "'");
     },
     {},
     Entry("Fehler bei Update Kvn591Nzp", "Nzp_PKeyUpd()", 1403)},
    {"update_refused",
     [](Site&) {},
     {"PELVARO_FAULT_OP=Nzp_PKeyUpd:-54"},
     Entry("Fehler bei Update Kvn591Nzp", "Nzp_PKeyUpd()", -54)},
};

E2E_CASES(E2eStampTest, kStampCases);

// ---------------------------------------------------------------------------
// A failing workplace or marker cursor is logged under its read's name; the
// stamp follows. A cursor's Open, Read and Close share one fault name, so two
// faults hit the open and the first read.

struct CursorFaultCase {
  const char* name;
  Args args;
  const char* fault;
  std::string log;
};

class E2eCursorFaultTest : public E2eCaseTest<CursorFaultCase> {};

TEST_P(E2eCursorFaultTest, LoggedAndStampedAllTheSame) {
  const CursorFaultCase& c = this->c();
  site.Marker("4711", "20040318080000");

  auto r = site.Run(c.args, {e2e::kClock, {std::string("PELVARO_FAULT_OP=") + c.fault}});
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Log(), c.log);
  for (const char* apl : kWorkplaces) EXPECT_EQ(site.Covered(apl), "") << apl;
  EXPECT_EQ(site.Markers(), Texts{"4711 20040318080000 LZM"});
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, c.args[0]));
}

const CursorFaultCase kCursorFaultCases[] = {
    {"X_workplaces",
     {"QUORVELT", "APL", "0000000000", "20040318", "00000000"},
     "Apl_PKeyOpen:-3113:2",
     Entry("Fehler Apl lesen", "Apl_PKeyRead()", -3113)},
    {"G_workplaces",
     {"MEIER", "GRP", "G1", "20040318", "00000000"},
     "Apl_Apg_Open:-3113:2",
     Entry("Fehler Apl lesen", "Apl_Apg_Read()", -3113)},
    {"M_markers",
     {"MEIER", "APL", "0000000000"},
     "Mrk_MrkKng:-3113:2",
     Entry("Cursor-Read fehlgeschlagen ", "Mrk_MrkKng_Read", -3113)},
};

E2E_CASES(E2eCursorFaultTest, kCursorFaultCases);

// ---------------------------------------------------------------------------
// Arguments reach the statements as values only.

TEST_P(E2eTest, StatementTextInTheWorkplaceArgumentChangesNothing) {
  site.OldRecord("4711", "20040316060000");
  site.Marker("4711", "20040319080000");
  const Texts tables = site.Tables();
  for (const char* kind : {"APL", "GRP"}) {
    auto r = site.Run({"MEIER", kind, "0'; drop table Kvn590Nza; --", "20040318", "00000000"});
    ASSERT_TRUE(CleanExit(r)) << kind;
    EXPECT_EQ(site.Tables(), tables) << kind;
    EXPECT_EQ(site.Covered("4711"), "20040316..20040316 1") << kind;
    EXPECT_EQ(site.One("SELECT count(*) FROM Kvn590Nza"), "1") << kind;
    EXPECT_EQ(site.Markers(), Texts{"4711 20040319080000 LZM"}) << kind;
    EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER")) << kind;
    EXPECT_EQ(site.Log(), "") << kind;
  }
}

// ---------------------------------------------------------------------------
// The configuration file named by KORVANE_INI, with an absolute database path.

TEST_P(E2eTest, ConfigurationFileNamedByTheEnvironment) {
  std::filesystem::remove(site.ConfigPath());
  const std::string elsewhere = site.dir() + "/elsewhere.ini";
  site.Configure(elsewhere, site.AbsoluteNet());
  auto r = site.Run({"MEIER", "APL", "4711", "20040318", "00000000"},
                    {e2e::kClock, {"KORVANE_INI=" + elsewhere}});
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Covered("4711"), "20040317..20040320 4");
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
  EXPECT_EQ(site.Log(), "");
}

// ---------------------------------------------------------------------------
// Entries of one run follow one another in the log, after what earlier runs
// left there.

TEST_P(E2eTest, LogEntriesAppendAcrossRuns) {
  const std::string earlier = Entry("Fehler Apl lesen", "Apl_PKeyRead()", -3113);
  auto r1 = site.Run({"QUORVELT", "APL", "0000000000", "20040318", "00000000"},
                     {e2e::kClock, {"PELVARO_FAULT_OP=Apl_PKeyOpen:-3113:2"}});
  ASSERT_TRUE(CleanExit(r1));
  site.Exec("UPDATE Kvn591Nzp SET NzpGbi='" + site.DbDay(0) + "' WHERE NzpAkz=4");
  auto r2 = site.Run({"MEIER", "APL"}, {"2004-03-21 23:59:58", {}});
  ASSERT_TRUE(CleanExit(r2));
  auto r3 = site.Run({"MEIER", "APL", "4711", "20040318", "00000000"},
                     {"2004-03-21 23:59:58", {}});
  ASSERT_TRUE(CleanExit(r3));
  EXPECT_EQ(site.Log(),
            earlier +
                e2e::LogEntryText("21.03.04", "23:59:58", "Mindestanzahl Parameter unterschritten",
                                  "Main()", "3") +
                e2e::LogEntryText("21.03.04", "23:59:58", "Fehler bei ReadKey Kvn591Nzp",
                                  "Nzp_PKeyRead()", "1403"));
}



// A marker whose point in time is no date (written by another program) would
// give its pass a span that deletes without rebuilding: it is reported and
// kept, and the other markers are served. Only SQLite can hold such a marker:
// on the server the column is a timestamp and part of the key.
class E2eSqliteTest : public E2eTest {};

INSTANTIATE_TEST_SUITE_P(Backends, E2eSqliteTest, ::testing::Values(Backend::kSqlite),
                         testdb::BackendParamName());

TEST_P(E2eSqliteTest, MarkerWithoutARealDayIsReportedAndKept) {
  site.OldRecord("4711", "20040310060000");
  site.Exec("INSERT INTO Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt) "
            "VALUES ('LZM','4711','A1','10','P1',1,'kaputt')");
  site.Marker("4712", "20040319120000");
  auto r = site.Run({"MEIER", "APL", "0000000000"});
  ASSERT_TRUE(CleanExit(r));
  EXPECT_EQ(site.Log(), Entry("Unzulaessiges Markerdatum", "RecalculateFromMarkers", -1));
  EXPECT_EQ(site.Rows("SELECT MrkApl,MrkMdt FROM Kvn563Mrk"), Texts{"4711|kaputt"});
  EXPECT_EQ(site.One("SELECT count(*) FROM Kvn590Nza WHERE NzaApl='4711' AND NzaPnr='OLD'"), "1");
  EXPECT_EQ(site.Covered("4712"), "20040318..20040320 3");
  EXPECT_EQ(site.ParameterRows(), StampedRows(site, "MEIER"));
}

// ---------------------------------------------------------------------------
// A site's database that holds only the tables and the columns the
// statements name (no keys, no indexes, no column of ours) gives the same
// records, markers and stamp.

class E2eForeignSchema : public ::testing::TestWithParam<Backend> {};

INSTANTIATE_TEST_SUITE_P(Backends, E2eForeignSchema, kBackends, testdb::BackendParamName());

TEST_P(E2eForeignSchema, SameRecordsWithoutOurKeysAndIndexes) {
  auto fill = [](Site& s) {
    StandardPlant(s);
    for (const char* apl : {"4711", "4800"}) {
      s.Message(apl, "20040318053000", "AB");
      s.Message(apl, "20040318091500", "AU");
      s.Message(apl, "20040318100000", "AW");
      s.Message(apl, "20040319150000", "AE");
    }
    s.Marker("4712", "20040319120000");
  };
  Site ours(GetParam()), foreign(GetParam());
  TESTDB_SKIP_UNLESS_AVAILABLE(ours);
  fill(ours);
  fill(foreign);

  // Every table replaced by a bare copy: columns only, taken by CREATE TABLE
  // AS, under the same name.
  const char* notNamed[] = {"AplDat", "MelDat", "MapDat", "MrkDat"};
  for (const std::string& table : foreign.Tables()) {
    std::string cols;
    for (const std::string& col : foreign.Columns(table)) {
      bool skip = false;
      for (const char* n : notNamed) skip = skip || strcasecmp(col.c_str(), n) == 0;
      if (!skip) cols += (cols.empty() ? "" : ",") + col;
    }
    const std::size_t dot = table.find('.') + 1;  // 0 without a schema
    const std::string bare = table.substr(0, dot) + "bare_" + table.substr(dot);
    foreign.Exec("CREATE TABLE " + bare + " AS SELECT " + cols + " FROM " + table +
                 "; DROP TABLE " + table + "; ALTER TABLE " + bare + " RENAME TO " +
                 table.substr(dot));
  }
  ASSERT_EQ(foreign.Indexes(), "0");

  const Args run = {"QUORVELT", "APL", "0000000000", "20040317", "00000000"};
  ASSERT_TRUE(CleanExit(ours.Run(run)));
  ASSERT_TRUE(CleanExit(foreign.Run(run)));

  const std::string records =
      "SELECT NzaSa,NzaApl,NzaPnr,NzaDtm,NzaEdt,NzaEmo,NzaBzA,NzaNza,NzaUza,NzaPza,NzaPzu,NzaIst,"
      "NzaSol,NzaPau,NzaErf,NzaWtg,NzaJtg,NzaWoc,NzaTtp FROM Kvn590Nza ORDER BY NzaApl,NzaDtm";
  Texts want = ours.Rows(records);
  EXPECT_GT(want.size(), 8u);
  EXPECT_EQ(foreign.Rows(records), want);
  EXPECT_EQ(foreign.Rows("SELECT MrkApl,MrkMdt FROM Kvn563Mrk"),
            ours.Rows("SELECT MrkApl,MrkMdt FROM Kvn563Mrk"));
  EXPECT_EQ(foreign.Rows("SELECT NzpAkz,NzpAan,NzpAus FROM Kvn591Nzp ORDER BY 1,2,3"),
            ours.Rows("SELECT NzpAkz,NzpAan,NzpAus FROM Kvn591Nzp ORDER BY 1,2,3"));
  EXPECT_EQ(foreign.Log(), "");
}

}  // namespace
