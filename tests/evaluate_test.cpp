// The workplace evaluation pass on a real database with a fixed clock: shift,
// gap and closing records, the counts carried across windows and days, the
// day loop, and the failure reports.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "main/Evaluate.h"
#include "main/PassState.h"
#include "tests/PlantFixture.h"
#include "util/MsgLog.h"
#include "util/Text.h"

namespace {

using testdb::NzaRow;

class EvaluateTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(plant);
    plant.Calendar("20040228", "20040320");
    plant.Workplace("4711", "G1");
    logPath = plant.dir() + "/log.txt";
    pelvaro::MsgResetForTest();
    pelvaro::MsgInit(7, logPath.c_str());
  }
  void TearDown() override { pelvaro::MsgResetForTest(); }

  // Runs the pass at the given clock; returns the caller's date buffers after it.
  std::pair<std::string, std::string> Run(const std::string& begin, const std::string& end,
                                          const std::string& now = "20040319120000",
                                          const std::string& apl = "4711") {
    if (!rt::Connected()) {
      EXPECT_EQ(plant.Connect(), 0);
    }
    testdb::FixedClockEnv clock(now);
    testdb::EnvGuard guard(&clock);
    char b[9], e[9];
    pelvaro::CopyText(b, begin);
    pelvaro::CopyText(e, end);
    pelvaro::EvaluateWorkplace(apl.c_str(), b, e);
    return {b, e};
  }

  std::string Log() {
    std::ifstream in(logPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Three shifts, each with its own break model and break.
  void ThreeShiftModel() {
    plant.Shift("M3", "Early", 360, 840, 0, "PE");
    plant.Shift("M3", "Late", 840, 1320, 0, "PL");
    plant.Shift("M3", "Night", 1320, 360, 0, "PN");
    plant.Break("PE", "E1", 540, 570);
    plant.Break("PL", "L1", 1080, 1110);
    plant.Break("PN", "N1", 1425, 15);
    plant.Assign("G1", 1, "M3");
  }

  testdb::Plant plant{GetParam()};
  std::string logPath;
};

INSTANTIATE_TEST_SUITE_P(Backends, EvaluateTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

TEST_P(EvaluateTest, TwoAdjoiningShiftsGiveTwoRecordsAndNoGap) {
  plant.Shift("M2", "Early", 360, 840);
  plant.Shift("M2", "Late", 840, 1320);
  plant.Assign("G1", 1, "M2");
  // Before the first shift of the pass: in no window, so the end at 07:00
  // finds no running occupation and is absorbed.
  plant.Message("4711", "20040302030000", "AB");
  plant.Message("4711", "20040302070000", "AE");
  plant.Message("4711", "20040302080000", "AB");
  plant.Message("4711", "20040302150000", "AE");
  Run("20040302", "20040302");
  auto rows = plant.Results("4711");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].dtm, "20040302060000");
  EXPECT_EQ(rows[0].edt, "20040302140000");
  EXPECT_EQ(rows[0].pnr, "Early");
  EXPECT_EQ(rows[0].emo, "M2");
  EXPECT_EQ(rows[0].erf, "PELVAR");
  EXPECT_EQ(rows[0].ttp, "WT");
  EXPECT_DOUBLE_EQ(rows[0].bza, 360.00);  // 08:00-14:00
  EXPECT_DOUBLE_EQ(rows[0].ist, 360.00);
  EXPECT_DOUBLE_EQ(rows[0].sol, 480);
  EXPECT_EQ(rows[0].wtg, 2);   // a Tuesday
  EXPECT_EQ(rows[0].jtg, 62);  // day of the year
  EXPECT_EQ(rows[1].dtm, "20040302140000");
  EXPECT_EQ(rows[1].pnr, "Late");
  EXPECT_DOUBLE_EQ(rows[1].bza, 60.00);
  EXPECT_EQ(Log(), "");
}

