// Date and time helpers: minutes of the day to time texts, differences of
// timestamps in seconds, and the day arithmetic beneath them.
//
// Timestamps are texts yyyymmddHHMMSS. Every field is read from its fixed
// positions the way strtol reads a number (leading white space, a sign,
// digits; no digits reads as 0), and never past the end of the text: a shorter
// text, or a null pointer, leaves the missing fields 0.
#pragma once

#include <cstdint>

namespace pelvaro {

// Writes the minute of the day as a time text "HHMM00" into out (at least 7
// bytes); 1440 gives "235959". Values past 1440 are not clamped (1500 gives
// "250000"); a value whose text would be longer than six characters (negative
// or very large minutes) is cut to its first six.
void MinToTime(int minutes, char* out);

// Moves a date through the works calendar (kind 2: n days, into out) or counts
// its days up to the date in out (kind 1). Defined with the works calendar.
int DateCalc(int kind, int n, const char* date, char* out);

// Seconds from timestamp b to timestamp a, positive when a is the later one.
// A difference beyond the 32-bit range is held at INT32_MIN or INT32_MAX.
int TimeDiffSec(const char* a, const char* b);

// True when text is exactly eight digits naming a real day of the Gregorian
// calendar from the year 1 on.
bool IsCalendarDate(const char* text);

// --- Inner helpers of TimeDiffSec ---

struct TimestampFields {
  int day = 0;
  int month = 0;
  int year = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Year from positions 0-3, month 4-5, day 6-7, hour 8-9, minute 10-11,
// second 12-13.
TimestampFields SplitTimestamp(const char* text);

// hour * 3600 + minute * 60 + second; fields are not limited to their ranges.
std::int64_t SecondsOfDay(int hour, int minute, int second);

// Seconds from 1 January 1970 to the start of the day, negative before it.
// Years below 100 are two-digit years: 0-69 mean 2000-2069, 70-99 1970-1999.
std::int64_t DateSeconds(int day, int month, int year);

// Absolute number of days between two dates (proleptic Gregorian calendar).
std::int64_t DaysBetween(int d1, int m1, int y1, int d2, int m2, int y2);

// Number of the day within its year. A month of 0 or below counts as month 1
// (no months before it are added); months above 12 add 31 days each past the
// year's twelve.
std::int64_t DayOfYear(int day, int month, int year);

// Length of the month; 31 for every number that is not 2, 4, 6, 9 or 11.
int DaysInMonth(int month, int year);

}  // namespace pelvaro
