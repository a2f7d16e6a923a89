// pelvaro-floor: the least work any evaluation of a span can do, measured on
// the same machine and database as the evaluation it is compared with.
//
//   pelvaro-floor DB FIRST LAST ROWS [WORKPLACE]
//
// It reads every booking message of the workplaces (all of them, or the one
// named) from FIRST 00:00 to the end of LAST (days yyyymmdd) once, in time
// order, through an index range per workplace, and inserts ROWS rows of the
// evaluation-record shape in one transaction. DB is a SQLite file, opened as
// the batch program opens it (WAL, synchronous=NORMAL), or pg:CONNINFO (the
// login from libpq's environment). The rows carry record kind 99, so they
// never meet the kind-12 records already in the database. Prints what it did;
// exit status 1 on any failure.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---- The rows written: every column of Kvn590Nza, in table order ----

enum class Kind { kInt, kReal, kText, kStamp };

struct Column {
  const char* name;
  Kind kind;
};

constexpr Column kNzaColumns[] = {
    {"NzaSa", Kind::kInt},    {"NzaApl", Kind::kText},  {"NzaApk", Kind::kText},
    {"NzaApp", Kind::kText},  {"NzaPnr", Kind::kText},  {"NzaDtm", Kind::kStamp},
    {"NzaBeg", Kind::kInt},   {"NzaBbn", Kind::kInt},   {"NzaBln", Kind::kInt},
    {"NzaBmk", Kind::kText},  {"NzaEdt", Kind::kStamp}, {"NzaEnd", Kind::kInt},
    {"NzaEbn", Kind::kInt},   {"NzaEln", Kind::kInt},   {"NzaEmk", Kind::kText},
    {"NzaUbg", Kind::kText},  {"NzaRau", Kind::kInt},   {"NzaVar", Kind::kInt},
    {"Nza00A", Kind::kInt},   {"Nza00U", Kind::kInt},   {"Nza00S", Kind::kInt},
    {"NzaEmo", Kind::kText},  {"NzaWtg", Kind::kInt},   {"NzaJtg", Kind::kInt},
    {"NzaTtp", Kind::kText},  {"NzaJwo", Kind::kText},  {"NzaWoc", Kind::kInt},
    {"NzaPzm", Kind::kInt},   {"NzaMaz", Kind::kInt},   {"NzaNzr", Kind::kReal},
    {"NzaBzr", Kind::kReal},  {"NzaUzr", Kind::kReal},  {"NzaPzr", Kind::kReal},
    {"NzaRbz", Kind::kReal},  {"NzaNza", Kind::kReal},  {"NzaBzA", Kind::kReal},
    {"NzaUza", Kind::kReal},  {"NzaPza", Kind::kReal},  {"NzaAbz", Kind::kReal},
    {"NzaNzu", Kind::kReal},  {"NzaBzu", Kind::kReal},  {"NzaPzu", Kind::kReal},
    {"NzaUbz", Kind::kReal},  {"NzaSol", Kind::kReal},  {"NzaIst", Kind::kReal},
    {"NzaPau", Kind::kReal},  {"NzaRf1", Kind::kReal},  {"NzaRf2", Kind::kReal},
    {"NzaRf3", Kind::kReal},  {"NzaFnr", Kind::kInt},   {"NzaDat", Kind::kStamp},
    {"NzaErf", Kind::kText},  {"NzaGum", Kind::kReal},  {"NzaAum", Kind::kReal},
    {"NzaTnr", Kind::kText},
};
constexpr std::size_t kNzaWidth = std::size(kNzaColumns);
static_assert(kNzaWidth == 55, "every column of the evaluation records");

constexpr int kFloorKind = 99;

