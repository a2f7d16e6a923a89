// The message walk of gap windows and of shift windows, on a real database:
// the worked figures, and every place where the two walks differ.
#include <gtest/gtest.h>

#include <cstring>

#include "db/DbMel.h"
#include "main/Accounting.h"
#include "main/PassState.h"
#include "tests/PlantFixture.h"
#include "util/Text.h"

namespace {

using pelvaro::gPass;

struct Figures {
  double bza, nza, uza, pza, pzu;
};

class AccountingTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(plant);
    plant.Calendar("20040301", "20040310");
    ASSERT_EQ(plant.Connect(), 0);
    pelvaro::ForgetBreaks();  // rows read from another test's database
    pelvaro::CopyText(gPass.PassWorkplace, "4711");
    SetEvalTime("20040309120000");
  }
  void SetEvalTime(const char* ts) { pelvaro::CopyText(gPass.EvalTime, ts); }

  // A preset record over the window from..to (yyyymmddHHMMSS each).
  db::Kvn590Nza Window(const std::string& from, const std::string& to) {
    db::Kvn590Nza rec;
    pelvaro::InitResultRecord(&rec);
    pelvaro::CopyText(rec.NzaDtmDay, from.substr(0, 8));
    pelvaro::CopyText(rec.NzaDtmTime, from.substr(8, 6));
    pelvaro::CopyText(rec.NzaEdtDay, to.substr(0, 8));
    pelvaro::CopyText(rec.NzaEdtTime, to.substr(8, 6));
    return rec;
  }
  static Figures Of(const db::Kvn590Nza& r) { return {r.NzaBzA, r.NzaNza, r.NzaUza, r.NzaPza, r.NzaPzu}; }

  db::Kvn533Emo DayShift() {
    db::Kvn533Emo s{};
    pelvaro::CopyText(s.EmoEmo, "M1");
    pelvaro::CopyText(s.EmoTtp, "WT");
    pelvaro::CopyText(s.EmoTxt, "Early");
    s.EmoBeg = 360;
    s.EmoEnd = 840;
    return s;
  }

  testdb::Plant plant{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, AccountingTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

void ExpectFigures(const Figures& got, const Figures& want, const std::string& what) {
  EXPECT_DOUBLE_EQ(got.bza, want.bza) << what << " NzaBzA";
  EXPECT_DOUBLE_EQ(got.nza, want.nza) << what << " NzaNza";
  EXPECT_DOUBLE_EQ(got.uza, want.uza) << what << " NzaUza";
  EXPECT_DOUBLE_EQ(got.pza, want.pza) << what << " NzaPza";
  EXPECT_DOUBLE_EQ(got.pzu, want.pzu) << what << " NzaPzu";
}

TEST(MinSec, SecondsAreTheDigitsAfterThePoint) {
  EXPECT_DOUBLE_EQ(pelvaro::MinSec(90), 1.30);
  EXPECT_DOUBLE_EQ(pelvaro::MinSec(3725), 62.05);
  EXPECT_DOUBLE_EQ(pelvaro::MinSec(-90), -1.30);
  EXPECT_DOUBLE_EQ(pelvaro::MinSec(5430), 90.30);
  EXPECT_EQ(pelvaro::MinSec(0), 0.0);
  EXPECT_DOUBLE_EQ(pelvaro::MinSec(1), 0.01);
}

// The walk of a gap window: the worked cases, with the counts before and after.
TEST_P(AccountingTest, GapWindowCases) {
  struct Msg {
    const char* ts;
    const char* code;
  };
  struct Case {
    const char* name;
    const char* from;
    const char* to;
    const char* evalTime;
    int run0, int0;
    std::vector<Msg> msgs;
    Figures want;
    int run1, int1;
  } cases[] = {
      {"occupation with one interruption", "20040301060000", "20040301140000", "20040309120000", 0, 0,
       {{"20040301070000", "AB"}, {"20040301090000", "AU"}, {"20040301093000", "AW"}, {"20040301130000", "AE"}},
       {360.00, 330.00, 30.00, 0, 0}, 0, 0},
      {"open occupation ends at 15:30:30", "20040302140000", "20040302220000", "20040309120000", 1, 0,
       {{"20040302153030", "AE"}}, {90.30, 90.30, 0, 0, 0}, 0, 0},
      {"open spans cut at the evaluation time", "20040303140000", "20040303220000", "20040303180000", 1, 0,
       {{"20040303160000", "AU"}}, {240.00, 120.00, 120.00, 0, 0}, 1, 1},
      {"no messages: nothing, even while occupied", "20040304060000", "20040304140000", "20040309120000", 1, 0,
       {}, {0, 0, 0, 0, 0}, 1, 0},
      {"other codes only: nothing", "20040304060000", "20040304140000", "20040309120000", 1, 1,
       {{"20040304070000", "XX"}, {"20040304080000", "ab"}}, {0, 0, 0, 0, 0}, 1, 1},
      {"message at the window end belongs to the next window", "20040305060000", "20040305140000",
       "20040309120000", 0, 0, {{"20040305140000", "AB"}}, {0, 0, 0, 0, 0}, 0, 0},
      {"message at the window begin belongs to this window", "20040305140000", "20040305220000",
       "20040309120000", 0, 0, {{"20040305140000", "AB"}}, {480.00, 480.00, 0, 0, 0}, 1, 0},
      {"two interrupted, one resumption closes nothing", "20040306060000", "20040306140000",
       "20040309120000", 2, 2, {{"20040306080000", "AW"}}, {480.00, 480.00, 0, 0, 0}, 2, 1},
      {"two interruptions of one occupation, then AB closes one", "20040307060000", "20040307140000",
       "20040309120000", 1, 2, {{"20040307080000", "AB"}}, {480.00, -120.00, 600.00, 0, 0}, 2, 2},
      {"surplus end messages are absorbed", "20040308060000", "20040308140000", "20040309120000", 0, 0,
       {{"20040308070000", "AE"}, {"20040308080000", "AW"}}, {0, 0, 0, 0, 0}, 0, 0},
  };
  for (const auto& c : cases) {
    plant.Exec("DELETE FROM Kvn560Mel");
    for (const auto& m : c.msgs) plant.Message("4711", m.ts, m.code);
    SetEvalTime(c.evalTime);
    db::Kvn590Nza rec = Window(c.from, c.to);
    std::int32_t run = c.run0, intr = c.int0;
    pelvaro::AccountIntervals(&rec, run, intr);
    ExpectFigures(Of(rec), c.want, c.name);
    EXPECT_EQ(run, c.run1) << c.name;
    EXPECT_EQ(intr, c.int1) << c.name;
  }
}

TEST_P(AccountingTest, GapWindowTouchesOnlyTheFiveFigures) {
  plant.Message("4711", "20040301070000", "AB");
  db::Kvn590Nza rec = Window("20040301060000", "20040301140000");
  pelvaro::CopyText(rec.NzaEmo, "LMO00.00");
  rec.NzaSol = 17;
  db::Kvn590Nza before = rec;
  std::int32_t run = 0, intr = 0;
  pelvaro::AccountIntervals(&rec, run, intr);
  EXPECT_STREQ(rec.NzaEmo, before.NzaEmo);
  EXPECT_EQ(rec.NzaSol, 17);
  EXPECT_DOUBLE_EQ(rec.NzaBzA, 420.00);
  EXPECT_EQ(rec.NzaIst, 0.0);
}

// The shift walk: breaks split the figures; where it differs from the gap walk.
TEST_P(AccountingTest, ShiftWindowCases) {
  plant.Shift("M1", "Early", 360, 840);
  plant.Break("P1", "B1", 540, 570);
  struct Msg {
    const char* ts;
    const char* code;
  };
  struct Case {
    const char* name;
    const char* evalTime;
    int run0, int0;
    std::vector<Msg> msgs;
    Figures want;
    int run1, int1;
  } cases[] = {
      {"break inside the occupation", "20040309120000", 0, 0,
       {{"20040302070000", "AB"}, {"20040302130000", "AE"}}, {360.00, 330.00, 0, 30.00, 0}, 0, 0},
      {"interruption across the break begin", "20040309120000", 0, 0,
       {{"20040302070000", "AB"}, {"20040302091500", "AU"}, {"20040302094500", "AW"}, {"20040302130000", "AE"}},
       {360.00, 315.00, 15.00, 15.00, 15.00}, 0, 0},
      {"no messages: the open occupation counts up to the evaluation time", "20040302100000", 1, 0,
       {}, {240.00, 210.00, 0, 30.00, 0}, 1, 0},
      {"two interruptions of one occupation: AB closes nothing here", "20040309120000", 1, 2,
       {{"20040302080000", "AB"}}, {480.00, 0, 450.00, 0, 30.00}, 2, 2},
  };
  for (const auto& c : cases) {
    plant.Exec("DELETE FROM Kvn560Mel");
    for (const auto& m : c.msgs) plant.Message("4711", m.ts, m.code);
    SetEvalTime(c.evalTime);
    db::Kvn590Nza rec = Window("20040302060000", "20040302140000");
    std::int32_t run = c.run0, intr = c.int0;
    pelvaro::AccountShiftTime(&rec, DayShift(), run, intr);
    ExpectFigures(Of(rec), c.want, c.name);
    EXPECT_EQ(run, c.run1) << c.name;
    EXPECT_EQ(intr, c.int1) << c.name;
  }
}

TEST_P(AccountingTest, ShiftWindowAfterTheEvaluationTimeKeepsThePresetButMovesTheCounts) {
  plant.Message("4711", "20040302070000", "AB");
  SetEvalTime("20040302050000");
  db::Kvn590Nza rec = Window("20040302060000", "20040302140000");
  rec.NzaBzA = 7;
  std::int32_t run = 0, intr = 0;
  pelvaro::AccountShiftTime(&rec, DayShift(), run, intr);
  EXPECT_EQ(rec.NzaBzA, 7);
  EXPECT_EQ(rec.NzaNza, 0);
  EXPECT_EQ(run, 1);
}

TEST_P(AccountingTest, NightShiftBreaksArePlacedAcrossMidnight) {
  plant.Shift("N1", "Night", 1320, 360, 0, "PN");
  plant.Break("PN", "N1", 1425, 15);   // 23:45 to 00:15
  plant.Break("PN", "N2", 120, 150);   // 02:00 to 02:30
  db::Kvn533Emo night{};
  pelvaro::CopyText(night.EmoEmo, "N1");
  pelvaro::CopyText(night.EmoTtp, "WT");
  night.EmoBeg = 1320;
  night.EmoEnd = 360;
  db::Kvn590Nza rec = Window("20040302220000", "20040303060000");
  std::int32_t run = 1, intr = 0;
  pelvaro::AccountShiftTime(&rec, night, run, intr);
  ExpectFigures(Of(rec), {480.00, 420.00, 0, 60.00, 0}, "night shift");
}

struct BreakCase {
  const char* name;
  const char* from;
  const char* to;
  int want;
};

TEST_P(AccountingTest, BreakOverlapTable) {
  plant.Shift("M1", "Early", 360, 840);
  plant.Break("P1", "B1", 540, 570);  // 09:00 to 09:30
  const BreakCase cases[] = {
      {"span covers the break", "20040302070000", "20040302130000", 1800},
      {"span ends inside", "20040302070000", "20040302091000", 600},
      {"span begins inside", "20040302092000", "20040302130000", 600},
      {"span inside the break", "20040302090500", "20040302091500", 600},
      {"span before", "20040302070000", "20040302090000", 0},
      {"span after", "20040302093000", "20040302130000", 0},
      {"span on another day", "20040303070000", "20040303130000", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pelvaro::BreakSecondsBetween(DayShift(), c.from, c.to, "20040302"), c.want) << c.name;
}

// Mended: another shift's break over midnight belongs to the night, and a
// break model shared by several shifts counts each break once.
TEST_P(AccountingTest, BreaksOfOtherShiftsAreNotCountedInTheDay) {
  plant.Shift("M3", "Early", 360, 840, 0, "PE");
  plant.Shift("M3", "Late", 840, 1320, 0, "PL");
  plant.Shift("M3", "Night", 1320, 360, 0, "PN");
  plant.Break("PE", "E1", 540, 570);
  plant.Break("PL", "L1", 1080, 1110);
  plant.Break("PN", "N1", 1425, 15);
  db::Kvn533Emo early{}, night{};
  pelvaro::CopyText(early.EmoEmo, "M3");
  pelvaro::CopyText(early.EmoTtp, "WT");
  early.EmoBeg = 360;
  early.EmoEnd = 840;
  night = early;
  night.EmoBeg = 1320;
  night.EmoEnd = 360;
  // 07:00 to 13:00 holds the early break only: 30 minutes.
  EXPECT_EQ(pelvaro::BreakSecondsBetween(early, "20040302070000", "20040302130000", "20040302"), 1800);
  // The night shift counts its own break whole.
  EXPECT_EQ(pelvaro::BreakSecondsBetween(night, "20040302220000", "20040303060000", "20040302"), 1800);
}

TEST_P(AccountingTest, SharedBreakModelCountsEachBreakOnce) {
  plant.Shift("M4", "Early", 360, 840, 0, "PS");
  plant.Shift("M4", "Late", 840, 1320, 0, "PS");
  plant.Shift("M4", "Night", 1320, 360, 0, "PS");
  plant.Break("PS", "S1", 540, 570);
  db::Kvn533Emo early{};
  pelvaro::CopyText(early.EmoEmo, "M4");
  pelvaro::CopyText(early.EmoTtp, "WT");
  early.EmoBeg = 360;
  early.EmoEnd = 840;
  EXPECT_EQ(pelvaro::BreakSecondsBetween(early, "20040302070000", "20040302130000", "20040302"), 1800);
}

TEST_P(AccountingTest, UnplacedBreakOfANightShiftIsLeftOut) {
  plant.Shift("N1", "Night", 1320, 360, 0, "PN");
  plant.Break("PN", "D1", 720, 750);  // 12:00 to 12:30, outside the night shift
  db::Kvn533Emo night{};
  pelvaro::CopyText(night.EmoEmo, "N1");
  pelvaro::CopyText(night.EmoTtp, "WT");
  night.EmoBeg = 1320;
  night.EmoEnd = 360;
  EXPECT_EQ(pelvaro::BreakSecondsBetween(night, "20040302000000", "20040304000000", "20040302"), 0);
}

TEST_P(AccountingTest, NoBreakRowsGiveTheGapFiguresOnTheShift) {
  plant.Shift("M1", "Early", 360, 840);
  plant.Message("4711", "20040302070000", "AB");
  plant.Message("4711", "20040302090000", "AU");
  plant.Message("4711", "20040302093000", "AW");
  plant.Message("4711", "20040302130000", "AE");
  db::Kvn590Nza rec = Window("20040302060000", "20040302140000");
  std::int32_t run = 0, intr = 0;
  pelvaro::AccountShiftTime(&rec, DayShift(), run, intr);
  ExpectFigures(Of(rec), {360.00, 330.00, 30.00, 0, 0}, "no breaks");
}

}  // namespace
