// The embedded backend: one SQLite database file.
#pragma once

#include <memory>
#include <string>

#include "db/Runtime.h"

struct sqlite3;

namespace rt {

// Opens an existing database file (never creates one) and returns kOk or a
// negative status.
int OpenSqliteBackend(const std::string& path, std::unique_ptr<Backend>* out);

// Registers the functions the executed statements use (the date conversion)
// on a connection; the backend does it for its own, tools and tests for theirs.
void RegisterSqliteFunctions(sqlite3* db);

// Maps a SQLite result code (extended) and message to a status code.
int SqliteStatus(int code, const char* message);

}  // namespace rt
