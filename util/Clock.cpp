#include "util/Clock.h"

#include <cstring>

namespace pelvaro {
namespace {

// Writes the last `width` decimal digits of a non-negative value.
char* Digits(char* p, int value, int width) {
  unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return p + width;
}

}  // namespace

void TimestampText(const LocalTime& t, char (&out)[15]) {
  char* p = Digits(out, t.year, 4);
  p = Digits(p, t.month, 2);
  p = Digits(p, t.day, 2);
  p = Digits(p, t.hour, 2);
  p = Digits(p, t.minute, 2);
  p = Digits(p, t.second, 2);
  *p = '\0';
}

void DateText(const LocalTime& t, char (&out)[9]) {
  char ts[15];
  TimestampText(t, ts);
  std::memcpy(out, ts, 8);
  out[8] = '\0';
}

}  // namespace pelvaro
