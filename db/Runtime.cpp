#include "db/Runtime.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "db/PgBackend.h"
#include "db/SqliteBackend.h"

namespace rt {

const Statement kCommitWork{"CommitWork", "COMMIT WORK"};

namespace {

std::unique_ptr<Backend>& TheBackend() {
  static std::unique_ptr<Backend> backend;
  return backend;
}

struct Faults {
  std::string op;
  int opStatus = 0;
  int opTimes = 0;
  long at = 0;
  int atStatus = 0;
  long count = 0;
  long killAt = 0;            // test hook: the process dies before this statement
  std::FILE* trace = nullptr; // test hook: "number op" of every statement
};

Faults& TheFaults() {
  static Faults faults;
  return faults;
}

// Counts the statement and answers an injected status, or 0 to run it.
int Injected(const Statement& st) {
  Faults& f = TheFaults();
  ++f.count;
  if (f.trace) std::fprintf(f.trace, "%ld %s\n", f.count, st.op);
  if (f.killAt != 0 && f.count == f.killAt) std::raise(SIGKILL);
  if (f.at != 0 && f.count == f.at) {
    f.at = 0;
    return f.atStatus;
  }
  if (f.opTimes > 0 && f.op == st.op) {
    --f.opTimes;
    return f.opStatus;
  }
  return 0;
}

// Test hooks for whole-process tests: PELVARO_FAULT_AT="N:STATUS",
// PELVARO_FAULT_OP="OP:STATUS[:TIMES]", PELVARO_KILL_AT="N" (the process is
// killed before statement N) and PELVARO_TRACE=FILE (every statement's number
// and operation, one line each).
void FaultsFromEnvironment() {
  Faults& f = TheFaults();
  if (const char* kill = std::getenv("PELVARO_KILL_AT"); kill && *kill) f.killAt = std::atol(kill);
  if (const char* trace = std::getenv("PELVARO_TRACE"); trace && *trace && !f.trace) {
    f.trace = std::fopen(trace, "w");
    if (f.trace) std::setvbuf(f.trace, nullptr, _IOLBF, 0);
  }
  auto parseInt = [](std::string_view s, long* v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
  };
  if (const char* at = std::getenv("PELVARO_FAULT_AT"); at && *at) {
    std::string_view s(at);
    auto colon = s.find(':');
    long n = 0, status = 0;
    if (colon != std::string_view::npos && parseInt(s.substr(0, colon), &n) &&
        parseInt(s.substr(colon + 1), &status))
      InjectFaultAt(n, static_cast<int>(status));
  }
  if (const char* op = std::getenv("PELVARO_FAULT_OP"); op && *op) {
    std::string_view s(op);
    auto c1 = s.find(':');
    if (c1 == std::string_view::npos) return;
    auto rest = s.substr(c1 + 1);
    auto c2 = rest.find(':');
    long status = 0, times = 1;
    bool ok = parseInt(rest.substr(0, c2), &status);
    if (c2 != std::string_view::npos) ok = ok && parseInt(rest.substr(c2 + 1), &times);
    if (ok) InjectFault(s.substr(0, c1), static_cast<int>(status), static_cast<int>(times));
  }
}

template <typename T>
T Saturate(std::int64_t v) {
  if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

std::int64_t CellInt(const ResultSet& rs, const Cell& c) {
  switch (c.kind) {
    case Cell::kInt:
      return c.i;
    case Cell::kReal:
      if (!std::isfinite(c.d)) return 0;
      if (c.d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
      if (c.d <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
      return static_cast<std::int64_t>(c.d);
    case Cell::kText: {
      // A text that does not begin with a number reads as 0.
      const char* p = rs.arena.data() + c.off;
      const char* e = p + c.len;
      while (p < e && *p == ' ') ++p;
      if (p < e && *p == '+') ++p;
      std::int64_t v = 0;
      std::from_chars(p, e, v);
      return v;
    }
    case Cell::kNull:
      break;
  }
  return 0;
}

double CellReal(const ResultSet& rs, const Cell& c) {
  switch (c.kind) {
    case Cell::kInt:
      return static_cast<double>(c.i);
    case Cell::kReal:
      return c.d;
    case Cell::kText: {
      const char* p = rs.arena.data() + c.off;
      const char* e = p + c.len;
      while (p < e && *p == ' ') ++p;
      if (p < e && *p == '+') ++p;
      double v = 0;
      std::from_chars(p, e, v);
      return v;
    }
    case Cell::kNull:
      break;
  }
  return 0;
}

void CopyRow(const ResultSet& rs, std::size_t row, std::span<const HostVar> out) {
  const std::size_t n = std::min<std::size_t>(out.size(), static_cast<std::size_t>(rs.columns));
  const Cell* cells = rs.cells.data() + row * rs.columns;
  for (std::size_t i = 0; i < n; ++i) CopyCell(rs, cells[i], out[i]);
}

}  // namespace

void CopyCell(const ResultSet& rs, const Cell& cell, const HostVar& out) {
  if (out.indicator) *out.indicator = cell.kind == Cell::kNull ? -1 : 0;
  switch (out.kind) {
    case HostKind::kText: {
      if (out.width <= 0) return;
      char* dst = static_cast<char*>(out.addr);
      std::size_t len = 0;
      if (cell.kind == Cell::kText) {
        len = std::min<std::size_t>(cell.len, static_cast<std::size_t>(out.width - 1));
        if (len) std::memcpy(dst, rs.arena.data() + cell.off, len);
      } else if (cell.kind == Cell::kInt) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, cell.i);
        len = std::min<std::size_t>(r.ptr - buf, static_cast<std::size_t>(out.width - 1));
        std::memcpy(dst, buf, len);
      } else if (cell.kind == Cell::kReal) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, cell.d);
        len = std::min<std::size_t>(r.ptr - buf, static_cast<std::size_t>(out.width - 1));
        std::memcpy(dst, buf, len);
      }
      dst[len] = '\0';
      return;
    }
    case HostKind::kInt16:
      *static_cast<std::int16_t*>(out.addr) = Saturate<std::int16_t>(CellInt(rs, cell));
      return;
    case HostKind::kInt32:
      *static_cast<std::int32_t*>(out.addr) = Saturate<std::int32_t>(CellInt(rs, cell));
      return;
    case HostKind::kFloat64:
      *static_cast<double*>(out.addr) = CellReal(rs, cell);
      return;
  }
}

