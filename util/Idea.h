// The IDEA block cipher: 64-bit blocks of four 16-bit words, 128-bit key of
// eight 16-bit words, eight rounds and an output transformation. The
// configuration file stores its values enciphered with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelvaro {

using IdeaKey = std::array<std::uint16_t, 8>;
using IdeaSubkeys = std::array<std::uint16_t, 52>;

// Multiplication modulo 65537; the word 0 stands for 65536.
std::uint16_t IdeaMul(std::uint16_t a, std::uint16_t b);

// Multiplicative inverse modulo 65537 (0, standing for 65536, and 1 are their
// own inverses).
std::uint16_t IdeaInv(std::uint16_t x);

// The 52 encryption subkeys: the key words, then the 128-bit key rotated left
// by 25 bits after every eight words.
IdeaSubkeys IdeaKeySchedule(const IdeaKey& key);

// The decryption subkeys belonging to a set of encryption subkeys.
IdeaSubkeys IdeaDecryptKeys(const IdeaSubkeys& encrypt);

// Runs the cipher over count words in place, four words to a block, with
// encryption or decryption subkeys. A last block of fewer than four words is
// filled up with zero words for the computation; the outputs of the fill words
// are dropped.
void IdeaCipher(std::uint16_t* words, std::size_t count, const IdeaSubkeys& subkeys);

}  // namespace pelvaro