// Days as numbers since 1970-01-01, to spread the rows over the span.
std::int64_t DayNumber(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const auto doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// 'YYYY-MM-DD' of a day number.
std::string IsoDay(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  return text;
}

bool ParseDay(const std::string& s, std::int64_t* day) {
  if (s.size() != 8 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  const int y = std::stoi(s.substr(0, 4)), m = std::stoi(s.substr(4, 2)),
            d = std::stoi(s.substr(6, 2));
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  *day = DayNumber(y, m, d);
  return IsoDay(*day) == s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
}

// The values of row i: the rows go round the workplaces and the day's
// windows, as the evaluation's records do.
struct RowMaker {
  const std::vector<std::string>& workplaces;
  std::int64_t firstDay = 0;
  std::int64_t days = 1;

  // One value per column as text, the form both databases take.
  void Fill(long i, std::vector<std::string>* values) const {
    const std::size_t w = static_cast<std::size_t>(i) % workplaces.size();
    const long perWorkplace = i / static_cast<long>(workplaces.size());
    const std::int64_t day = firstDay + (perWorkplace / 4) % days;
    const int window = static_cast<int>(perWorkplace % 4);
    static const char* const kBegin[] = {"06:00:00", "14:00:00", "22:00:00", "23:59:59"};
    static const char* const kEnd[] = {"14:00:00", "22:00:00", "06:00:00", "23:59:59"};
    char pnr[24];
    std::snprintf(pnr, sizeof pnr, "F%09ld", i);
    values->resize(kNzaWidth);
    for (std::size_t c = 0; c < kNzaWidth; ++c) {
      const std::string_view name = kNzaColumns[c].name;
      std::string& v = (*values)[c];
      switch (kNzaColumns[c].kind) {
        case Kind::kInt:
          v = name == "NzaSa" ? std::to_string(kFloorKind) : std::to_string((i + c) % 60);
          break;
        case Kind::kReal:
          v = std::to_string(static_cast<double>((i * 37 + static_cast<long>(c)) % 48000) / 100.0);
          break;
        case Kind::kText:
          if (name == "NzaApl") v = workplaces[w];
          else if (name == "NzaPnr") v = pnr;
          else if (name == "NzaEmo") v = "3S";
          else if (name == "NzaErf") v = "PELVAR";
          else if (name == "NzaBmk") v = "SB";
          else if (name == "NzaEmk") v = "SE";
          else if (name == "NzaTtp") v = "WT";
          else v = " ";
          break;
        case Kind::kStamp:
          if (name == "NzaDtm") v = IsoDay(day) + " " + kBegin[window];
          else if (name == "NzaEdt") v = IsoDay(window == 2 ? day + 1 : day) + " " + kEnd[window];
          else v = "2000-01-01 00:00:00";
          break;
      }
    }
  }
};

std::string InsertText(bool numbered) {
  std::string cols, marks;
  for (std::size_t c = 0; c < kNzaWidth; ++c) {
    cols += c ? "," : "";
    cols += kNzaColumns[c].name;
    marks += c ? "," : "";
    marks += numbered ? "$" + std::to_string(c + 1) : "?";
  }
  return "insert into Kvn590Nza (" + cols + ") values (" + marks + ")";
}

// What was read: the messages and a fold of their times and codes, so that
// every value read is used.
struct Tally {
  long messages = 0;
  std::uint64_t fold = 1469598103934665603ull;
  void Add(std::string_view text) {
    for (unsigned char ch : text) fold = (fold ^ ch) * 1099511628211ull;
  }
};

// ---- The two databases ----

class Floor {
 public:
  virtual ~Floor() = default;
  virtual bool Workplaces(const std::string& only, std::vector<std::string>* out) = 0;
  virtual bool Read(const std::string& apl, std::int64_t firstDay, std::int64_t lastDay,
                    Tally* tally) = 0;
  virtual bool Insert(const RowMaker& maker, long rows) = 0;
  const std::string& Error() const { return error_; }

 protected:
  std::string error_;
};

struct SqliteClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalize {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using SqliteStmt = std::unique_ptr<sqlite3_stmt, SqliteFinalize>;

class SqliteFloor final : public Floor {
 public:
  bool Open(const std::string& path) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK) return Fail("open " + path);
    return Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
  }

  bool Workplaces(const std::string& only, std::vector<std::string>* out) override {
    SqliteStmt st = Prepare("select AplApl from Kvn531Apl where ?1 = '' or AplApl = ?1 order by AplApl");
    if (!st) return false;
    sqlite3_bind_text(st.get(), 1, only.c_str(), static_cast<int>(only.size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
      out->emplace_back(Column(st.get(), 0));
    return rc == SQLITE_DONE || Fail("read the workplaces");
  }

  bool Read(const std::string& apl, std::int64_t firstDay, std::int64_t lastDay,
            Tally* tally) override {
    if (!read_) {
      read_ = Prepare(
          "select KeyDat, KeyUhr, KeySek, MelMsk from Kvn560Mel"
          " where KeyApl = ?1 and KeyDat >= ?2 and KeyDat < ?3 and ObjTyp in ('M_A', 'M__')"
          " order by KeyApl, KeyDat, KeyUhr, KeySek");
      if (!read_) return false;
    }
    // Stored days are 'YYYY-MM-DD', with or without a time: '~' sorts after both.
    const std::string lo = IsoDay(firstDay), hi = IsoDay(lastDay) + "~";
    sqlite3_stmt* st = read_.get();
    sqlite3_bind_text(st, 1, apl.c_str(), static_cast<int>(apl.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, lo.c_str(), static_cast<int>(lo.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 3, hi.c_str(), static_cast<int>(hi.size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      ++tally->messages;
      for (int c = 0; c < 4; ++c) tally->Add(Column(st, c));
    }
    sqlite3_reset(st);
    return rc == SQLITE_DONE || Fail("read the messages of " + apl);
  }

  bool Insert(const RowMaker& maker, long rows) override {
    SqliteStmt st = Prepare(InsertText(false).c_str());
    if (!st || !Exec("BEGIN IMMEDIATE")) return false;
    std::vector<std::string> values;
    for (long i = 0; i < rows; ++i) {
      maker.Fill(i, &values);
      for (std::size_t c = 0; c < kNzaWidth; ++c) {
        const int at = static_cast<int>(c) + 1;
        const std::string& v = values[c];
        switch (kNzaColumns[c].kind) {
          case Kind::kInt:
            sqlite3_bind_int64(st.get(), at, std::atoll(v.c_str()));
            break;
          case Kind::kReal:
            sqlite3_bind_double(st.get(), at, std::atof(v.c_str()));
            break;
          case Kind::kText:
          case Kind::kStamp:
            sqlite3_bind_text(st.get(), at, v.c_str(), static_cast<int>(v.size()), SQLITE_STATIC);
            break;
        }
      }
      const int rc = sqlite3_step(st.get());
      sqlite3_reset(st.get());
      if (rc != SQLITE_DONE) {
        Fail("insert row " + std::to_string(i));
        Exec("ROLLBACK");
        return false;
      }
    }
    return Exec("COMMIT");
  }

 private:
  bool Fail(const std::string& what) {
    error_ = what + ": " + (db_ ? sqlite3_errmsg(db_.get()) : "no database");
    return false;
  }
  bool Exec(const char* sql) {
    return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail(sql);
  }
  SqliteStmt Prepare(const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &st, nullptr) != SQLITE_OK) {
      Fail(std::string("prepare ") + sql);
      sqlite3_finalize(st);
      return nullptr;
    }
    return SqliteStmt(st);
  }
  static std::string_view Column(sqlite3_stmt* st, int c) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st, c)))
             : std::string_view();
  }

  std::unique_ptr<sqlite3, SqliteClose> db_;
  SqliteStmt read_;
};

