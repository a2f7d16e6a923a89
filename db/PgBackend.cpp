#include "db/PgBackend.h"

#include <libpq-fe.h>
#include <poll.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/Schema.h"
#include "db/Translate.h"

namespace rt {

// SQLSTATEs of a failed statement and the status codes they map to. Errors
// without an Oracle number of their own map to -(20000 + class), the class
// being the SQLSTATE's first two characters read as a number (99 when they
// are not digits).
//   23505 unique_violation                    -1      unique key violated
//   23502 not_null_violation                  -1400   NULL into a NOT NULL column
//   42P01 undefined_table                     -942    table or view does not exist
//   3F000 invalid_schema_name                 -942
//   42703 undefined_column                    -904    invalid identifier
//   42883 undefined_function                  -904
//   40P01 deadlock_detected                   -54     resource busy
//   55P03 lock_not_available                  -54
//   57014 query_canceled (lock/statement timeout)  -54
//   22001 string_data_right_truncation        -12899  value too large
//   22003 numeric_value_out_of_range          -1438   value larger than precision
//   22P02 invalid_text_representation         -1722   invalid number
//   22007 invalid_datetime_format             -1861   literal does not match format
//   22008 datetime_field_overflow             -1847   day of month out of range
//   23503 foreign_key_violation               -2291   parent key not found
//   23514 check_violation                     -2290   check constraint violated
//   3B001 invalid_savepoint_specification     -1086   savepoint never established
//   42601 syntax_error                        -900    invalid SQL statement
//   42501 insufficient_privilege              -1031   insufficient privileges
//   08xxx connection_exception, or no state   -3113   end of file on communication channel
//   anything else                             -(20000 + class)
// A statement on a connection that is gone answers -3114 (not connected).
//
// A failed connect (PgConnectStatus):
//   connection string not readable            -12154  connect identifier not resolved
//   password needed but none given, 28P01,
//   28000 (wrong password, unknown role)      -1017   invalid username/password
//   3D000 (database does not exist)           -12514  service not known
//   53300 (too many connections)              -18     maximum number of sessions
//   57P03 (server starting or shutting down)  -1033   initialization or shutdown in progress
//   server not reached (no socket, refused,
//   unknown host)                             -12541  no listener
//   no answer within the connect timeout      -12170  connect timeout
//   any other SQLSTATE                        as for a statement
int PgStatus(const char* sqlstate) {
  if (!sqlstate || std::strlen(sqlstate) != 5) return -3113;
  struct Entry {
    const char* state;
    int status;
  };
  static constexpr Entry kTable[] = {
      {"23505", kUniqueViolation}, {"23502", kNotNull},          {"42P01", kNoSuchTable},
      {"3F000", kNoSuchTable},     {"42703", kInvalidIdentifier}, {"42883", kInvalidIdentifier},
      {"40P01", kResourceBusy},    {"55P03", kResourceBusy},      {"57014", kResourceBusy},
      {"22001", kValueTooLarge},   {"22003", -1438},              {"22P02", kInvalidNumber},
      {"22007", -1861},            {"22008", -1847},              {"23503", -2291},
      {"23514", -2290},            {"3B001", -1086},              {"42601", -900},
      {"42501", -1031},
  };
  for (const Entry& e : kTable)
    if (std::strcmp(e.state, sqlstate) == 0) return e.status;
  if (sqlstate[0] == '0' && sqlstate[1] == '8') return -3113;
  if (std::isdigit(static_cast<unsigned char>(sqlstate[0])) &&
      std::isdigit(static_cast<unsigned char>(sqlstate[1])))
    return kOtherError - ((sqlstate[0] - '0') * 10 + (sqlstate[1] - '0'));
  return kOtherError - 99;
}

namespace {

constexpr int kNotConnectedStatus = kNotConnected;  // -3114
constexpr int kConnectTimeoutMs = 30000;

// Type numbers of the result columns that read as numbers.
constexpr Oid kBoolOid = 16, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kOidOid = 26,
              kFloat4Oid = 700, kFloat8Oid = 701, kNumericOid = 1700;

// The SQLSTATE inside a verbose libpq message ("FATAL:  28P01:  ..."), or "".
std::string StateInMessage(const char* msg) {
  if (!msg) return {};
  std::string_view s(msg);
  for (std::size_t i = 0; i + 8 <= s.size(); ++i) {
    if (s[i] != ':' || s[i + 1] != ' ' || s[i + 2] != ' ') continue;
    std::string_view code = s.substr(i + 3, 5);
    if (i + 8 < s.size() && s[i + 8] == ':' &&
        std::all_of(code.begin(), code.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'Z');
        }))
      return std::string(code);
  }
  return {};
}