TEST_P(EvaluateTest, GapAndClosingRecords) {
  plant.Shift("M2", "Early", 360, 840);
  plant.Shift("M2", "Late", 840, 1320);
  plant.Assign("G1", 1, "M2");
  plant.Message("4711", "20040302210000", "AB");
  plant.Message("4711", "20040302230000", "AU");
  plant.Message("4711", "20040302233000", "AW");
  plant.Message("4711", "20040303070000", "AE");
  plant.Message("4711", "20040303230000", "AB");
  Run("20040302", "20040303");
  auto rows = plant.Results("4711");
  ASSERT_EQ(rows.size(), 6u);
  const NzaRow& gap = rows[2];
  EXPECT_EQ(gap.dtm, "20040302220000");
  EXPECT_EQ(gap.edt, "20040303060000");
  EXPECT_EQ(gap.pnr, "22:0006:00");
  EXPECT_EQ(gap.emo, "LMO00.00");
  EXPECT_DOUBLE_EQ(gap.bza, 480.00);
  EXPECT_DOUBLE_EQ(gap.uza, 30.00);
  EXPECT_DOUBLE_EQ(gap.nza, 450.00);
  EXPECT_DOUBLE_EQ(gap.ist, 480.00);
  EXPECT_EQ(gap.sol, 0);
  EXPECT_EQ(gap.pau, 0);
  EXPECT_EQ(gap.erf, "PELVAR");  // copied from the shift that follows
  EXPECT_EQ(gap.jtg, 63);
  EXPECT_DOUBLE_EQ(rows[3].bza, 60.00);  // 06:00-07:00 of the second day
  const NzaRow& closing = rows[5];
  EXPECT_EQ(closing.dtm, "20040303220000");
  EXPECT_EQ(closing.edt, "20040303235959");
  EXPECT_EQ(closing.pnr, "22:0023:59");
  EXPECT_EQ(closing.emo, "LMO00.00");
  EXPECT_DOUBLE_EQ(closing.bza, 59.59);
  EXPECT_EQ(closing.erf, "");
  EXPECT_EQ(closing.ttp, "");
  EXPECT_EQ(closing.wtg, 0);
  EXPECT_EQ(closing.jtg, 0);
  EXPECT_EQ(closing.sol, 0);
}

TEST_P(EvaluateTest, ShiftLengthsAndEndDays) {
  struct Case {
    const char* apl;
    int beg, end, art;
    const char* edt;
    double sol, pau;
  } cases[] = {
      {"N", 1320, 360, 0, "20040303060000", 480, 30},
      {"F", 360, 360, 0, "20040303060000", 1440, 30},
      {"A", 360, 840, 2, "20040302140000", 0, 30},
      {"E", 360, 1440, 0, "20040302235959", 1080, 30},
  };
  for (const auto& c : cases) {
    std::string model = std::string("S") + c.apl;
    plant.Workplace(c.apl, "none");
    plant.Shift(model, "X", c.beg, c.end, c.art, "PB");
    plant.Assign(c.apl, 2, model);
  }
  plant.Break("PB", "B1", 720, 750);
  for (const auto& c : cases) {
    Run("20040302", "20040302", "20040319120000", c.apl);
    auto rows = plant.Results(c.apl);
    ASSERT_GE(rows.size(), 1u) << c.apl;
    EXPECT_EQ(rows[0].edt, c.edt) << c.apl;
    EXPECT_EQ(rows[0].sol, c.sol) << c.apl;
    EXPECT_EQ(rows[0].pau, c.pau) << c.apl;
  }
}

TEST_P(EvaluateTest, OwnAssignmentBeforeTheGroups) {
  plant.Workplace("4712", "G1");
  plant.Shift("GRP", "Early", 360, 840);
  plant.Shift("OWN", "Early", 420, 900);
  plant.Assign("G1", 1, "GRP");
  plant.Assign("4711", 2, "OWN");
  Run("20040302", "20040302");
  Run("20040302", "20040302", "20040319120000", "4712");
  ASSERT_EQ(plant.Results("4711").size(), 1u);
  EXPECT_EQ(plant.Results("4711")[0].emo, "OWN");
  ASSERT_EQ(plant.Results("4712").size(), 1u);
  EXPECT_EQ(plant.Results("4712")[0].emo, "GRP");
}

TEST_P(EvaluateTest, CountOpenPositionsUndoesTheMessagesSinceTheDay) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> buffer;  // object type, Map00U
    std::vector<const char*> codes;                           // since the day
    int run, intr;
  } cases[] = {
      {"three running, one interrupted", {{"M_A", "0"}, {"M_A", "1"}, {"M_A", ""}, {"M__", "1"}},
       {"AB", "AE", "AU"}, 3, 0},
      {"empty buffer, one begin", {}, {"AB"}, 0, 0},
      {"resumption and end raise", {{"M_A", "0"}}, {"AW", "RE", "XX"}, 2, 1},
  };
  ASSERT_EQ(plant.Connect(), 0);
  for (const auto& c : cases) {
    plant.Exec("DELETE FROM Kvn565Map; DELETE FROM Kvn560Mel;");
    int n = 0;
    for (const auto& [obj, u] : c.buffer) plant.Buffer("4711", "O" + std::to_string(n++), obj, u);
    int minute = 10;
    for (const char* code : c.codes)
      plant.Message("4711", "2004030510" + std::to_string(minute++) + "00", code);
    plant.Message("4711", "20040304235959", "AB");  // before the day: not undone
    std::int32_t run = 0, intr = 0;
    pelvaro::CountOpenPositions("4711", "20040305", run, intr);
    EXPECT_EQ(run, c.run) << c.name;
    EXPECT_EQ(intr, c.intr) << c.name;
  }
}

