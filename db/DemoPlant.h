// A demonstration plant: works calendar, day types, shift models with breaks,
// assignments, workplaces, booking messages, message buffer rows,
// recalculation markers and the evaluation parameter row, generated from a
// fixed seed. The generator hands its rows to a sink, so the same plant can be
// written into any database; the SQLite sink is here.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace demo {

// The size of the plant. Messages are per workplace and working day (Monday
// to Friday): every order position takes a begin and an end, the rest are
// interruptions, an "AU" and an "AW" each.
struct PlantOptions {
  int workplaces = 12;
  int groups = 3;
  int days = 28;       // days of history, the days before today
  int positions = 3;   // order positions per workplace and working day
  int messages = 30;   // booking messages per workplace and working day
  std::uint64_t seed = 1;
  std::string today;   // yyyymmdd
};

// Limits of the options; Check reports the first one broken.
bool CheckOptions(const PlantOptions& options, std::string* error);

struct PlantSummary {
  int workplaces = 0;
  int groups = 0;
  int days = 0;
  int workingDays = 0;
  std::string firstDay;  // yyyymmdd, first day of history
  std::string lastDay;   // yyyymmdd, the day before today
  std::string calendarFrom, calendarTo;  // yyyymmdd
  std::int64_t messages = 0;
  int running = 0;      // message buffer rows: positions running at the end
  int interrupted = 0;  // of them interrupted
  int markers = 0;
};

// One column value. Dates are texts 'YYYY-MM-DD', timestamps
// 'YYYY-MM-DD HH:MM:SS'; a sink stores them as its database keeps dates.
// Texts are valid for the duration of the Row call.
struct Value {
  enum Kind : std::uint8_t { kNull, kInt, kReal, kText, kDate } kind = kNull;
  std::int64_t i = 0;
  double d = 0;
  std::string_view text;

  static Value Null() { return {}; }
  static Value Int(std::int64_t v) { return {kInt, v, 0, {}}; }
  static Value Real(double v) { return {kReal, 0, v, {}}; }
  static Value Text(std::string_view v) { return {kText, 0, 0, v}; }
  static Value Date(std::string_view v) { return {kDate, 0, 0, v}; }
};

// Where the rows go. Table declares a table's columns once and answers a
// handle for its rows (negative on failure); Row writes one row with the
// values in the declared order. Commit makes the whole load durable at once.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual int Table(std::string_view table, std::span<const char* const> columns) = 0;
  virtual bool Row(int table, std::span<const Value> values) = 0;
  virtual bool Commit() = 0;
  virtual const std::string& Error() const = 0;
};

// Generates the plant into the sink. False with a reason when the options are
// out of their limits or the sink fails; the sink is then not committed.
bool GeneratePlant(const PlantOptions& options, RowSink& sink, PlantSummary* summary,
                   std::string* error);

// A SQLite database file with the schema, loaded in one transaction with one
// prepared statement per table.
class SqliteRowSink final : public RowSink {
 public:
  // Opens an existing database file and begins the transaction.
  static std::unique_ptr<SqliteRowSink> Open(const std::string& path, std::string* error);
  ~SqliteRowSink() override;  // an uncommitted load is rolled back

  int Table(std::string_view table, std::span<const char* const> columns) override;
  bool Row(int table, std::span<const Value> values) override;
  bool Commit() override;
  const std::string& Error() const override { return error_; }

 private:
  SqliteRowSink() = default;
  bool Fail(const std::string& what);

  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;  // one insert per declared table
  std::vector<std::size_t> columns_;        // and its number of columns
  bool open_ = false;  // transaction begun and not yet ended
  std::string error_;
};

// Workplace number of the workplace with index i (0-based): "0000001001" on.
std::string WorkplaceNumber(int i);

}  // namespace demo
