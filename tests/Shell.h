// Command lines run through the shell for the tests of the companion
// programs: quoting, and stdout and stderr captured apart.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace shell {

inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Result {
  int status = -1;
  std::string out, err;
};

inline Result Shell(const std::string& command) {
  char errPath[] = "/tmp/pelvaro-shell-err-XXXXXX";
  int fd = mkstemp(errPath);
  if (fd >= 0) close(fd);
  Result r;
  FILE* p = popen((command + " 2>" + Quote(errPath)).c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream err(errPath);
  r.err.assign(std::istreambuf_iterator<char>(err), {});
  unlink(errPath);
  return r;
}

}  // namespace shell
