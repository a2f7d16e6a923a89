// pelvaro-admin encipher TEXT: the stored form of a clear text, for operators
// writing the configuration file.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/Admin.h"
#include "util/Config.h"

namespace {

// The reader keeps 200 characters of a value: 40 clear characters.
constexpr std::size_t kMaxClearLength = 40;

int RunEncipher(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: pelvaro-admin encipher TEXT\n");
    return 2;
  }
  if (args[0].size() > kMaxClearLength) {
    std::fprintf(stderr, "pelvaro-admin encipher: TEXT longer than %zu characters cannot be read back\n",
                 kMaxClearLength);
    return 2;
  }
  std::string stored = pelvaro::EncipherValue(args[0]);
  std::printf("%s\n", stored.c_str());
  return 0;
}

}  // namespace

ADMIN_COMMAND(encipher, "encipher", "TEXT",
              "prints the stored form of a clear configuration value", RunEncipher);
