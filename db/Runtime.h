// The SQL runtime: runs the fixed statements of the table operations against
// the connected database backend and answers with status codes.
//
// Every statement is kept as the text the site's database runs. A backend
// executes a mechanically translated form of it (see Translate.h). Inputs bind
// by placeholder name, in the order in which the distinct names first appear
// after the INTO list; outputs follow the select list.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Status codes. Negative codes follow the Oracle error numbers that operators
// know from the log; the full table of backend errors is in Runtime.cpp.
constexpr int kOk = 0;
constexpr int kNoData = 1403;
constexpr int kUniqueViolation = -1;
constexpr int kResourceBusy = -54;
constexpr int kNotConnected = -3114;
constexpr int kInvalidIdentifier = -904;
constexpr int kNoSuchTable = -942;
constexpr int kNotNull = -1400;
constexpr int kTooManyRows = -1422;
constexpr int kInvalidNumber = -1722;
constexpr int kDateFormat = -1861;  // a date text that does not match its format
constexpr int kValueTooLarge = -12899;
constexpr int kConnectStringTooLong = -12154;
constexpr int kOtherError = -20000;

enum class HostKind : std::uint8_t { kText, kInt16, kInt32, kFloat64 };

// One host variable: the address of a program buffer and its kind. A text's
// width is the size of its buffer including the NUL. An optional indicator
// receives -1 for a NULL column and 0 otherwise.
struct HostVar {
  HostKind kind;
  void* addr;
  int width;
  std::int16_t* indicator = nullptr;
};

template <std::size_t N>
inline HostVar Text(char (&buf)[N]) {
  return {HostKind::kText, buf, static_cast<int>(N)};
}
template <std::size_t N>
inline HostVar Text(const char (&buf)[N]) {
  return {HostKind::kText, const_cast<char*>(buf), static_cast<int>(N)};
}
inline HostVar Text(char* buf, int width) { return {HostKind::kText, buf, width}; }
inline HostVar Int16(std::int16_t* v) { return {HostKind::kInt16, v, 2}; }
inline HostVar Int16(const std::int16_t* v) {
  return {HostKind::kInt16, const_cast<std::int16_t*>(v), 2};
}
inline HostVar Int32(std::int32_t* v) { return {HostKind::kInt32, v, 4}; }
inline HostVar Int32(const std::int32_t* v) {
  return {HostKind::kInt32, const_cast<std::int32_t*>(v), 4};
}
inline HostVar Float64(double* v) { return {HostKind::kFloat64, v, 8}; }
inline HostVar Float64(const double* v) { return {HostKind::kFloat64, const_cast<double*>(v), 8}; }

// A static statement. `text` is the statement as the site's database runs it,
// verbatim. `range`, when set, is an extra condition on the raw columns that
// the selection already implies; a backend ANDs it into the WHERE clause so
// that an index serves the statement, without changing the rows delivered. It
// uses the statement's placeholders and DAYLO(:bN) / DAYHI(:bN), the first and
// past-the-last stored value of the day text :bN.
struct Statement {
  const char* op;            // operation name: fault injection and prepared-statement cache key
  const char* text;          // original text
  const char* range = nullptr;
};

// A guarded write: savepoint, statement, COMMIT WORK or rollback to the savepoint.
struct WriteStatement {
  Statement stmt;
  const char* savepoint;  // "savepoint <Op>_Sp"
  const char* rollback;   // "rollback  to <Op>_Sp"
};

// One materialised result row set. Cells of all rows lie in one vector, their
// texts in one arena, so that a cursor over a window costs few allocations.
struct Cell {
  enum Kind : std::uint8_t { kNull, kInt, kReal, kText } kind = kNull;
  std::int64_t i = 0;
  double d = 0;
  std::uint32_t off = 0, len = 0;
};

struct ResultSet {
  int columns = 0;
  std::vector<Cell> cells;
  std::string arena;
  std::size_t Rows() const { return columns ? cells.size() / columns : 0; }
  void Clear() {
    columns = 0;
    cells.clear();
    arena.clear();
  }
};

// A backend: one database connection of one kind. Translation, preparing,
// binding and the backend's error numbers stay behind this interface.
class Backend {
 public:
  virtual ~Backend() = default;
  // Runs a select and materialises up to maxRows rows (0: all) into rs.
  virtual int Query(const Statement& st, std::span<const HostVar> in, ResultSet* rs,
                    std::size_t maxRows) = 0;
  // Runs a statement without result rows; *changes receives the rows touched.
  virtual int Exec(const Statement& st, std::span<const HostVar> in, long* changes) = 0;
  // The text this backend executes for the statement.
  virtual std::string ExecutedText(const Statement& st) = 0;
};

// A cursor: OPEN materialises the rows as they stand, so that FETCH delivers
// them unchanged while the same connection writes and commits in between.
class Cursor {
 public:
  bool IsOpen() const { return open_; }

 private:
  friend int Open(Cursor&, const Statement&, std::span<const HostVar>);
  friend int Fetch(Cursor&, std::span<const HostVar>);
  friend int Close(Cursor&);
  ResultSet rows_;
  std::size_t next_ = 0;
  bool open_ = false;
  const Statement* stmt_ = nullptr;
};

// Connection. The connect string is "user/password@net"; the net service name
// chooses the backend: "pg:<libpq connection string>" or a SQLite file path.
int Connect(std::string_view connectString);
void Disconnect();
bool Connected();
// The backend in use, or nullptr.
Backend* CurrentBackend();
// Installs an already opened backend (tests, tools).
void Install(std::unique_ptr<Backend> backend);

int SelectOne(const Statement& st, std::span<const HostVar> in, std::span<const HostVar> out);
int Open(Cursor& c, const Statement& st, std::span<const HostVar> in);
int Fetch(Cursor& c, std::span<const HostVar> out);
int Close(Cursor& c);
// A single statement without rows (savepoint, commit, ...).
int Execute(const Statement& st, std::span<const HostVar> in = {});
// The guarded write; returns the statement's status, never the commit's.
// With zeroRowsIsNoData, a statement that touches no row answers kNoData.
int GuardedWrite(const WriteStatement& ws, std::span<const HostVar> in,
                 bool zeroRowsIsNoData = false);

// The closing commit of a run.
extern const Statement kCommitWork;

// Fault injection for tests: the next `times` statements of the named
// operation, or the statement with the given 1-based number of the run, answer
// `status` without reaching the database.
void InjectFault(std::string_view op, int status, int times = 1);
void InjectFaultAt(long n, int status);
void ClearFaults();
// Statements run since the connection was made (every statement counts).
long StatementCount();

// Copies one cell into a host variable: a NULL gives an empty text or 0, a text
// longer than its buffer is cut to width - 1 characters.
void CopyCell(const ResultSet& rs, const Cell& cell, const HostVar& out);

}  // namespace rt
