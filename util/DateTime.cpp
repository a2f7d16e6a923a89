#include "util/DateTime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/Text.h"

namespace pelvaro {

namespace {

constexpr std::size_t kTimestampLength = 14;

// The field at [pos, pos + width) of a text of length len, read like strtol.
// Positions at or past the end are absent.
int ReadField(const char* text, std::size_t len, std::size_t pos, std::size_t width) {
  char buf[8] = {};
  if (pos < len) {
    std::size_t n = len - pos < width ? len - pos : width;
    std::memcpy(buf, text + pos, n);
  }
  return static_cast<int>(std::strtol(buf, nullptr, 10));  // at most 4 characters
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Proleptic Gregorian day count, shifted by a constant.
std::int64_t DayNumber(int day, int month, int year) {
  std::int64_t y = year;
  return DayOfYear(day, month, year) + 365 * y + FloorDiv(y - 1, 4) - FloorDiv(y - 1, 100) +
         FloorDiv(y - 1, 400);
}

bool IsLeapYear(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t Seconds(const char* timestamp) {
  TimestampFields f = SplitTimestamp(timestamp);
  return DateSeconds(f.day, f.month, f.year) + SecondsOfDay(f.hour, f.minute, f.second);
}

}  // namespace

void MinToTime(int minutes, char* out) {
  if (out == nullptr) return;
  int hours = minutes / 60;
  int mins = minutes % 60;
  char text[32];
  std::snprintf(text, sizeof text, "%02d%02d00", hours, mins);
  CopyText(out, 7, text);
  if (std::strcmp(out, "240000") == 0) CopyText(out, 7, "235959");
}

int TimeDiffSec(const char* a, const char* b) {
  std::int64_t diff = Seconds(a) - Seconds(b);
  if (diff > INT32_MAX) return INT32_MAX;
  if (diff < INT32_MIN) return INT32_MIN;
  return static_cast<int>(diff);
}

bool IsCalendarDate(const char* text) {
  if (text == nullptr || strnlen(text, 9) != 8) return false;
  for (int i = 0; i < 8; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  int year = (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
  int month = (text[4] - '0') * 10 + (text[5] - '0');
  int day = (text[6] - '0') * 10 + (text[7] - '0');
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(month, year);
}

TimestampFields SplitTimestamp(const char* text) {
  TimestampFields f;
  if (text == nullptr) return f;
  std::size_t len = strnlen(text, kTimestampLength);
  f.year = ReadField(text, len, 0, 4);
  f.month = ReadField(text, len, 4, 2);
  f.day = ReadField(text, len, 6, 2);
  f.hour = ReadField(text, len, 8, 2);
  f.minute = ReadField(text, len, 10, 2);
  f.second = ReadField(text, len, 12, 2);
  return f;
}

std::int64_t SecondsOfDay(int hour, int minute, int second) {
  return std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
}

std::int64_t DateSeconds(int day, int month, int year) {
  if (year < 100) year += year >= 70 ? 1900 : 2000;
  // Signed: a day before 1 January 1970 lies that many days before it.
  return (DayNumber(day, month, year) - DayNumber(1, 1, 1970)) * 86400;
}

std::int64_t DaysBetween(int d1, int m1, int y1, int d2, int m2, int y2) {
  std::int64_t diff = DayNumber(d1, m1, y1) - DayNumber(d2, m2, y2);
  return diff < 0 ? -diff : diff;
}

std::int64_t DayOfYear(int day, int month, int year) {
  std::int64_t days = day;
  // Whole months of the year before this one.
  int full = month <= 1 ? 0 : (month > 13 ? 12 : month - 1);
  for (int k = 1; k <= full; ++k) days += DaysInMonth(k, year);
  if (month > 13) days += std::int64_t{31} * (month - 13);
  return days;
}

int DaysInMonth(int month, int year) {
  switch (month) {
    case 2:
      return IsLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    default:
      return 31;
  }
}

}  // namespace pelvaro
