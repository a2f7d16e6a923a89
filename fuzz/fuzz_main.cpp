// The libFuzzer entry of one target; PELVARO_FUZZ_ENTRY names its body.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets/FuzzTargets.h"

#ifndef PELVARO_FUZZ_ENTRY
#error "PELVARO_FUZZ_ENTRY must name a target body"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pelvaro::fuzz::PELVARO_FUZZ_ENTRY(data, size);
}
