#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "util/DateTime.h"

namespace pelvaro {
namespace {

TEST(MinToTimeTest, FormatsMinutesAndNeverWritesPastSevenBytes) {
  struct Case {
    int minutes;
    const char* text;
  };
  const Case cases[] = {
      {0, "000000"},       {450, "073000"},      {1439, "235900"},
      {1440, "235959"},    {1500, "250000"},     {-30, "00-300"},
      {INT_MAX, "357913"}, {INT_MIN, "-35791"},  {600000, "100000"},
  };
  for (const Case& c : cases) {
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    MinToTime(c.minutes, buf);
    EXPECT_STREQ(buf, c.text) << c.minutes;
    for (std::size_t i = 7; i < sizeof buf; ++i) EXPECT_EQ(buf[i], 'Z') << c.minutes;
  }
}

struct DiffCase {
  const char* a;
  const char* b;
  int seconds;
};

TEST(TimeDiffSecTest, CalendarExamples) {
  const DiffCase cases[] = {
      {"20040229120000", "20040228120000", 86400},
      {"20040301000000", "20040228000000", 172800},
      {"20000301000000", "20000228000000", 172800},
      {"19000301000000", "19000228000000", 86400},
      {"20040102000000", "20040101235959", 1},
      {"20040101240000", "20040102000000", 0},   // hour 24 rolls over
      {"00040101000000", "20040101000000", 0},   // two-digit year
      {"00750101000000", "19750101000000", 0},
      {"00691231000000", "20691231000000", 0},
      {"19700102000000", "19691231000000", 172800},  // signed across 1970
      {"19700101000000", "19691231235959", 1},
      {"20040101000000", "20040101000000", 0},
      {"20050101000000", "20040101000000", 366 * 86400},
      {"21000301000000", "21000228000000", 86400},
  };
  for (const DiffCase& c : cases) {
    EXPECT_EQ(TimeDiffSec(c.a, c.b), c.seconds) << c.a << " - " << c.b;
    EXPECT_EQ(TimeDiffSec(c.b, c.a), -c.seconds) << c.b << " - " << c.a;
  }
}

bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int MonthLength(int m, int y) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : kDays[m - 1];
}

// Every day from 1 January 100 to 31 December 9999 starts exactly one day
// after the day before it.
TEST(TimeDiffSecTest, ConsecutiveDaysAreOneDayApartInEveryYear) {
  char prev[40] = {};
  bool havePrev = false;
  for (int y = 100; y <= 9999; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= MonthLength(m, y); ++d) {
        char cur[40];
        std::snprintf(cur, sizeof cur, "%04d%02d%02d000000", y, m, d);
        if (havePrev) {
          ASSERT_EQ(TimeDiffSec(cur, prev), 86400) << cur;
        }
        std::memcpy(prev, cur, sizeof cur);
        havePrev = true;
      }
    }
  }
}

TEST(DateSecondsTest, SignedFromTheEpochAndExactFromYearOne) {
  EXPECT_EQ(DateSeconds(1, 1, 1970), 0);
  EXPECT_EQ(DateSeconds(31, 12, 1969), -86400);
  EXPECT_EQ(DateSeconds(2, 1, 1970), 86400);
  EXPECT_EQ(DateSeconds(1, 1, 2004), 1072915200);  // a known Unix time
  EXPECT_EQ(DateSeconds(1, 1, 1900), -2208988800LL);
  EXPECT_EQ(DaysBetween(1, 1, 1, 1, 1, 1970), 719162);  // days from 0001-01-01
  EXPECT_EQ(DaysBetween(1, 1, 1970, 1, 1, 1), 719162);
  for (int y = 1; y < 10000; ++y) {
    ASSERT_EQ(DaysBetween(1, 1, y, 1, 1, y + 1), Leap(y) ? 366 : 365) << y;
  }
}

TEST(TimeDiffSecTest, DifferencesBeyond32BitsAreHeld) {
  EXPECT_EQ(TimeDiffSec("99991231235959", "01000101000000"), INT32_MAX);
  EXPECT_EQ(TimeDiffSec("01000101000000", "99991231235959"), INT32_MIN);
  EXPECT_EQ(TimeDiffSec("20380119031407", "19700101000000"), INT32_MAX);  // 2^31 - 1
  EXPECT_EQ(TimeDiffSec("20380119031408", "19700101000000"), INT32_MAX);
}

