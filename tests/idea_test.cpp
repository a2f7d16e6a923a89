#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "util/Idea.h"

namespace pelvaro {
namespace {

TEST(IdeaTest, PublishedVectorEnciphersAndDeciphers) {
  const IdeaKey key = {1, 2, 3, 4, 5, 6, 7, 8};
  const IdeaSubkeys ek = IdeaKeySchedule(key);
  std::uint16_t block[4] = {0, 1, 2, 3};
  IdeaCipher(block, 4, ek);
  EXPECT_EQ(block[0], 0x11FB);
  EXPECT_EQ(block[1], 0xED2B);
  EXPECT_EQ(block[2], 0x0198);
  EXPECT_EQ(block[3], 0x6DE5);

  IdeaCipher(block, 4, IdeaDecryptKeys(ek));
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 2);
  EXPECT_EQ(block[3], 3);
}

TEST(IdeaTest, MulTreatsZeroAs65536) {
  struct Case {
    std::uint16_t a, b, product;
  };
  const Case cases[] = {
      {0, 0, 1},          // 65536 * 65536 = (-1)(-1)
      {0, 1, 0},          // 65536
      {1, 12345, 12345},
      {0, 2, 65535},      // (-1) * 2 = -2
      {2, 32769, 1},      // 65538
      {65535, 65535, 4},  // (-2)(-2)
      {0, 65535, 2},      // (-1)(-2)
      {256, 256, 0},      // 65536
      {3, 7, 21},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IdeaMul(c.a, c.b), c.product) << c.a << " * " << c.b;
    EXPECT_EQ(IdeaMul(c.b, c.a), c.product) << c.b << " * " << c.a;
  }
}

TEST(IdeaTest, InvIsTheInverseForEveryWord) {
  EXPECT_EQ(IdeaInv(0), 0);
  EXPECT_EQ(IdeaInv(1), 1);
  EXPECT_EQ(IdeaInv(2), 32769);
  EXPECT_EQ(IdeaInv(65535), 32768);
  for (std::uint32_t x = 0; x <= 0xFFFF; ++x) {
    auto w = static_cast<std::uint16_t>(x);
    ASSERT_EQ(IdeaMul(w, IdeaInv(w)), 1) << x;
  }
}

// Keys with zero words make the schedule carry 0 (= 65536) into the
// multiplications; decryption must still invert them.
TEST(IdeaTest, DecryptionInvertsEncryptionForAnyKey) {
  const IdeaKey keys[] = {
      {0, 0, 0, 0, 0, 0, 0, 0},
      {'G', 'O', 'R', 'V', 'A', 'K', 'L', 0},
      {0xFFFF, 0, 0xFFFF, 1, 0x8000, 0x7FFF, 0x1234, 0xABCD},
  };
  std::mt19937 rng(42);
  for (const IdeaKey& key : keys) {
    const IdeaSubkeys ek = IdeaKeySchedule(key);
    const IdeaSubkeys dk = IdeaDecryptKeys(ek);
    std::vector<std::uint16_t> plain(64);
    for (auto& w : plain) w = static_cast<std::uint16_t>(rng());
    plain[0] = 0;  // a zero word in the input as well
    std::vector<std::uint16_t> words = plain;
    IdeaCipher(words.data(), words.size(), ek);
    EXPECT_NE(words, plain);
    IdeaCipher(words.data(), words.size(), dk);
    EXPECT_EQ(words, plain);
  }
}

TEST(IdeaTest, ShortLastBlockIsZeroFilledAndCut) {
  const IdeaSubkeys ek = IdeaKeySchedule({1, 2, 3, 4, 5, 6, 7, 8});
  std::uint16_t full[4] = {5, 6, 0, 0};
  IdeaCipher(full, 4, ek);

  std::uint16_t words[7] = {0, 1, 2, 3, 5, 6, 0xBEEF};
  IdeaCipher(words, 6, ek);  // the second block is {5, 6} and two fill words
  EXPECT_EQ(words[0], 0x11FB);
  EXPECT_EQ(words[4], full[0]);
  EXPECT_EQ(words[5], full[1]);
  EXPECT_EQ(words[6], 0xBEEF);  // past the count: untouched
}

}  // namespace
}  // namespace pelvaro
