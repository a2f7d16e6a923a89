#include "util/Idea.h"

namespace pelvaro {

std::uint16_t IdeaMul(std::uint16_t a, std::uint16_t b) {
  std::uint32_t x = a == 0 ? 65536u : a;
  std::uint32_t y = b == 0 ? 65536u : b;
  std::uint64_t p = static_cast<std::uint64_t>(x) * y % 65537u;
  return static_cast<std::uint16_t>(p);  // 65536 becomes 0
}

std::uint16_t IdeaInv(std::uint16_t x) {
  if (x <= 1) return x;
  // Extended Euclid on (65537, x); 65537 is prime, so the inverse exists.
  std::int64_t r0 = 65537, r1 = x;
  std::int64_t t0 = 0, t1 = 1;
  while (r1 != 0) {
    std::int64_t q = r0 / r1;
    std::int64_t r2 = r0 - q * r1;
    r0 = r1;
    r1 = r2;
    std::int64_t t2 = t0 - q * t1;
    t0 = t1;
    t1 = t2;
  }
  if (t0 < 0) t0 += 65537;
  return static_cast<std::uint16_t>(t0);
}

IdeaSubkeys IdeaKeySchedule(const IdeaKey& key) {
  IdeaSubkeys sub{};
  // The 128-bit key as two halves, first key word in the top bits.
  std::uint64_t hi = 0, lo = 0;
  for (int i = 0; i < 4; ++i) hi = (hi << 16) | key[i];
  for (int i = 4; i < 8; ++i) lo = (lo << 16) | key[i];
  std::size_t n = 0;
  while (n < sub.size()) {
    for (int i = 0; i < 8 && n < sub.size(); ++i) {
      std::uint64_t half = i < 4 ? hi : lo;
      sub[n++] = static_cast<std::uint16_t>(half >> (48 - 16 * (i % 4)));
    }
    std::uint64_t newHi = (hi << 25) | (lo >> 39);
    std::uint64_t newLo = (lo << 25) | (hi >> 39);
    hi = newHi;
    lo = newLo;
  }
  return sub;
}

IdeaSubkeys IdeaDecryptKeys(const IdeaSubkeys& ek) {
  IdeaSubkeys dk{};
  auto neg = [](std::uint16_t v) { return static_cast<std::uint16_t>(0u - v); };
  for (int r = 0; r <= 8; ++r) {
    int d = 6 * r;       // decryption round r
    int e = 48 - 6 * r;  // uses the keys of encryption round 8 - r
    dk[d] = IdeaInv(ek[e]);
    // Inner rounds swap the two middle words, so their additive keys swap too.
    bool swap = r > 0 && r < 8;
    dk[d + 1] = neg(ek[e + (swap ? 2 : 1)]);
    dk[d + 2] = neg(ek[e + (swap ? 1 : 2)]);
    dk[d + 3] = IdeaInv(ek[e + 3]);
    if (r < 8) {
      dk[d + 4] = ek[e - 2];
      dk[d + 5] = ek[e - 1];
    }
  }
  return dk;
}

namespace {

void CipherBlock(std::uint16_t block[4], const IdeaSubkeys& k) {
  std::uint16_t x1 = block[0], x2 = block[1], x3 = block[2], x4 = block[3];
  auto add = [](std::uint16_t a, std::uint16_t b) { return static_cast<std::uint16_t>(a + b); };
  for (int r = 0; r < 8; ++r) {
    const std::uint16_t* z = k.data() + 6 * r;
    x1 = IdeaMul(x1, z[0]);
    x2 = add(x2, z[1]);
    x3 = add(x3, z[2]);
    x4 = IdeaMul(x4, z[3]);
    std::uint16_t t0 = IdeaMul(z[4], static_cast<std::uint16_t>(x1 ^ x3));
    std::uint16_t t1 = IdeaMul(z[5], add(t0, static_cast<std::uint16_t>(x2 ^ x4)));
    t0 = add(t0, t1);
    x1 = static_cast<std::uint16_t>(x1 ^ t1);
    x4 = static_cast<std::uint16_t>(x4 ^ t0);
    std::uint16_t middle = static_cast<std::uint16_t>(x2 ^ t0);
    x2 = static_cast<std::uint16_t>(x3 ^ t1);
    x3 = middle;
  }
  // Output transformation; it undoes the swap of the last round.
  block[0] = IdeaMul(x1, k[48]);
  block[1] = add(x3, k[49]);
  block[2] = add(x2, k[50]);
  block[3] = IdeaMul(x4, k[51]);
}

}  // namespace

void IdeaCipher(std::uint16_t* words, std::size_t count, const IdeaSubkeys& subkeys) {
  if (words == nullptr) return;
  for (std::size_t at = 0; at < count; at += 4) {
    std::uint16_t block[4] = {0, 0, 0, 0};
    std::size_t n = count - at < 4 ? count - at : 4;
    for (std::size_t i = 0; i < n; ++i) block[i] = words[at + i];
    CipherBlock(block, subkeys);
    for (std::size_t i = 0; i < n; ++i) words[at + i] = block[i];
  }
}

}  // namespace pelvaro
