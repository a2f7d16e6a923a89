#include "db/DbDb.h"

#include <cstring>
#include <string_view>

#include "db/Runtime.h"
#include "util/Config.h"

namespace db {

bool BuildConnectString(const char* user, const char* password, const char* net,
                        ConnectString* out) {
  *out = ConnectString();
  std::size_t len = 0;
  for (std::string_view part : {std::string_view(user), std::string_view("/"),
                                std::string_view(password), std::string_view("@"),
                                std::string_view(net)}) {
    if (len + part.size() > sizeof out->arr) {
      *out = ConnectString();
      return false;
    }
    std::memcpy(out->arr + len, part.data(), part.size());
    len += part.size();
  }
  out->len = static_cast<std::uint16_t>(len);
  return true;
}

int dbConnect() {
  char user[52] = {}, password[52] = {}, net[52] = {};
  pelvaro::ReadDbCredentials(user, password, net);
  ConnectString cs;
  bool fits = BuildConnectString(user, password, net, &cs);
  std::memset(password, 0, sizeof password);
  if (!fits) return rt::kConnectStringTooLong;
  int status = rt::Connect(std::string_view(cs.arr, cs.len));
  std::memset(cs.arr, 0, sizeof cs.arr);
  return status;
}

void dbDisconnect() { rt::Execute(rt::kCommitWork); }

}  // namespace db
