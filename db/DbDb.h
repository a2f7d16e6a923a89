// The one database connection of a run.
#pragma once

#include <cstdint>
#include <string>

namespace db {

// The connect string as the CONNECT statement takes it: at most 100
// characters with their count.
struct ConnectString {
  std::uint16_t len = 0;
  char arr[100] = {};
};

// Builds user "/" password "@" net service name. Returns false, with an empty
// string, when the three do not fit into 100 characters.
bool BuildConnectString(const char* user, const char* password, const char* net,
                        ConnectString* out);

// Connects with the credentials of the configuration file; returns the
// CONNECT's status.
int dbConnect();

// Ends the run's database work with COMMIT WORK.
void dbDisconnect();

}  // namespace db