struct PgFinish {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct PgClear {
  void operator()(PGresult* res) const { PQclear(res); }
};
using PgResult = std::unique_ptr<PGresult, PgClear>;

class PgFloor final : public Floor {
 public:
  bool Open(const std::string& conninfo) {
    conn_.reset(PQconnectdb(conninfo.c_str()));
    if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) return Fail("connect");
    return Prepare("read",
                   "select KeyDat, KeyUhr, KeySek, MelMsk from Kvn560Mel"
                   " where KeyApl = $1 and KeyDat >= to_date($2, 'YYYY-MM-DD')"
                   " and KeyDat < to_date($3, 'YYYY-MM-DD') + 1 and ObjTyp in ('M_A', 'M__')"
                   " order by KeyApl, KeyDat, KeyUhr, KeySek",
                   3) &&
           Prepare("insert", InsertText(true).c_str(), static_cast<int>(kNzaWidth));
  }

  bool Workplaces(const std::string& only, std::vector<std::string>* out) override {
    const char* params[] = {only.c_str()};
    PgResult res(PQexecParams(conn_.get(),
                              "select AplApl from Kvn531Apl where $1 = '' or AplApl = $1"
                              " order by AplApl",
                              1, nullptr, params, nullptr, nullptr, 0));
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) return Fail("read the workplaces");
    for (int r = 0; r < PQntuples(res.get()); ++r) out->emplace_back(PQgetvalue(res.get(), r, 0));
    return true;
  }

  bool Read(const std::string& apl, std::int64_t firstDay, std::int64_t lastDay,
            Tally* tally) override {
    const std::string lo = IsoDay(firstDay), hi = IsoDay(lastDay);
    const char* params[] = {apl.c_str(), lo.c_str(), hi.c_str()};
    PgResult res(PQexecPrepared(conn_.get(), "read", 3, params, nullptr, nullptr, 0));
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) return Fail("read the messages of " + apl);
    for (int r = 0; r < PQntuples(res.get()); ++r) {
      ++tally->messages;
      for (int c = 0; c < 4; ++c)
        tally->Add(std::string_view(PQgetvalue(res.get(), r, c),
                                    static_cast<std::size_t>(PQgetlength(res.get(), r, c))));
    }
    return true;
  }

  bool Insert(const RowMaker& maker, long rows) override {
    if (!Command("BEGIN")) return false;
    std::vector<std::string> values;
    std::vector<const char*> params(kNzaWidth);
    for (long i = 0; i < rows; ++i) {
      maker.Fill(i, &values);
      for (std::size_t c = 0; c < kNzaWidth; ++c) params[c] = values[c].c_str();
      PgResult res(PQexecPrepared(conn_.get(), "insert", static_cast<int>(kNzaWidth),
                                  params.data(), nullptr, nullptr, 0));
      if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) {
        Fail("insert row " + std::to_string(i));
        Command("ROLLBACK");
        return false;
      }
    }
    return Command("COMMIT");
  }

 private:
  bool Fail(const std::string& what) {
    error_ = what + ": " + (conn_ ? PQerrorMessage(conn_.get()) : "no connection");
    return false;
  }
  bool Prepare(const char* name, const char* sql, int params) {
    PgResult res(PQprepare(conn_.get(), name, sql, params, nullptr));
    return PQresultStatus(res.get()) == PGRES_COMMAND_OK || Fail(std::string("prepare ") + name);
  }
  bool Command(const char* sql) {
    PgResult res(PQexec(conn_.get(), sql));
    return PQresultStatus(res.get()) == PGRES_COMMAND_OK || Fail(sql);
  }

  std::unique_ptr<PGconn, PgFinish> conn_;
};

