#include "db/SqliteBackend.h"

#include <sqlite3.h>

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/Translate.h"
#include "util/Clock.h"
#include "util/Env.h"

namespace rt {

// SQLite result codes and the status codes they map to. Errors that have no
// Oracle number of their own map to -(20000 + SQLite's primary code).
//   SQLITE_CONSTRAINT_PRIMARYKEY, _UNIQUE   -1      unique key violated
//   SQLITE_CONSTRAINT_NOTNULL               -1400   NULL into a NOT NULL column
//   SQLITE_BUSY, SQLITE_LOCKED              -54     resource busy
//   "no such table"                         -942    table or view does not exist
//   "no such column"                        -904    invalid identifier
//   a date text that names no instant       -1861   literal does not match format string
//   SQLITE_TOOBIG                           -12899  value too large
//   SQLITE_CANTOPEN (connect)               -(20000 + 14)
//   SQLITE_NOTADB (connect)                 -(20000 + 26)
//   anything else                           -(20000 + primary code)
namespace {
constexpr const char* kDateFormatMessage = "literal does not match format string";
}  // namespace

int SqliteStatus(int code, const char* message) {
  if (code == SQLITE_OK || code == SQLITE_DONE || code == SQLITE_ROW) return kOk;
  switch (code) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
      return kUniqueViolation;
    case SQLITE_CONSTRAINT_NOTNULL:
      return kNotNull;
    default:
      break;
  }
  int primary = code & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return kResourceBusy;
  if (primary == SQLITE_TOOBIG) return kValueTooLarge;
  if (primary == SQLITE_ERROR && message) {
    if (std::strstr(message, "no such table")) return kNoSuchTable;
    if (std::strstr(message, "no such column")) return kInvalidIdentifier;
    if (std::strstr(message, kDateFormatMessage)) return kDateFormat;
  }
  return kOtherError - primary;
}

