// Day arithmetic through the works calendar.
#include <cstring>
#include <string_view>

#include "db/Dbstd.h"
#include "util/DateTime.h"
#include "util/Text.h"

namespace pelvaro {
namespace {

constexpr std::size_t kDateBuf = 9;

std::string_view DateText(const char* s) {
  return s ? std::string_view(s, strnlen(s, kDateBuf)) : std::string_view();
}

}  // namespace

int DateCalc(int kind, int n, const char* date, char* out) {
  db::Kvn133Bak bak;
  std::memset(&bak, 0, sizeof bak);
  if (kind == 2) {
    CopyText(bak.BakDtm, DateText(date));
    bak.BakDays = n;
    const int status = db::Bak_DayAdd(&bak);
    // BakDtm is the found day, or still the start date when the read failed;
    // out may be the date's own buffer.
    if (out) CopyText(out, kDateBuf, TextOf(bak.BakDtm));
    return status;
  }
  if (kind == 1) {
    CopyText(bak.BakDtm, DateText(date));
    CopyText(bak.BakDtm2, DateText(out));
    bak.BakDays = 0;
    return db::Bak_DayCount(&bak) == 0 ? bak.BakDays : 0;
  }
  return 0;
}

}  // namespace pelvaro
