// Selection of the Env the program uses, and the path form of this platform.
#include "util/Env.h"

#include <atomic>

namespace pelvaro {

namespace {
std::atomic<Env*> g_current_env{nullptr};
}  // namespace

Env* CurrentEnv() {
  Env* env = g_current_env.load(std::memory_order_acquire);
  return env != nullptr ? env : Env::Default();
}

void SetEnv(Env* env) { g_current_env.store(env, std::memory_order_release); }

std::string NativePath(std::string_view systemPath) {
  std::string path(systemPath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace pelvaro
