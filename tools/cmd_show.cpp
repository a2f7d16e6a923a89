// pelvaro-admin show DB WORKPLACE FROM TO: the evaluation records of a
// workplace whose begin day lies from FROM to TO, as a table for operators
// checking a run. Durations are stored as minutes.seconds (62.05 is 62
// minutes 5 seconds) and shown as h:mm:ss; target and breaks are whole
// minutes, shown as h:mm.
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/Admin.h"
#include "util/DateTime.h"

namespace {

constexpr const char* kUsage = "usage: pelvaro-admin show DB WORKPLACE FROM TO   (FROM, TO: yyyymmdd)\n";
constexpr const char* kGapShiftModel = "LMO00.00";

// minutes.seconds as h:mm:ss, with a sign when negative.
std::string MinSecText(double value) {
  const bool negative = value < 0;
  const long long hundredths = std::llround(std::fabs(value) * 100);
  const long long seconds = hundredths / 100 * 60 + hundredths % 100;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%lld:%02lld:%02lld", negative && seconds > 0 ? "-" : "",
                seconds / 3600, seconds / 60 % 60, seconds % 60);
  return buf;
}

// Whole minutes as h:mm.
std::string MinutesText(double value) {
  const long long minutes = std::llround(std::fabs(value));
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%lld:%02lld", value < 0 && minutes > 0 ? "-" : "",
                minutes / 60, minutes % 60);
  return buf;
}

std::string IsoDay(const std::string& day) {
  return day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2);
}

std::string Column(sqlite3_stmt* st, int c) {
  const unsigned char* t = sqlite3_column_text(st, c);
  return t != nullptr ? reinterpret_cast<const char*>(t) : "";
}

struct Closer {
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  ~Closer() {
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
  }
};

int Fail(const std::string& what) {
  std::fprintf(stderr, "pelvaro-admin show: %s\n", what.c_str());
  return 1;
}

int RunShow(const std::vector<std::string>& args) {
  if (args.size() != 4) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string& path = args[0];
  const std::string& workplace = args[1];
  const std::string& from = args[2];
  const std::string& to = args[3];
  if (workplace.empty() || workplace.size() > 10) return Fail("WORKPLACE must have 1 to 10 characters");
  if (!pelvaro::IsCalendarDate(from.c_str()) || !pelvaro::IsCalendarDate(to.c_str()))
    return Fail("FROM and TO must be dates yyyymmdd");

  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return Fail("no database file " + path);
  Closer c;
  if (sqlite3_open_v2(path.c_str(), &c.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    return Fail("cannot open " + path + ": " + sqlite3_errmsg(c.db));
  sqlite3_busy_timeout(c.db, 10000);
  const char* sql =
      "SELECT NzaDtm, NzaEdt, NzaEmo, NzaErf, NzaPnr, NzaBzA, NzaNza, NzaUza, NzaPza, NzaPzu, "
      "NzaSol, NzaPau FROM Kvn590Nza WHERE NzaSa=12 AND NzaApl=?1 AND NzaDtm>=?2 "
      "AND NzaDtm<date(?3,'+1 day') ORDER BY NzaDtm, NzaEdt";
  if (sqlite3_prepare_v2(c.db, sql, -1, &c.st, nullptr) != SQLITE_OK)
    return Fail("cannot read the evaluation records of " + path + ": " + sqlite3_errmsg(c.db));
  const std::string fromIso = IsoDay(from), toIso = IsoDay(to);
  sqlite3_bind_text(c.st, 1, workplace.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(c.st, 2, fromIso.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(c.st, 3, toIso.c_str(), -1, SQLITE_TRANSIENT);

  const std::vector<std::string> header = {"begin",   "end",         "kind",  "model",
                                           "shift",   "occupied",    "working",
                                           "interrupted", "break",   "int.break",
                                           "target",  "breaks"};
  const std::size_t kFirstNumber = 5;  // columns from here on are right-aligned
  std::vector<std::vector<std::string>> rows;
  int rc;
  while ((rc = sqlite3_step(c.st)) == SQLITE_ROW) {
    const std::string emo = Column(c.st, 2);
    const char* kind = emo != kGapShiftModel ? "shift" : Column(c.st, 3).empty() ? "closing" : "gap";
    rows.push_back({Column(c.st, 0), Column(c.st, 1), kind, emo, Column(c.st, 4),
                    MinSecText(sqlite3_column_double(c.st, 5)),
                    MinSecText(sqlite3_column_double(c.st, 6)),
                    MinSecText(sqlite3_column_double(c.st, 7)),
                    MinSecText(sqlite3_column_double(c.st, 8)),
                    MinSecText(sqlite3_column_double(c.st, 9)),
                    MinutesText(sqlite3_column_double(c.st, 10)),
                    MinutesText(sqlite3_column_double(c.st, 11))});
  }
  if (rc != SQLITE_DONE) return Fail(std::string("reading failed: ") + sqlite3_errmsg(c.db));

  std::printf("workplace %s, %s to %s: %zu evaluation record%s\n", workplace.c_str(),
              fromIso.c_str(), toIso.c_str(), rows.size(), rows.size() == 1 ? "" : "s");
  if (rows.empty()) return 0;

  std::vector<std::size_t> width(header.size());
  for (std::size_t i = 0; i < header.size(); ++i) width[i] = header[i].size();
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  auto print = [&](const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string pad(width[i] - row[i].size(), ' ');
      if (i) line += "  ";
      line += i >= kFirstNumber ? pad + row[i] : row[i] + pad;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  };
  print(header);
  for (const auto& row : rows) print(row);
  return 0;
}

}  // namespace

ADMIN_COMMAND(show, "show", "DB WORKPLACE FROM TO",
              "prints the evaluation records of a workplace whose begin day lies from FROM to TO "
              "(yyyymmdd), durations as h:mm:ss",
              RunShow);
