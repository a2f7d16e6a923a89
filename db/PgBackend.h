// The server backend: one PostgreSQL connection over libpq.
#pragma once

#include <memory>
#include <string>

#include "db/Runtime.h"

namespace rt {

// Connects with `conninfo`, a libpq connection string, and the user name and
// password as keywords of their own (an empty one is left out). Returns kOk or
// a negative status (see PgConnectStatus).
int OpenPgBackend(const std::string& conninfo, const std::string& user,
                  const std::string& password, std::unique_ptr<Backend>* out);

// Maps the SQLSTATE of a failed statement to a status code; a null or empty
// state (the server was not reached) maps to a lost connection.
int PgStatus(const char* sqlstate);

// Creates every table of the schema in an existing database, in one
// transaction. Refuses (returns false with a reason) when one of the tables
// exists already.
bool CreatePostgresTables(const std::string& conninfo, const std::string& user,
                          const std::string& password, std::string* error);

}  // namespace rt