int PgConnectStatus(PGconn* conn, bool timedOut) {
  if (timedOut) return -12170;
  if (PQconnectionNeedsPassword(conn)) return -1017;
  const std::string state = StateInMessage(PQerrorMessage(conn));
  if (state.empty()) return -12541;
  if (state == "28P01" || state == "28000") return -1017;
  if (state == "3D000") return -12514;
  if (state == "53300") return -18;
  if (state == "57P03") return -1033;
  return PgStatus(state.c_str());
}

// Opens a connection; the password never leaves this function but to libpq.
int OpenConnection(const std::string& conninfo, const std::string& user,
                   const std::string& password, PGconn** out) {
  *out = nullptr;
  char* parseError = nullptr;
  PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &parseError);
  PQfreemem(parseError);
  if (!parsed) return -12154;
  PQconninfoFree(parsed);

  // The connection string may override the first two; the credentials of the
  // configuration file come last and win.
  std::vector<const char*> keys = {"fallback_application_name", "connect_timeout", "dbname"};
  std::vector<const char*> values = {"pelvaro", "30", conninfo.c_str()};
  if (!user.empty()) {
    keys.push_back("user");
    values.push_back(user.c_str());
  }
  if (!password.empty()) {
    keys.push_back("password");
    values.push_back(password.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* conn = PQconnectStartParams(keys.data(), values.data(), 1);
  if (!conn) return -12541;
  // Verbose messages carry the SQLSTATE of a refused login.
  PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
  bool timedOut = false;
  if (PQstatus(conn) != CONNECTION_BAD) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
    while (poll != PGRES_POLLING_OK && poll != PGRES_POLLING_FAILED) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        timedOut = true;
        break;
      }
      pollfd p{PQsocket(conn), static_cast<short>(poll == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
      if (p.fd < 0) break;
      int n = ::poll(&p, 1, static_cast<int>(left.count()));
      if (n < 0 && errno != EINTR) break;
      if (n == 0) continue;
      poll = PQconnectPoll(conn);
    }
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    int status = PgConnectStatus(conn, timedOut);
    PQfinish(conn);
    return status;
  }
  PQsetErrorVerbosity(conn, PQERRORS_DEFAULT);
  *out = conn;
  return kOk;
}

