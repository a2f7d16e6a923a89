// Fuzz target: the configuration file reader. The input is the whole file,
// read through IniRead with several lookups and through ReadDbCredentials
// with KORVANE_INI naming it.
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/targets/FuzzSupport.h"
#include "fuzz/targets/FuzzTargets.h"
#include "util/Config.h"
#include "util/Text.h"

namespace pelvaro::fuzz {

namespace {

// A stored value is cut to 200 characters, which decipher to at most 40.
constexpr std::size_t kMaxClearValue = 200 / 5;
constexpr std::size_t kCredentialSize = 52;

// A temporary file of this process that every input overwrites; removed at
// process end.
class ScratchFile {
 public:
  ScratchFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp != nullptr && tmp[0] != '\0') ? tmp : "/tmp";
    pattern += "/pelvaro-fuzz-ini-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd >= 0) {
      ::close(fd);
      path_ = name.data();
    }
  }
  ~ScratchFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool Write(std::string_view bytes) {
    if (path_.empty()) return false;
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

ScratchFile& Scratch() {
  static ScratchFile file;
  return file;
}

// Sets an environment variable; its former value comes back at scope end.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
  return strnlen(field, N) < N;
}

// Looks up one entry and checks what IniEntry() holds: texts ended within
// their fields, a value no longer than a deciphered stored value can be, and
// either the cleared record or an entry that matches the lookup.
IniEntryRecord Lookup(const char* section, const char* name, std::int32_t number,
                      const std::string& path) {
  IniRead(section, name, number, path.c_str());
  const IniEntryRecord& e = IniEntry();
  FUZZ_CHECK(Terminated(e.section));
  FUZZ_CHECK(Terminated(e.name));
  FUZZ_CHECK(Terminated(e.value));
  FUZZ_CHECK(std::strlen(e.value) <= kMaxClearValue);
  const bool cleared = e.number == 0 && e.section[0] == '\0' && e.name[0] == '\0' &&
                       e.value[0] == '\0';
  const bool matches = TextOf(e.section) == section || TextOf(e.name) == name ||
                       e.number == number;
  FUZZ_CHECK(cleared || matches);
  return e;
}

}  // namespace

int FuzzConfigFile(const std::uint8_t* data, std::size_t size) {
  ScratchFile& file = Scratch();
  if (!file.Write(AsText(data, size))) return 0;
  const std::string& path = file.path();

  // The lookups of the credentials, then one by section, by number and by
  // the extreme numbers a long number text is held to, and one that only a
  // number can satisfy, so the whole file is read.
  const char* names[3] = {"LOGIN", "PASS", "NET8"};
  IniEntryRecord byName[3];
  for (int i = 0; i < 3; ++i) byName[i] = Lookup("", names[i], 0, path);
  Lookup("DB", "\n", -1, path);
  Lookup("\n", "\n", 1, path);
  Lookup("\n", "\n", INT32_MAX, path);
  Lookup("\n", "\n", INT32_MIN, path);
  Lookup("\n", "\n", 123456789, path);

  // ReadDbCredentials reads the file KORVANE_INI names and gives the same
  // values, cut to its 52-byte buffers.
  GuardedBuffer user(kCredentialSize);
  GuardedBuffer password(kCredentialSize);
  GuardedBuffer netService(kCredentialSize);
  {
    ScopedVariable named(kConfigFileVariable, path);
    FUZZ_CHECK(ConfigFilePath() == path);
    ReadDbCredentials(user.data(), password.data(), netService.data());
  }
  GuardedBuffer* out[3] = {&user, &password, &netService};
  for (int i = 0; i < 3; ++i) {
    FUZZ_CHECK(out[i]->GuardIntact());
    FUZZ_CHECK(out[i]->Terminated());
    const std::string_view expected = TextOf(byName[i].value).substr(0, kCredentialSize - 1);
    FUZZ_CHECK(out[i]->Text() == expected);
  }
  return 0;
}

}  // namespace pelvaro::fuzz
