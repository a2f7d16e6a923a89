// Entry point of pelvaro-admin: dispatches to the registered commands.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/Admin.h"

namespace admin {
namespace {
std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> commands;
  return commands;
}

void Usage() {
  std::fprintf(stderr, "usage: pelvaro-admin COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& [name, cmd] : Registry())
    std::fprintf(stderr, "  %s %s\n      %s\n", name.c_str(), cmd.usage, cmd.help);
}
}  // namespace

bool Register(const Command& cmd) {
  Registry()[cmd.name] = cmd;
  return true;
}
}  // namespace admin

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    admin::Usage();
    return argc < 2 ? 2 : 0;
  }
  auto it = admin::Registry().find(argv[1]);
  if (it == admin::Registry().end()) {
    std::fprintf(stderr, "pelvaro-admin: unknown command '%s'\n", argv[1]);
    admin::Usage();
    return 2;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  return it->second.run(args);
}