TEST(SplitTimestampTest, FieldsReadLikeStrtolWithinTheText) {
  struct Case {
    const char* text;
    TimestampFields f;  // day, month, year, hour, minute, second
  };
  const Case cases[] = {
      {"20040315123456", {15, 3, 2004, 12, 34, 56}},
      {nullptr, {0, 0, 0, 0, 0, 0}},
      {"", {0, 0, 0, 0, 0, 0}},
      {"2004", {0, 0, 2004, 0, 0, 0}},
      {"2004031", {1, 3, 2004, 0, 0, 0}},      // a one-character day field
      {"2004 3 1", {1, 3, 2004, 0, 0, 0}},     // leading blanks
      {"2004-1+2", {2, -1, 2004, 0, 0, 0}},    // signs
      {"20x40315", {15, 3, 20, 0, 0, 0}},      // stops at the first non-digit
      {"abcdefghijklmn", {0, 0, 0, 0, 0, 0}},
      {"200403151234567890", {15, 3, 2004, 12, 34, 56}},  // past 14: ignored
  };
  for (const Case& c : cases) {
    TimestampFields f = SplitTimestamp(c.text);
    const char* what = c.text != nullptr ? c.text : "(null)";
    EXPECT_EQ(f.day, c.f.day) << what;
    EXPECT_EQ(f.month, c.f.month) << what;
    EXPECT_EQ(f.year, c.f.year) << what;
    EXPECT_EQ(f.hour, c.f.hour) << what;
    EXPECT_EQ(f.minute, c.f.minute) << what;
    EXPECT_EQ(f.second, c.f.second) << what;
  }

  // Fourteen characters without a NUL are read without running past them.
  char raw[14];
  std::memcpy(raw, "20040315123456", 14);
  EXPECT_EQ(SplitTimestamp(raw).second, 56);
}

TEST(TimeDiffSecTest, GarbageMonthsHaveADefinedResult) {
  const DiffCase cases[] = {
      {"20040001000000", "20040101000000", 0},  // month 0 counts as January
      {"2004-501000000", "20040101000000", 0},  // so does a negative month
      {"20041301000000", "20050101000000", 0},  // month 13: past the year's end
      {"20049901000000", "20041301000000", 86 * 31 * 86400},
      {"2004", "20040100000000", 0},            // missing fields read as 0
      {nullptr, "20000000000000", 0},           // null: year 0, i.e. 2000
  };
  for (const DiffCase& c : cases) {
    EXPECT_EQ(TimeDiffSec(c.a, c.b), c.seconds) << (c.a != nullptr ? c.a : "(null)");
  }
  EXPECT_EQ(DayOfYear(5, INT_MIN, 2004), 5);
  EXPECT_EQ(DayOfYear(1, 14, 2003), 365 + 31 + 1);
}

TEST(DaysInMonthTest, LeapRulesAndOutOfRangeMonths) {
  EXPECT_EQ(DaysInMonth(2, 1900), 28);
  EXPECT_EQ(DaysInMonth(2, 2000), 29);
  EXPECT_EQ(DaysInMonth(2, 2004), 29);
  EXPECT_EQ(DaysInMonth(2, 2003), 28);
  EXPECT_EQ(DaysInMonth(11, 2003), 30);
  EXPECT_EQ(DaysInMonth(12, 2003), 31);
  EXPECT_EQ(DaysInMonth(13, 2003), 31);
  EXPECT_EQ(DaysInMonth(0, 2003), 31);
}

TEST(IsCalendarDateTest, EightDigitsNamingARealDay) {
  const char* valid[] = {"20040229", "20000229", "00010101", "99991231", "20041231"};
  const char* invalid[] = {"19000229", "20040230", "2004031",  "2004-03-", "00000000",
                           "20041301", "20040001", "20040100", "200403151", "",
                           " 2004031", "20040431", nullptr};
  for (const char* t : valid) EXPECT_TRUE(IsCalendarDate(t)) << t;
  for (const char* t : invalid) EXPECT_FALSE(IsCalendarDate(t)) << (t != nullptr ? t : "(null)");
}

}  // namespace
}  // namespace pelvaro
