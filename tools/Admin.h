// pelvaro-admin: companion commands for operators. Each command lives in its
// own file and registers itself with ADMIN_COMMAND.
#pragma once

#include <string>
#include <vector>

namespace admin {

using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* usage;  // arguments, for the help text
  const char* help;   // one line
  CommandFn run;
};

bool Register(const Command& cmd);

}  // namespace admin

#define ADMIN_COMMAND(ident, name, usage, help, fn) \
  static const bool ident##_registered = ::admin::Register({name, usage, help, fn})