int Connect(std::string_view connectString) {
  TheBackend().reset();
  TheFaults().count = 0;
  FaultsFromEnvironment();
  if (connectString.size() > 100) return kConnectStringTooLong;
  // user "/" password "@" net service name; the name is what follows the last '@'.
  auto slash = connectString.find('/');
  auto at = connectString.rfind('@');
  // A libpq connection string may hold an '@' of its own (a URI).
  if (auto pg = connectString.find("@pg:", slash); slash != std::string_view::npos &&
                                                   pg != std::string_view::npos)
    at = pg;
  if (slash == std::string_view::npos || at == std::string_view::npos || at < slash)
    return kConnectStringTooLong;
  std::string user(connectString.substr(0, slash));
  std::string password(connectString.substr(slash + 1, at - slash - 1));
  std::string net(connectString.substr(at + 1));
  std::unique_ptr<Backend> backend;
  int status;
  if (net.rfind("pg:", 0) == 0) {
    status = OpenPgBackend(net.substr(3), user, password, &backend);
    std::fill(password.begin(), password.end(), '\0');
  } else {
    status = OpenSqliteBackend(net, &backend);
  }
  if (status == kOk) TheBackend() = std::move(backend);
  return status;
}

void Disconnect() { TheBackend().reset(); }
bool Connected() { return TheBackend() != nullptr; }
Backend* CurrentBackend() { return TheBackend().get(); }

void Install(std::unique_ptr<Backend> backend) {
  TheBackend() = std::move(backend);
  TheFaults().count = 0;
}

int SelectOne(const Statement& st, std::span<const HostVar> in, std::span<const HostVar> out) {
  if (int f = Injected(st)) return f;
  Backend* b = CurrentBackend();
  if (!b) return kNotConnected;
  thread_local ResultSet rs;
  rs.Clear();
  int status = b->Query(st, in, &rs, 2);
  if (status != kOk) return status;
  if (rs.Rows() == 0) return kNoData;
  if (rs.Rows() > 1) return kTooManyRows;
  CopyRow(rs, 0, out);
  return kOk;
}

int Open(Cursor& c, const Statement& st, std::span<const HostVar> in) {
  c.rows_.Clear();
  c.next_ = 0;
  c.open_ = false;
  c.stmt_ = &st;
  if (int f = Injected(st)) return f;
  Backend* b = CurrentBackend();
  if (!b) return kNotConnected;
  int status = b->Query(st, in, &c.rows_, 0);
  if (status != kOk) {
    c.rows_.Clear();
    return status;
  }
  c.open_ = true;
  return kOk;
}

int Fetch(Cursor& c, std::span<const HostVar> out) {
  if (c.stmt_) {
    if (int f = Injected(*c.stmt_)) return f;
  }
  if (!c.open_) return -1001;  // invalid cursor
  if (c.next_ >= c.rows_.Rows()) return kNoData;
  CopyRow(c.rows_, c.next_++, out);
  return kOk;
}

int Close(Cursor& c) {
  bool wasOpen = c.open_;
  c.open_ = false;
  c.next_ = 0;
  c.rows_.Clear();
  if (c.stmt_) {
    if (int f = Injected(*c.stmt_)) return f;
  }
  return wasOpen ? kOk : -1001;
}

int Execute(const Statement& st, std::span<const HostVar> in) {
  if (int f = Injected(st)) return f;
  Backend* b = CurrentBackend();
  if (!b) return kNotConnected;
  long changes = 0;
  return b->Exec(st, in, &changes);
}

int GuardedWrite(const WriteStatement& ws, std::span<const HostVar> in, bool zeroRowsIsNoData) {
  // Own operation names, so that a fault aimed at the operation hits its statement.
  const Statement savepoint{"savepoint", ws.savepoint};
  const Statement rollback{"rollback", ws.rollback};
  Execute(savepoint);
  int status = Injected(ws.stmt);
  long changes = 0;
  if (status == kOk) {
    if (Backend* b = CurrentBackend())
      status = b->Exec(ws.stmt, in, &changes);
    else
      status = kNotConnected;
  }
  if (status == kOk && zeroRowsIsNoData && changes == 0) status = kNoData;
  if (status == kOk)
    Execute(kCommitWork);
  else
    Execute(rollback);
  return status;
}

void InjectFault(std::string_view op, int status, int times) {
  Faults& f = TheFaults();
  f.op = std::string(op);
  f.opStatus = status;
  f.opTimes = times;
}

void InjectFaultAt(long n, int status) {
  TheFaults().at = n;
  TheFaults().atStatus = status;
}

void ClearFaults() {
  Faults& f = TheFaults();
  f.op.clear();
  f.opTimes = 0;
  f.at = 0;
}

long StatementCount() { return TheFaults().count; }

}  // namespace rt
