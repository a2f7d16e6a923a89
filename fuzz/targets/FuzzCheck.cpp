// Reporting of broken invariants, shared by all fuzz targets.
#include <cstdio>
#include <cstdlib>

#include "fuzz/targets/FuzzTargets.h"

namespace pelvaro::fuzz {

namespace {
FuzzFailureHandler g_handler = nullptr;
}  // namespace

void SetFuzzFailureHandler(FuzzFailureHandler handler) { g_handler = handler; }

void FuzzCheckFailed(const char* condition, const char* file, int line) {
  if (g_handler != nullptr) g_handler(condition, file, line);
  std::fprintf(stderr, "fuzz invariant broken: %s (%s:%d)\n", condition, file, line);
  std::fflush(stderr);
  std::abort();
}

}  // namespace pelvaro::fuzz
