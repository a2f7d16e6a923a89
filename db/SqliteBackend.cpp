#include "db/SqliteBackend.h"

#include <sqlite3.h>

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "db/Translate.h"

namespace rt {

// SQLite result codes and the status codes they map to. Errors that have no
// Oracle number of their own map to -(20000 + SQLite's primary code).
//   SQLITE_CONSTRAINT_PRIMARYKEY, _UNIQUE   -1      unique key violated
//   SQLITE_CONSTRAINT_NOTNULL               -1400   NULL into a NOT NULL column
//   SQLITE_BUSY, SQLITE_LOCKED              -54     resource busy
//   "no such table"                         -942    table or view does not exist
//   "no such column"                        -904    invalid identifier
//   SQLITE_TOOBIG                           -12899  value too large
//   SQLITE_CANTOPEN (connect)               -(20000 + 14)
//   SQLITE_NOTADB (connect)                 -(20000 + 26)
//   anything else                           -(20000 + primary code)
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
  }
  return kOtherError - primary;
}

namespace {

constexpr int kBusyTimeoutMs = 60000;

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
    if (began) outerSavepoint_ = NameAfter(st.text, "savepoint ");
    // Rolled back to the savepoint that opened the transaction: nothing is
    // pending, so the transaction ends and its write lock goes back.
    if (StartsWith(st.text, "rollback") && !sqlite3_get_autocommit(db_) &&
        NameAfter(st.text, "to ") == outerSavepoint_) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (sqlite3_get_autocommit(db_)) outerSavepoint_.clear();
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

  sqlite3* db_;
  std::string outerSavepoint_;  // the savepoint that began the open transaction
  std::unordered_map<const char*, Prepared> cache_;
};

}  // namespace

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