// One statement result that frees itself.
class Result {
 public:
  explicit Result(PGresult* r = nullptr) : r_(r) {}
  ~Result() { PQclear(r_); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  Result& operator=(PGresult* r) {
    PQclear(r_);
    r_ = r;
    return *this;
  }
  PGresult* get() const { return r_; }
  bool Ok() const {
    ExecStatusType s = PQresultStatus(r_);
    return r_ && (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK);
  }

 private:
  PGresult* r_;
};

bool StartsWith(std::string_view text, std::string_view word) {
  return text.size() >= word.size() && strncasecmp(text.data(), word.data(), word.size()) == 0;
}

// The savepoint name at the end of "savepoint X" or "rollback  to X", folded
// to lower case as the server folds it.
std::string SavepointName(std::string_view text) {
  auto end = text.find_last_not_of(" \t\n;");
  if (end == std::string_view::npos) return {};
  auto begin = text.find_last_of(" \t\n", end);
  std::string name(text.substr(begin + 1, end - begin));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

class PgBackend : public Backend {
 public:
  explicit PgBackend(PGconn* conn) : conn_(conn) {}
  ~PgBackend() override { PQfinish(conn_); }

  int Query(const Statement& st, std::span<const HostVar> in, ResultSet* rs,
            std::size_t maxRows) override {
    return Protected(false, [&]() {
      Result r;
      int status = Run(st, in, &r);
      if (status == kOk) Materialise(r.get(), rs, maxRows);
      return status;
    });
  }

  int Exec(const Statement& st, std::span<const HostVar> in, long* changes) override {
    *changes = 0;
    std::string_view text(st.text);
    if (StartsWith(text, "commit")) return Commit(text);
    if (StartsWith(text, "savepoint")) return Savepoint(text);
    if (StartsWith(text, "rollback")) return RollbackTo(text);
    return Protected(true, [&]() {
      Result r;
      int status = Run(st, in, &r);
      if (status == kOk) {
        const char* n = PQcmdTuples(r.get());
        long v = 0;
        if (n && *n) std::from_chars(n, n + std::strlen(n), v);
        *changes = v;
      }
      return status;
    });
  }

  std::string ExecutedText(const Statement& st) override {
    return Translate(st, Dialect::kPostgres).text;
  }

  // Session settings every connection works with: ISO dates, exact floats,
  // texts in the program's single-byte character set (a text n holds n - 1
  // characters, whatever the database's encoding), and the schema KvSystem in
  // the search path, for the statements that name its tables without it.
  int Setup() {
    Result r(PQexec(conn_,
                    "SET DateStyle TO ISO; SET extra_float_digits TO 1; "
                    "SET client_encoding TO 'WIN1252'; "
                    "SELECT set_config('search_path', current_setting('search_path') || "
                    "', kvsystem', false)"));
    return r.Ok() ? kOk : StatusOf(r.get());
  }

 private:
  struct Prepared {
    std::string name;
    int params = 0;
  };

  // Oracle's transaction behaviour over PostgreSQL's: a transaction is always
  // open (BEGIN when idle), and a failing statement is undone alone, so that
  // the transaction never stays aborted. How depends on what the transaction
  // holds before the statement:
  //  - nothing (only reads since BEGIN): roll the whole transaction back;
  //  - a savepoint as its last change: roll back to that savepoint;
  //  - other changes: the statement runs inside an internal savepoint.
  template <typename F>
  int Protected(bool changes, F&& run) {
    if (PQstatus(conn_) != CONNECTION_OK) return kNotConnectedStatus;
    if (PQtransactionStatus(conn_) == PQTRANS_IDLE) {
      int status = Simple("BEGIN");
      if (status != kOk) return status;
      Reset();
    }
    const bool wrap = !clean_ && anchor_.empty();
    if (wrap) {
      int status = Simple("SAVEPOINT pelvaro_stmt");
      if (status != kOk) return status;
    }
    int status = run();
    if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
      if (wrap)
        Simple("ROLLBACK TO SAVEPOINT pelvaro_stmt; RELEASE SAVEPOINT pelvaro_stmt");
      else if (!anchor_.empty())
        Simple("ROLLBACK TO SAVEPOINT " + anchor_);
      else
        Simple("ROLLBACK");
    } else if (wrap) {
      Simple("RELEASE SAVEPOINT pelvaro_stmt");
    }
    if (status == kOk && changes) {
      clean_ = false;
      anchor_.clear();
    }
    return status;
  }

  int Commit(std::string_view) {
    if (PQstatus(conn_) != CONNECTION_OK) return kNotConnectedStatus;
    if (PQtransactionStatus(conn_) == PQTRANS_IDLE) return kOk;  // nothing to commit
    int status = Simple("COMMIT");
    Reset();
    return status;
  }

  int Savepoint(std::string_view text) {
    if (PQstatus(conn_) != CONNECTION_OK) return kNotConnectedStatus;
    std::string name = SavepointName(text);
    const bool idle = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    if (idle) Reset();
    int status = Simple((idle ? "BEGIN; SAVEPOINT " : "SAVEPOINT ") + name);
    if (status == kOk) {
      savepoints_.push_back(name);
      clean_ = false;
      anchor_ = name;
    } else if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
      Recover();
    }
    return status;
  }

