// Day arithmetic through the works calendar on a real SQLite file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "db/Runtime.h"
#include "tests/DbFixture.h"
#include "util/DateTime.h"

namespace {

using pelvaro::DateCalc;

class DateCalcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 2004-12-27 and 2004-12-28 are missing.
    db.Exec(
        "insert into Kvn133Bak (BakDtm) values ('2004-12-25'),('2004-12-26 00:00:00'),"
        "('2004-12-29'),('2004-12-30 00:00:00'),('2004-12-31')");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }
  testdb::SqliteFile db;
};

TEST_F(DateCalcTest, AddDaysGivesTheFoundDayOrKeepsTheDate) {
  struct Case {
    const char* date;
    int n;
    bool nextYear;  // the calendar holds 2005-01-01
    int status;
    const char* out;
  } cases[] = {
      {"20041231", 1, true, rt::kOk, "20050101"},
      {"20041231", 1, false, rt::kNoData, "20041231"},
      {"20041231", -1, false, rt::kOk, "20041230"},
      {"20041226", 3, false, rt::kOk, "20041229"},  // calendar days, not calendar rows
      {"20041226", 1, false, rt::kNoData, "20041226"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.date) + " " + std::to_string(c.n) + (c.nextYear ? " +2005" : ""));
    db.Exec("delete from Kvn133Bak where BakDtm like '2005%'");
    if (c.nextYear) db.Exec("insert into Kvn133Bak (BakDtm) values ('2005-01-01 00:00:00')");

    char inPlace[9];
    std::snprintf(inPlace, sizeof inPlace, "%s", c.date);
    EXPECT_EQ(DateCalc(2, c.n, inPlace, inPlace), c.status);
    EXPECT_STREQ(inPlace, c.out);

    char out[9] = "XXXXXXXX";
    EXPECT_EQ(DateCalc(2, c.n, c.date, out), c.status);
    EXPECT_STREQ(out, c.out);
  }
}

TEST_F(DateCalcTest, AddDaysKeepsTheDateOnADatabaseError) {
  rt::InjectFault("Bak_DayAdd", -3113);
  char out[9] = "XXXXXXXX";
  EXPECT_EQ(DateCalc(2, -1, "20041231", out), -3113);
  EXPECT_STREQ(out, "20041231");
}

TEST_F(DateCalcTest, AddDaysWritesNoMoreThanNineBytes) {
  struct {
    char out[9];
    char guard[8];
  } buf;
  std::memset(&buf, '#', sizeof buf);
  EXPECT_EQ(DateCalc(2, -1, "20041231235959", buf.out), rt::kOk);
  EXPECT_STREQ(buf.out, "20041230");
  EXPECT_EQ(std::string(buf.guard, sizeof buf.guard), std::string(sizeof buf.guard, '#'));
}

TEST_F(DateCalcTest, CountGivesTheCalendarRowsAfterTheDateUpToTheEnd) {
  struct Case {
    const char* from;
    const char* to;
    int count;
  } cases[] = {
      {"20041224", "20041231", 5},
      {"20041225", "20041229", 2},
      {"20041231", "20041231", 0},
      {"20041231", "20041224", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + ".." + c.to);
    char to[9];
    std::snprintf(to, sizeof to, "%s", c.to);
    EXPECT_EQ(DateCalc(1, 99, c.from, to), c.count);
    EXPECT_STREQ(to, c.to);
  }
  char to[9] = "20041231";
  rt::InjectFault("Bak_DayCount", -3113);
  EXPECT_EQ(DateCalc(1, 0, "20041224", to), 0);
}

TEST_F(DateCalcTest, OtherKindsReturnZeroAndTouchNothing) {
  for (int kind : {0, 3, -2}) {
    SCOPED_TRACE(kind);
    char out[9] = "XXXXXXXX";
    const long statements = rt::StatementCount();
    EXPECT_EQ(DateCalc(kind, 1, "20041231", out), 0);
    EXPECT_STREQ(out, "XXXXXXXX");
    EXPECT_EQ(rt::StatementCount(), statements);
  }
}

}  // namespace
