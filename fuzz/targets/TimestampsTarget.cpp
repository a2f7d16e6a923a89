// Fuzz target: the timestamp helpers. The input holds up to four lines:
// timestamps a, b and c (any bytes, any length) and a minute value as a
// decimal text.
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/targets/FuzzSupport.h"
#include "fuzz/targets/FuzzTargets.h"
#include "util/DateTime.h"

namespace pelvaro::fuzz {

namespace {

constexpr std::size_t kTimestampLength = 14;

bool IsSaturated(int seconds) { return seconds == INT32_MIN || seconds == INT32_MAX; }

int Held(std::int64_t seconds) {
  if (seconds > INT32_MAX) return INT32_MAX;
  if (seconds < INT32_MIN) return INT32_MIN;
  return static_cast<int>(seconds);
}

int Digits(std::string_view text, std::size_t pos, std::size_t width) {
  int v = 0;
  for (std::size_t i = pos; i < pos + width; ++i) v = v * 10 + (text[i] - '0');
  return v;
}

// Seconds since 1970 of a timestamp whose first 14 characters are digits that
// name a real day (any time fields), counted by the standard library's
// calendar; nothing for any other text.
std::optional<std::int64_t> ReferenceSeconds(std::string_view text) {
  if (text.size() < kTimestampLength) return std::nullopt;
  text = text.substr(0, kTimestampLength);
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int year = Digits(text, 0, 4);
  if (year < 100) year += year >= 70 ? 1900 : 2000;
  const std::chrono::year_month_day date{
      std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(Digits(text, 4, 2))},
      std::chrono::day{static_cast<unsigned>(Digits(text, 6, 2))}};
  if (!date.ok()) return std::nullopt;
  const std::int64_t days = std::chrono::sys_days{date}.time_since_epoch().count();
  return days * 86400 + Digits(text, 8, 2) * 3600 + Digits(text, 10, 2) * 60 +
         Digits(text, 12, 2);
}

// Every field is read from at most its own characters: four for the year,
// two for the others, as a sign and digits.
void CheckFields(const char* text) {
  const TimestampFields f = SplitTimestamp(text);
  FUZZ_CHECK(f.year >= -999 && f.year <= 9999);
  const int twoDigit[] = {f.month, f.day, f.hour, f.minute, f.second};
  for (int v : twoDigit) FUZZ_CHECK(v >= -9 && v <= 99);
}

void CheckMinToTime(int minutes) {
  GuardedBuffer out(7);
  MinToTime(minutes, out.data());
  FUZZ_CHECK(out.GuardIntact());
  FUZZ_CHECK(out.Terminated());
  const std::string_view text = out.Text();
  FUZZ_CHECK(text.size() <= 6);
  if (minutes == 1440) {
    FUZZ_CHECK(text == "235959");
  } else if (minutes >= 0 && minutes < 100 * 60) {
    // Two-digit hours: the text is HHMM00 and reads back as the minute.
    FUZZ_CHECK(text.size() == 6);
    for (char c : text) FUZZ_CHECK(c >= '0' && c <= '9');
    FUZZ_CHECK(Digits(text, 0, 2) * 60 + Digits(text, 2, 2) == minutes);
    FUZZ_CHECK(text.substr(4) == "00");
  }
}

int MinuteOf(std::string_view text) {
  const HeapText copy(text);
  const long v = std::strtol(copy.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

int FuzzTimestamps(const std::uint8_t* data, std::size_t size) {
  const auto lines = SplitParts(AsText(data, size), '\n', 4);
  auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string_view(); };
  const HeapText a(line(0));
  const HeapText b(line(1));
  const HeapText c(line(2));

  for (const HeapText* t : {&a, &b, &c}) {
    CheckFields(t->c_str());
    FUZZ_CHECK(TimeDiffSec(t->c_str(), t->c_str()) == 0);
    // Characters after the fourteenth are not read.
    const HeapText head(t->view().substr(0, kTimestampLength));
    FUZZ_CHECK(TimeDiffSec(t->c_str(), head.c_str()) == 0);
  }

  const int ab = TimeDiffSec(a.c_str(), b.c_str());
  const int ba = TimeDiffSec(b.c_str(), a.c_str());
  const int bc = TimeDiffSec(b.c_str(), c.c_str());
  const int ac = TimeDiffSec(a.c_str(), c.c_str());
  if (!IsSaturated(ab) && !IsSaturated(ba)) {
    FUZZ_CHECK(ab == -ba);
  } else {
    FUZZ_CHECK((ab > 0 && ba < 0) || (ab < 0 && ba > 0));
  }
  if (!IsSaturated(ab) && !IsSaturated(bc) && !IsSaturated(ac)) {
    FUZZ_CHECK(std::int64_t{ac} == std::int64_t{ab} + bc);
  }

  const auto ra = ReferenceSeconds(a.view());
  const auto rb = ReferenceSeconds(b.view());
  if (ra && rb) FUZZ_CHECK(ab == Held(*ra - *rb));

  CheckMinToTime(MinuteOf(line(3)));
  return 0;
}

}  // namespace pelvaro::fuzz
