// Fuzz target: the value cipher of the configuration file.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/targets/FuzzSupport.h"
#include "fuzz/targets/FuzzTargets.h"
#include "util/Config.h"

namespace pelvaro::fuzz {

namespace {

// Longest clear text enciphered per input; the cipher works block by block,
// longer texts add nothing new.
constexpr std::size_t kMaxClear = 256;

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

int FuzzDecipher(const std::uint8_t* data, std::size_t size) {
  const HeapText stored(AsText(data, size));
  const std::size_t groups = stored.view().size() / 5;

  // The full result: one character per complete group of five, then a NUL.
  GuardedBuffer full(groups + 1);
  DecipherValue(stored.c_str(), full.data(), full.size());
  FUZZ_CHECK(full.GuardIntact());
  FUZZ_CHECK(full.data()[groups] == '\0');

  // Characters after the last complete group do not count.
  const HeapText whole(stored.view().substr(0, 5 * groups));
  GuardedBuffer cut(groups + 1);
  DecipherValue(whole.c_str(), cut.data(), cut.size());
  FUZZ_CHECK(std::memcmp(cut.data(), full.data(), groups + 1) == 0);

  // A smaller buffer holds the leading characters of the full result.
  const std::size_t smaller[] = {1, 2, groups / 2 + 1, groups};
  for (std::size_t outSize : smaller) {
    if (outSize == 0 || outSize > groups + 1) continue;
    GuardedBuffer out(outSize);
    DecipherValue(stored.c_str(), out.data(), out.size());
    FUZZ_CHECK(out.GuardIntact());
    FUZZ_CHECK(std::memcmp(out.data(), full.data(), outSize - 1) == 0);
    FUZZ_CHECK(out.data()[outSize - 1] == '\0');
  }

  // No buffer, or one of no bytes, is left alone.
  GuardedBuffer none(0);
  DecipherValue(stored.c_str(), none.data(), 0);
  FUZZ_CHECK(none.GuardIntact());
  DecipherValue(stored.c_str(), nullptr, 16);
  GuardedBuffer fromNull(4);
  DecipherValue(nullptr, fromNull.data(), fromNull.size());
  FUZZ_CHECK(fromNull.data()[0] == '\0' && fromNull.GuardIntact());

  // The input's text enciphered is digits, 20 per started block of four
  // characters, and deciphers back to the text.
  const std::string_view clear = stored.view().substr(0, kMaxClear);
  const std::string enciphered = EncipherValue(clear);
  FUZZ_CHECK(enciphered.size() == (clear.size() + 3) / 4 * 20);
  FUZZ_CHECK(AllDigits(enciphered));
  GuardedBuffer back(enciphered.size() / 5 + 1);
  DecipherValue(enciphered.c_str(), back.data(), back.size());
  FUZZ_CHECK(back.GuardIntact());
  FUZZ_CHECK(back.Text() == clear);
  return 0;
}

}  // namespace pelvaro::fuzz