namespace {

constexpr int kBusyTimeoutMs = 60000;

// Where each digit of a yyyymmddHHMMSS text stands in 'YYYY-MM-DD HH:MM:SS'.
constexpr int kStoredAt[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};

bool Digits(const unsigned char* s, int from, int n) {
  for (int i = from; i < from + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

int Number(const unsigned char* s, int from, int n) {
  int v = 0;
  for (int i = from; i < from + n; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

// pelvaro_to_date(text, 'yyyymmdd' | 'yyyymmddHH24MISS'): the stored form
// 'YYYY-MM-DD HH:MM:SS' of a date text. An empty text or NULL is no date; a
// text that names no instant fails the statement.
void ToDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const unsigned char* s = sqlite3_value_text(argv[0]);
  const unsigned char* fmt = sqlite3_value_text(argv[1]);
  const int n = sqlite3_value_bytes(argv[0]);
  if (!s || n == 0) {
    sqlite3_result_null(ctx);
    return;
  }
  const bool withTime = fmt && std::strcmp(reinterpret_cast<const char*>(fmt), "yyyymmdd") != 0;
  const int want = withTime ? 14 : 8;
  bool ok = n == want && Digits(s, 0, want);
  if (ok) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int y = Number(s, 0, 4), m = Number(s, 4, 2), d = Number(s, 6, 2);
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    ok = y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
    if (ok && withTime) ok = Number(s, 8, 2) < 24 && Number(s, 10, 2) < 60 && Number(s, 12, 2) < 60;
  }
  if (!ok) {
    sqlite3_result_error(ctx, kDateFormatMessage, -1);
    return;
  }
  char out[20] = "0000-00-00 00:00:00";
  for (int i = 0; i < want; ++i) out[kStoredAt[i]] = static_cast<char>(s[i]);
  sqlite3_result_text(ctx, out, 19, SQLITE_TRANSIENT);
}

class SqliteBackend : public Backend {
 public:
  explicit SqliteBackend(sqlite3* db) : db_(db) {}
  ~SqliteBackend() override {
    for (auto& [key, stmt] : cache_) sqlite3_finalize(stmt.handle);
    sqlite3_close_v2(db_);
  }

  int Query(const Statement& st, std::span<const HostVar> in, ResultSet* rs,
            std::size_t maxRows) override {
    sqlite3_stmt* h = nullptr;
    int status = Prepare(st, in, &h);
    if (status != kOk) return status;
    const int cols = sqlite3_column_count(h);
    rs->columns = cols;
    int rc;
    std::size_t rows = 0;
    while ((rc = sqlite3_step(h)) == SQLITE_ROW) {
      for (int c = 0; c < cols; ++c) rs->cells.push_back(ReadCell(h, c, &rs->arena));
      if (maxRows && ++rows >= maxRows) {
        rc = SQLITE_DONE;
        break;
      }
    }
    status = rc == SQLITE_DONE ? kOk : SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    sqlite3_reset(h);
    return status;
  }

  int Exec(const Statement& st, std::span<const HostVar> in, long* changes) override {
    // A write outside a transaction takes the write lock first, so that it
    // waits for another writer with the busy timeout instead of failing.
    bool began = false;
    if (sqlite3_get_autocommit(db_) && StartsWith(st.text, "savepoint ")) {
      int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
      began = true;
    }
    sqlite3_stmt* h = nullptr;
    int status = Prepare(st, in, &h);
    if (status != kOk) return status;
    int rc;
    while ((rc = sqlite3_step(h)) == SQLITE_ROW) {
    }
    status = rc == SQLITE_DONE ? kOk : SqliteStatus(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    *changes = status == kOk ? sqlite3_changes(db_) : 0;
    sqlite3_reset(h);
    TrackSavepoints(st.text, status, began);
    return status;
  }

  std::string ExecutedText(const Statement& st) override {
    return Translate(st, Dialect::kSqlite).text;
  }

 private:
  struct Prepared {
    sqlite3_stmt* handle = nullptr;
    int params = 0;
  };

  static bool StartsWith(const char* text, const char* word) {
    return strncasecmp(text, word, std::strlen(word)) == 0;
  }
  // The name after the last occurrence of `word` ("to " in "rollback  to X").
  static std::string NameAfter(const char* text, const char* word) {
    std::string_view s(text);
    auto pos = s.rfind(word);
    return pos == std::string_view::npos ? std::string() : std::string(s.substr(pos + std::strlen(word)));
  }

  static Cell ReadCell(sqlite3_stmt* h, int c, std::string* arena) {
    Cell cell;
    switch (sqlite3_column_type(h, c)) {
      case SQLITE_INTEGER:
        cell.kind = Cell::kInt;
        cell.i = sqlite3_column_int64(h, c);
        break;
      case SQLITE_FLOAT:
        cell.kind = Cell::kReal;
        cell.d = sqlite3_column_double(h, c);
        break;
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        const unsigned char* p = sqlite3_column_text(h, c);
        int n = sqlite3_column_bytes(h, c);
        cell.kind = Cell::kText;
        cell.off = static_cast<std::uint32_t>(arena->size());
        cell.len = static_cast<std::uint32_t>(n);
        if (p && n > 0) arena->append(reinterpret_cast<const char*>(p), n);
        // A NUL inside a text ends it, as it would in the program's buffers.
        if (p) cell.len = static_cast<std::uint32_t>(strnlen(reinterpret_cast<const char*>(p), n));
        break;
      }
      default:
        break;
    }
    return cell;
  }

  // Prepares once per statement for the whole connection, then binds.
  int Prepare(const Statement& st, std::span<const HostVar> in, sqlite3_stmt** out) {
    auto it = cache_.find(st.text);
    if (it == cache_.end()) {
      Translation t = Translate(st, Dialect::kSqlite);
      Prepared p;
      p.params = t.params;
      int rc = sqlite3_prepare_v3(db_, t.text.c_str(), static_cast<int>(t.text.size()),
                                  SQLITE_PREPARE_PERSISTENT, &p.handle, nullptr);
      if (rc != SQLITE_OK) {
        int status = SqliteStatus(rc, sqlite3_errmsg(db_));
        sqlite3_finalize(p.handle);
        return status;
      }
      it = cache_.emplace(st.text, p).first;
    }
    sqlite3_stmt* h = it->second.handle;
    sqlite3_clear_bindings(h);
    const int n = std::min<int>(it->second.params, static_cast<int>(in.size()));
    for (int i = 0; i < n; ++i) {
      const HostVar& v = in[i];
      int rc = SQLITE_OK;
      switch (v.kind) {
        case HostKind::kText: {
          const char* s = static_cast<const char*>(v.addr);
          rc = sqlite3_bind_text(h, i + 1, s, static_cast<int>(strnlen(s, v.width)), SQLITE_STATIC);
          break;
        }
        case HostKind::kInt16:
          rc = sqlite3_bind_int(h, i + 1, *static_cast<const std::int16_t*>(v.addr));
          break;
        case HostKind::kInt32:
          rc = sqlite3_bind_int(h, i + 1, *static_cast<const std::int32_t*>(v.addr));
          break;
        case HostKind::kFloat64:
          rc = sqlite3_bind_double(h, i + 1, *static_cast<const double*>(v.addr));
          break;
      }
      if (rc != SQLITE_OK) return SqliteStatus(rc, sqlite3_errmsg(db_));
    }
    *out = h;
    return kOk;
  }

  // Keeps the savepoints of the open transaction, outermost first. Rolled
  // back to the savepoint that opened the transaction, nothing is pending, so
  // the transaction ends and its write lock goes back. A rollback to a nested
  // savepoint of the same name (after a failed commit) keeps what lies before.
  void TrackSavepoints(const char* text, int status, bool began) {
    if (status == kOk && StartsWith(text, "savepoint ")) {
      if (began) savepoints_.clear();
      savepoints_.push_back(NameAfter(text, "savepoint "));
      opened_ = opened_ || began;
    } else if (status == kOk && StartsWith(text, "rollback")) {
      const std::string name = NameAfter(text, "to ");
      for (std::size_t k = savepoints_.size(); k-- > 0;) {
        if (savepoints_[k] != name) continue;
        savepoints_.resize(k + 1);
        if (k == 0 && opened_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        break;
      }
    }
    if (sqlite3_get_autocommit(db_)) {
      savepoints_.clear();
      opened_ = false;
    }
  }

  sqlite3* db_;
  std::vector<std::string> savepoints_;  // of the open transaction, outermost first
  bool opened_ = false;                   // the transaction was begun for the outermost
  std::unordered_map<const char*, Prepared> cache_;
};

}  // namespace

// pelvaro_now(): the database's current time, 'YYYY-MM-DD HH:MM:SS'. The
// embedded database has no clock of its own: it is the program's clock.
void Now(sqlite3_context* ctx, int, sqlite3_value**) {
  char ts[15];
  pelvaro::TimestampText(pelvaro::CurrentEnv()->Now(), ts);
  char out[20] = "0000-00-00 00:00:00";
  for (int i = 0; i < 14; ++i) out[kStoredAt[i]] = ts[i];
  sqlite3_result_text(ctx, out, 19, SQLITE_TRANSIENT);
}

void RegisterSqliteFunctions(sqlite3* db) {
  sqlite3_create_function_v2(db, "pelvaro_now", 0, SQLITE_UTF8, nullptr, Now, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(db, "pelvaro_to_date", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             ToDate, nullptr, nullptr, nullptr);
}

int OpenSqliteBackend(const std::string& path, std::unique_ptr<Backend>* out) {
  // An empty name would open a private temporary database: a missing
  // configuration must fail the connect instead.
  if (path.empty()) return kOtherError - SQLITE_CANTOPEN;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return kOtherError - (rc & 0xff);
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  RegisterSqliteFunctions(db);
  // WAL with synchronous=NORMAL: every commit is ordered and atomic; a crash
  // can lose only the latest commits, which a rerun rebuilds.
  rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                    nullptr);
  if (rc == SQLITE_OK) {
    // A file that is not a database fails here at the latest.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    int code = sqlite3_extended_errcode(db);
    sqlite3_close_v2(db);
    return kOtherError - (code & 0xff);
  }
  *out = std::make_unique<SqliteBackend>(db);
  return kOk;
}

}  // namespace rt