  int RollbackTo(std::string_view text) {
    if (PQstatus(conn_) != CONNECTION_OK) return kNotConnectedStatus;
    std::string name = SavepointName(text);
    if (name == "rollback" || name == "work") {  // the whole transaction
      if (PQtransactionStatus(conn_) == PQTRANS_IDLE) return kOk;
      int status = Simple("ROLLBACK");
      Reset();
      return status;
    }
    auto it = std::find(savepoints_.rbegin(), savepoints_.rend(), name);
    // Unknown here, so unknown to the server: answered without asking it,
    // which would abort the transaction.
    if (PQtransactionStatus(conn_) == PQTRANS_IDLE || it == savepoints_.rend()) return -1086;
    int status = Simple("ROLLBACK TO SAVEPOINT " + name);
    if (status == kOk) {
      savepoints_.erase(it.base(), savepoints_.end());
      anchor_ = name;
    } else if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
      Recover();
    }
    return status;
  }

  // Last resort when a control statement failed: the open transaction goes.
  void Recover() {
    Simple("ROLLBACK");
    Reset();
  }

  void Reset() {
    clean_ = true;
    anchor_.clear();
    savepoints_.clear();
  }

  int Simple(const std::string& sql) {
    Result r(PQexec(conn_, sql.c_str()));
    return r.Ok() ? kOk : StatusOf(r.get());
  }

  int StatusOf(const PGresult* r) {
    if (PQstatus(conn_) != CONNECTION_OK) return -3113;
    return PgStatus(r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr);
  }

  // Prepares once per statement for the whole connection, binds every input
  // as text of a type the server infers, and executes.
  int Run(const Statement& st, std::span<const HostVar> in, Result* out) {
    std::string key(st.text);
    if (st.range) key.append("\n").append(st.range);
    auto it = cache_.find(key);
    if (it == cache_.end()) {
      Translation t = Translate(st, Dialect::kPostgres);
      Prepared p{"pelvaro_" + std::to_string(cache_.size() + 1), t.params};
      Result r(PQprepare(conn_, p.name.c_str(), t.text.c_str(), 0, nullptr));
      if (!r.Ok()) return StatusOf(r.get());
      it = cache_.emplace(std::move(key), std::move(p)).first;
    }
    const Prepared& p = it->second;
    values_.assign(static_cast<std::size_t>(p.params), std::string());
    pointers_.assign(static_cast<std::size_t>(p.params), nullptr);
    const std::size_t n = std::min<std::size_t>(values_.size(), in.size());
    for (std::size_t i = 0; i < n; ++i) {
      const HostVar& v = in[i];
      std::string& s = values_[i];
      switch (v.kind) {
        case HostKind::kText: {
          const char* t = static_cast<const char*>(v.addr);
          s.assign(t, strnlen(t, static_cast<std::size_t>(v.width)));
          break;
        }
        case HostKind::kInt16:
          s = std::to_string(*static_cast<const std::int16_t*>(v.addr));
          break;
        case HostKind::kInt32:
          s = std::to_string(*static_cast<const std::int32_t*>(v.addr));
          break;
        case HostKind::kFloat64: {
          char buf[32];
          auto r = std::to_chars(buf, buf + sizeof buf, *static_cast<const double*>(v.addr));
          s.assign(buf, r.ptr);
          break;
        }
      }
      pointers_[i] = s.c_str();
    }
    *out = PQexecPrepared(conn_, p.name.c_str(), p.params, pointers_.data(), nullptr, nullptr, 0);
    return out->Ok() ? kOk : StatusOf(out->get());
  }

  static void Materialise(const PGresult* r, ResultSet* rs, std::size_t maxRows) {
    const int cols = PQnfields(r);
    std::size_t rows = static_cast<std::size_t>(PQntuples(r));
    if (maxRows && rows > maxRows) rows = maxRows;
    rs->columns = cols;
    std::vector<Cell::Kind> kinds(static_cast<std::size_t>(cols));
    for (int c = 0; c < cols; ++c) {
      switch (PQftype(r, c)) {
        case kBoolOid:
        case kInt2Oid:
        case kInt4Oid:
        case kInt8Oid:
        case kOidOid:
          kinds[c] = Cell::kInt;
          break;
        case kFloat4Oid:
        case kFloat8Oid:
        case kNumericOid:
          kinds[c] = Cell::kReal;
          break;
        default:
          kinds[c] = Cell::kText;
          break;
      }
    }
    rs->cells.reserve(rs->cells.size() + rows * static_cast<std::size_t>(cols));
    for (std::size_t row = 0; row < rows; ++row) {
      for (int c = 0; c < cols; ++c) {
        Cell cell;
        const int i = static_cast<int>(row);
        if (PQgetisnull(r, i, c)) {
          rs->cells.push_back(cell);
          continue;
        }
        const char* v = PQgetvalue(r, i, c);
        const std::size_t len = static_cast<std::size_t>(PQgetlength(r, i, c));
        cell.kind = kinds[c];
        switch (cell.kind) {
          case Cell::kInt:
            if (len == 1 && (*v == 't' || *v == 'f'))
              cell.i = *v == 't';
            else
              std::from_chars(v, v + len, cell.i);
            break;
          case Cell::kReal:
            std::from_chars(v, v + len, cell.d);
            break;
          default:
            cell.off = static_cast<std::uint32_t>(rs->arena.size());
            cell.len = static_cast<std::uint32_t>(len);
            rs->arena.append(v, len);
            break;
        }
        rs->cells.push_back(cell);
      }
    }
  }

  PGconn* conn_;
  bool clean_ = true;                   // nothing but reads since BEGIN
  std::string anchor_;                  // the savepoint that is the transaction's last change
  std::vector<std::string> savepoints_;  // the savepoints of the open transaction, oldest first
  std::unordered_map<std::string, Prepared> cache_;
  std::vector<std::string> values_;
  std::vector<const char*> pointers_;
};

}  // namespace