int Usage() {
  std::fprintf(stderr,
               "usage: pelvaro-floor DB|pg:CONNINFO FIRST LAST ROWS [WORKPLACE]\n"
               "  reads the booking messages of FIRST..LAST (yyyymmdd) of every workplace (or\n"
               "  of WORKPLACE) once in time order, then inserts ROWS evaluation-record rows\n"
               "  in one transaction\n");
  return 2;
}

int Refuse(const Floor& floor) {
  std::fprintf(stderr, "pelvaro-floor: %s\n", floor.Error().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) return Usage();
  const std::string db = argv[1];
  std::int64_t firstDay = 0, lastDay = 0;
  char* end = nullptr;
  const long rows = std::strtol(argv[4], &end, 10);
  if (!ParseDay(argv[2], &firstDay) || !ParseDay(argv[3], &lastDay) || lastDay < firstDay ||
      *end != '\0' || rows < 0)
    return Usage();
  const std::string only = argc == 6 ? argv[5] : "";

  std::unique_ptr<Floor> floor;
  if (db.rfind("pg:", 0) == 0) {
    auto pg = std::make_unique<PgFloor>();
    if (!pg->Open(db.substr(3))) return Refuse(*pg);
    floor = std::move(pg);
  } else {
    auto lite = std::make_unique<SqliteFloor>();
    if (!lite->Open(db)) return Refuse(*lite);
    floor = std::move(lite);
  }

  std::vector<std::string> workplaces;
  if (!floor->Workplaces(only, &workplaces)) return Refuse(*floor);
  if (workplaces.empty()) {
    std::fprintf(stderr, "pelvaro-floor: no workplace %s\n", only.c_str());
    return 1;
  }
  Tally tally;
  for (const std::string& apl : workplaces) {
    if (!floor->Read(apl, firstDay, lastDay, &tally)) return Refuse(*floor);
  }
  const RowMaker maker{workplaces, firstDay, lastDay - firstDay + 1};
  if (!floor->Insert(maker, rows)) return Refuse(*floor);
  std::printf("read %ld messages of %zu workplaces (fold %016llx), wrote %ld rows\n",
              tally.messages, workplaces.size(), static_cast<unsigned long long>(tally.fold),
              rows);
  return 0;
}
