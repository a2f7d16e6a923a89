// The configuration file and the cipher of its values. The file holds entries
// of two lines; every value is stored enciphered as five-digit decimal groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelvaro {

// The configuration file as the system names it, relative to the working
// directory.
inline constexpr const char* kConfigFileName = "..\\..\\..\\..\\files\\korvane.ini";

// The environment variable that, when set and not empty, names the
// configuration file instead.
inline constexpr const char* kConfigFileVariable = "KORVANE_INI";

// Key text of the value cipher: its seven letters and the terminating NUL give
// the eight key words.
inline constexpr const char kCipherKeyText[] = "GORVAKL";

// The entry last read by IniRead.
struct IniEntryRecord {
  std::int32_t number = 0;
  char section[201] = {};
  char name[201] = {};
  char value[201] = {};
};

// The process-wide entry that IniRead leaves for its caller.
const IniEntryRecord& IniEntry();

// Looks up the first entry of the file whose section equals section, or whose
// name equals name, or whose number equals number, and leaves it in IniEntry()
// with its value deciphered. Without a match, or when the file cannot be
// opened, IniEntry() holds number 0 and empty texts.
void IniRead(const char* section, const char* name, std::int32_t number,
             const char* fileName);

// The configuration file of this run: $KORVANE_INI if set and not empty,
// otherwise the fixed relative path in this platform's form.
std::string ConfigFilePath();

// Fills the three 52-byte buffers with the clear values of "LOGIN", "PASS" and
// "NET8"; each stays empty when the file gives no value.
void ReadDbCredentials(char* user, char* password, char* netService);

// Deciphers a stored value into out (outSize bytes, at least one per five
// stored characters plus one for a full result; a smaller buffer cuts it).
void DecipherValue(const char* stored, char* out, std::size_t outSize);

// The stored form of a clear text: one word per character, zero words up to a
// multiple of four, enciphered, every word as five decimal digits.
std::string EncipherValue(std::string_view clear);

}  // namespace pelvaro
