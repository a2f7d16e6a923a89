// The embedded backend: one SQLite database file.
#pragma once

#include <memory>
#include <string>

#include "db/Runtime.h"

namespace rt {

// Opens an existing database file (never creates one) and returns kOk or a
// negative status.
int OpenSqliteBackend(const std::string& path, std::unique_ptr<Backend>* out);

// Maps a SQLite result code (extended) and message to a status code.
int SqliteStatus(int code, const char* message);

}  // namespace rt
