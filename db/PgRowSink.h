// The demonstration plant into a PostgreSQL database that has the tables.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include "db/DemoPlant.h"

namespace demo {

// Loads the rows in one transaction, with one prepared insert per table; the
// values go as texts that the server reads by the column's type.
class PgRowSink final : public RowSink {
 public:
  // Connects (user and password as keywords of their own, an empty one left
  // out) and begins the transaction.
  static std::unique_ptr<PgRowSink> Open(const std::string& conninfo, const std::string& user,
                                         const std::string& password, std::string* error);
  ~PgRowSink() override;  // an uncommitted load is rolled back with the connection

  int Table(std::string_view table, std::span<const char* const> columns) override;
  bool Row(int table, std::span<const Value> values) override;
  bool Commit() override;
  const std::string& Error() const override { return error_; }

 private:
  PgRowSink() = default;
  bool Fail(const std::string& what);

  PGconn* conn_ = nullptr;
  std::vector<std::size_t> columns_;  // per declared table, prepared as "t<index>"
  std::vector<std::string> texts_;
  std::vector<const char*> pointers_;
  bool open_ = false;
  std::string error_;
};

}  // namespace demo