TEST_P(EvaluateTest, DateBuffersAndTheDeletedSpan) {
  plant.Shift("M2", "Early", 360, 840);
  plant.Assign("G1", 1, "M2");
  // Old records: two in the span, one before, one of another kind.
  plant.Exec("INSERT INTO Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm) VALUES "
             "(12,'4711',' ',' ','old','2004-03-04 06:00:00'),(12,'4711',' ',' ','old','2004-03-05 23:59:59'),"
             "(12,'4711',' ',' ','old','2004-03-03 23:59:59'),(13,'4711',' ',' ','old','2004-03-04 06:00:00')");
  auto [b, e] = Run("20040304", "20040330", "20040305120000");
  EXPECT_EQ(e, "20040305");  // cut to today
  EXPECT_EQ(b, "20040306");  // one day past the end
  auto rows = plant.Rows("SELECT " + plant.Day8("NzaDtm") + ", NzaSa, NzaPnr FROM Kvn590Nza ORDER BY 1,2");
  std::vector<std::string> want = {"20040303|12|old", "20040304|12|Early", "20040304|13|old", "20040305|12|Early"};
  EXPECT_EQ(rows, want);

  // A begin after the end evaluates no day and writes nothing.
  auto [b2, e2] = Run("20040310", "20040308");
  EXPECT_EQ(b2, "20040310");
  EXPECT_EQ(plant.Rows("SELECT count(*) FROM Kvn590Nza WHERE NzaDtm >= '2004-03-08'"), std::vector<std::string>{"0"});
}

// Mended: the day's cursor yields the assignment once per shift of its
// model; each distinct row is evaluated once, so nothing is counted twice.
TEST_P(EvaluateTest, ThreeShiftModelGivesOneRecordPerShiftPerDay) {
  ThreeShiftModel();
  plant.Message("4711", "20040302210000", "AB");
  plant.Message("4711", "20040303100000", "AE");
  Run("20040302", "20040304");
  auto rows = plant.Results("4711");
  ASSERT_EQ(rows.size(), 9u);
  const char* names[] = {"Early", "Late", "Night"};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].pnr, names[i % 3]) << i;
    EXPECT_EQ(rows[i].dtm.substr(0, 8), std::string("2004030") + char('2' + i / 3)) << i;
  }
  EXPECT_DOUBLE_EQ(rows[1].bza, 60.00);   // day 1 late: 21:00-22:00
  EXPECT_DOUBLE_EQ(rows[2].bza, 480.00);  // day 1 night
  EXPECT_DOUBLE_EQ(rows[2].pza, 30.00);   // its own break over midnight
  EXPECT_DOUBLE_EQ(rows[3].bza, 240.00);  // day 2 early: 06:00-10:00
  EXPECT_DOUBLE_EQ(rows[3].pza, 30.00);
  for (std::size_t i = 4; i < rows.size(); ++i) EXPECT_EQ(rows[i].bza, 0) << rows[i].dtm;
  EXPECT_EQ(Log(), "");
}

