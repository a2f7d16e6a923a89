#include "util/Config.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "util/Env.h"
#include "util/Idea.h"
#include "util/Text.h"

namespace pelvaro {

namespace {

// Read limits of the two lines of an entry, the newline counted, plus the NUL.
constexpr int kLine1Size = 200;
constexpr int kLine2Size = 400;

// The number text is read into 11 characters; a longer one is cut.
constexpr std::size_t kNumberTextSize = 12;

IniEntryRecord& Entry() {
  static IniEntryRecord entry;
  return entry;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads one line like fgets: at most size - 1 characters, up to and including
// the newline. A carriage return before a newline is dropped, as reading in
// text mode does. False when nothing could be read.
bool ReadLine(std::FILE* f, char* buf, int size) {
  int n = 0;
  while (n < size - 1) {
    int c = std::getc(f);
    if (c == EOF) break;
    if (c == '\r') {
      int next = std::getc(f);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, f);
      }
    }
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buf[n] = '\0';
  return n > 0;
}

// A field between two delimiters; when they stand side by side the field is
// the whole rest of the line after the first of them, newline included.
std::string_view Field(std::string_view line, std::size_t begin, std::size_t end) {
  if (end == begin) return line.substr(begin);
  return line.substr(begin, end - begin);
}

// The section: the text between the first and second ';' of line 1; empty
// when the line has fewer than two.
void TakeSection(std::string_view line, IniEntryRecord& e) {
  std::size_t first = line.find(';');
  if (first == std::string_view::npos) return;
  std::size_t second = line.find(';', first + 1);
  if (second == std::string_view::npos) return;
  CopyText(e.section, Field(line, first + 1, second));
}

// The number as strtol reads it from the (cut) number text, held to 32 bits.
std::int32_t NumberOf(std::string_view text) {
  char buf[kNumberTextSize];
  CopyText(buf, sizeof buf, text);
  errno = 0;
  long v = std::strtol(buf, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// Number, name and value from line 2: "number;name;value\n". A line without
// any ';' is taken as a number text alone: the number comes from the whole
// line, name and value stay empty. The value runs to the newline; a line
// without one (the file's last line, or the first part of a line longer than
// the read limit) gives an empty value.
void TakeNumberNameValue(std::string_view line, IniEntryRecord& e) {
  std::size_t first = line.find(';');
  if (first == std::string_view::npos) {
    e.number = NumberOf(line);
    return;
  }
  e.number = NumberOf(Field(line, 0, first));
  std::size_t second = line.find(';', first + 1);
  std::size_t valueBegin = first + 1;
  if (second != std::string_view::npos) {
    CopyText(e.name, Field(line, first + 1, second));
    valueBegin = second + 1;
  }
  std::size_t newline = line.find('\n', valueBegin);
  if (newline != std::string_view::npos) CopyText(e.value, Field(line, valueBegin, newline));
}

IdeaKey CipherKey() {
  IdeaKey key{};
  for (std::size_t i = 0; i < key.size(); ++i)
    key[i] = static_cast<unsigned char>(kCipherKeyText[i]);
  return key;
}

}  // namespace

const IniEntryRecord& IniEntry() { return Entry(); }

void IniRead(const char* section, const char* name, std::int32_t number,
             const char* fileName) {
  IniEntryRecord& e = Entry();
  e = IniEntryRecord{};
  if (fileName == nullptr) return;
  FilePtr file(std::fopen(fileName, "r"));
  if (!file) return;
  std::string_view wantSection = section != nullptr ? section : "";
  std::string_view wantName = name != nullptr ? name : "";

  char line1[kLine1Size];
  char line2[kLine2Size];
  for (;;) {
    ReadLine(file.get(), line1, kLine1Size);  // an end of file shows at line 2
    if (!ReadLine(file.get(), line2, kLine2Size)) return;
    TakeSection(line1, e);
    TakeNumberNameValue(line2, e);
    if (TextOf(e.section) == wantSection || TextOf(e.name) == wantName ||
        e.number == number) {
      char stored[sizeof e.value];
      CopyText(stored, TextOf(e.value));
      DecipherValue(stored, e.value, sizeof e.value);
      return;
    }
    e = IniEntryRecord{};
  }
}

std::string ConfigFilePath() {
  const char* named = std::getenv(kConfigFileVariable);
  if (named != nullptr && named[0] != '\0') return named;
  return NativePath(kConfigFileName);
}

void ReadDbCredentials(char* user, char* password, char* netService) {
  constexpr std::size_t kSize = 52;
  const std::string path = ConfigFilePath();
  const char* names[3] = {"LOGIN", "PASS", "NET8"};
  char* targets[3] = {user, password, netService};
  for (int i = 0; i < 3; ++i) {
    IniRead("", names[i], 0, path.c_str());
    if (targets[i] != nullptr) CopyText(targets[i], kSize, TextOf(Entry().value));
  }
}

void DecipherValue(const char* stored, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  out[0] = '\0';
  if (stored == nullptr) return;
  const std::size_t n = std::strlen(stored) / 5;
  if (n == 0) return;

  std::vector<std::uint16_t> words(n);
  for (std::size_t i = 0; i < n; ++i) {
    char group[6];
    std::memcpy(group, stored + 5 * i, 5);
    group[5] = '\0';
    // strtol's reading of the group, taken modulo 2^16 like any 16-bit store.
    words[i] = static_cast<std::uint16_t>(std::strtol(group, nullptr, 10));
  }
  IdeaCipher(words.data(), words.size(), IdeaDecryptKeys(IdeaKeySchedule(CipherKey())));

  std::size_t len = n < outSize - 1 ? n : outSize - 1;
  for (std::size_t i = 0; i < len; ++i) out[i] = static_cast<char>(words[i] & 0xFF);
  out[len] = '\0';
}

std::string EncipherValue(std::string_view clear) {
  std::vector<std::uint16_t> words((clear.size() + 3) / 4 * 4, 0);
  for (std::size_t i = 0; i < clear.size(); ++i) words[i] = static_cast<unsigned char>(clear[i]);
  IdeaCipher(words.data(), words.size(), IdeaKeySchedule(CipherKey()));

  std::string stored;
  stored.reserve(words.size() * 5);
  for (std::uint16_t w : words) {
    char group[8];
    std::snprintf(group, sizeof group, "%05u", static_cast<unsigned>(w));
    stored += group;
  }
  return stored;
}

}  // namespace pelvaro