int OpenPgBackend(const std::string& conninfo, const std::string& user,
                  const std::string& password, std::unique_ptr<Backend>* out) {
  PGconn* conn = nullptr;
  int status = OpenConnection(conninfo, user, password, &conn);
  if (status != kOk) return status;
  auto backend = std::make_unique<PgBackend>(conn);
  status = backend->Setup();
  if (status != kOk) return status;
  *out = std::move(backend);
  return kOk;
}

bool CreatePostgresTables(const std::string& conninfo, const std::string& user,
                          const std::string& password, std::string* error) {
  PGconn* conn = nullptr;
  int status = OpenConnection(conninfo, user, password, &conn);
  if (status != kOk) {
    *error = "no connection to the PostgreSQL database (status " + std::to_string(status) + ")";
    return false;
  }
  std::unique_ptr<PGconn, void (*)(PGconn*)> guard(conn, PQfinish);
  static constexpr const char* kTables[] = {
      "kvn531apl", "kvsystem.kvn133bak", "kvsystem.kvn133kal", "kvn532aem", "kvn533emo",
      "kvn536pmz", "kvn535pms",          "kvn560mel",          "kvn565map", "kvn590nza",
      "kvn563mrk", "kvn591nzp"};
  std::string existing;
  for (const char* table : kTables) {
    const char* params[] = {table};
    Result r(PQexecParams(conn, "SELECT to_regclass($1) IS NOT NULL", 1, nullptr, params, nullptr,
                          nullptr, 0));
    if (!r.Ok()) {
      *error = PQerrorMessage(conn);
      return false;
    }
    if (std::strcmp(PQgetvalue(r.get(), 0, 0), "t") == 0) existing += std::string(" ") + table;
  }
  if (!existing.empty()) {
    *error = "tables exist already:" + existing;
    return false;
  }
  Result r(PQexec(conn, (std::string("BEGIN;") + kSchemaPostgres + "COMMIT;").c_str()));
  if (!r.Ok()) {
    *error = PQerrorMessage(conn);
    return false;
  }
  return true;
}

}  // namespace rt