TEST_P(EvaluateTest, FailedInsertsAreReportedAndThePassGoesOn) {
  plant.Shift("M2", "Early", 360, 840);
  plant.Shift("M2", "Late", 840, 1320);
  plant.Assign("G1", 1, "M2");
  plant.Message("4711", "20040302230000", "AB");
  plant.Message("4711", "20040303230000", "AU");
  ASSERT_EQ(plant.Connect(), 0);
  rt::InjectFault("Nza_PKeyIns", -3113, 100);
  Run("20040302", "20040303");
  rt::ClearFaults();
  EXPECT_EQ(plant.Results("4711").size(), 0u);
  std::string log = Log();
  auto count = [&](const std::string& part) {
    std::size_t n = 0;
    for (auto pos = log.find(part); pos != std::string::npos; pos = log.find(part, pos + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("\r\nMessage____: Nza_PKeyIns\r\nFunktion___: Nza_PKeyIns()\r\nErrorCode__: -3113\r\n"), 4u);
  EXPECT_EQ(count("\r\nMessage____: Nza_PKeyIns(Dummy-Satz)\r\nFunktion___: Nza_PKeyIns\r\nErrorCode__: -3113\r\n"), 1u);
  EXPECT_EQ(count("\r\nMessage____: Nza_PKeyIns(NZA-Dummy-Abschluss)\r\nFunktion___: Nza_PKeyIns\r\nErrorCode__: -3113\r\n"), 1u);
  EXPECT_EQ(count("\xfe"), 6u);
}

TEST_P(EvaluateTest, MissingNextCalendarDayEndsTheLoopAndIsReported) {
  plant.Shift("M2", "Early", 360, 840);
  plant.Assign("G1", 1, "M2");
  plant.Message("4711", "20040318230000", "AB");
  plant.Buffer("4711", "O1", "M_A", "0");          // still running now
  plant.Message("4711", "20040320200000", "AU");  // makes the closing window count
  // The calendar ends on 20040320: the span up to 20040325 stops there.
  auto [b, e] = Run("20040319", "20040325", "20040330120000");
  EXPECT_EQ(b, "20040320");
  auto rows = plant.Results("4711");
  ASSERT_EQ(rows.size(), 2u);  // the two days, no closing record
  EXPECT_EQ(rows[1].pnr, "Early");
  EXPECT_NE(Log().find("\r\nMessage____: Kein Folgetag im Betriebskalender\r\nFunktion___: EvaluateWorkplace\r\n"
                       "ErrorCode__: 1403\r\n"),
            std::string::npos);

  // Only the day after the last one missing: complete, nothing reported.
  pelvaro::MsgResetForTest();
  std::remove(logPath.c_str());
  pelvaro::MsgInit(7, logPath.c_str());
  Run("20040319", "20040320", "20040330120000");
  rows = plant.Results("4711");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].pnr, "14:0023:59");
  EXPECT_EQ(Log(), "");
}

TEST_P(EvaluateTest, FirstShiftOnALaterDayAndASpanWithoutShifts) {
  plant.Calendar("20040306", "20040307", "SO");  // a weekend without shifts
  plant.Shift("M2", "Early", 360, 840);
  plant.Assign("G1", 1, "M2");
  plant.Message("4711", "20040306120000", "AB");
  plant.Message("4711", "20040306130000", "AE");
  Run("20040306", "20040308");
  auto rows = plant.Results("4711");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].dtm, "20040306060000");  // from the first shift's begin time
  EXPECT_EQ(rows[0].edt, "20040308060000");
  EXPECT_EQ(rows[0].pnr, "06:0006:00");
  EXPECT_DOUBLE_EQ(rows[0].bza, 60.00);

  // Only shift-less days: one closing record over the whole span.
  plant.Workplace("4712", "G9");
  plant.Message("4712", "20040306120000", "AB");
  plant.Message("4712", "20040307130000", "AE");
  Run("20040306", "20040307", "20040319120000", "4712");
  rows = plant.Results("4712");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].dtm, "20040306000000");
  EXPECT_EQ(rows[0].edt, "20040307235959");
  EXPECT_EQ(rows[0].pnr, "00:0023:59");
  EXPECT_DOUBLE_EQ(rows[0].bza, 1500.00);
}

TEST(InitResultRecord, PresetReplacesEverything) {
  db::Kvn590Nza rec;
  std::memset(&rec, 0x7f, sizeof rec);
  pelvaro::CopyText(pelvaro::gPass.PassWorkplace, "4711");
  pelvaro::InitResultRecord(&rec);
  EXPECT_EQ(rec.NzaSa, 12);
  EXPECT_STREQ(rec.NzaApl, "4711");
  EXPECT_STREQ(rec.NzaApk, " ");
  EXPECT_STREQ(rec.NzaApp, " ");
  EXPECT_STREQ(rec.NzaPnr, " ");
  EXPECT_STREQ(rec.NzaDtmDay, "00000000");
  EXPECT_STREQ(rec.NzaDtmTime, "000000");
  EXPECT_STREQ(rec.NzaBmk, "SB");
  EXPECT_STREQ(rec.NzaEmk, "SE");
  EXPECT_STREQ(rec.NzaEmo, "");
  EXPECT_STREQ(rec.NzaErf, "");
  EXPECT_STREQ(rec.NzaDat, "");
  EXPECT_EQ(rec.NzaWoc, 0);
  EXPECT_EQ(rec.NzaBzA, 0.0);
  EXPECT_EQ(rec.NzaFnr, 0);
  EXPECT_EQ(rec.NzaPau, 0.0);
}

}  // namespace
