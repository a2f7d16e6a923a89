// The tables of the evaluation, as DDL for each backend, and the creation of a
// new database from it.
#pragma once

#include <string>

namespace rt {

extern const char* const kSchemaSqlite;
extern const char* const kSchemaPostgres;

// Creates a new SQLite database file with every table. Refuses (returns false
// with a reason) when the file exists already.
bool CreateSqliteDatabase(const std::string& path, std::string* error);

}  // namespace rt
