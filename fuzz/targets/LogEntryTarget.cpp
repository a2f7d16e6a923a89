// Fuzz target: the message log entry. MsgWrite runs against an Env that keeps
// the log in memory, with the clock, the kind mask and the entry taken from
// the input.
//
// Input: a 24-byte header, little-endian, bytes past the input read as 0:
//   0 MsgArt (int32)   4 ErrorCode (int32)   8 kind mask (int32)
//  12 DumpLen (int32, held to the dump bytes present)
//  16 year (int16)    18 month, day, hour, minute, second (int8 each)
//  23 flags: 1 Funktion null, 2 Message null, 4 Dump null,
//            8 the log is full (rotation first), 16 an old log exists
// then Funktion NUL Message NUL and the dump bytes (the rest).
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/targets/FuzzSupport.h"
#include "fuzz/targets/FuzzTargets.h"
#include "util/Env.h"
#include "util/MsgLog.h"

namespace pelvaro::fuzz {

namespace {

constexpr std::size_t kHeaderSize = 24;
constexpr char kLogName[] = ".\\Msg\\Pelvaro.Txt";
constexpr char kLogPath[] = "./Msg/Pelvaro.Txt";
constexpr char kOldPath[] = ".old";
constexpr std::int32_t kFullLog = 3001;
// What an earlier run left in the log.
constexpr std::string_view kEarlier = "\xFE\r\nSystem-Date: 01.01.04\r\n";

// Message text, function text and code digits together never take more than
// this: the writer cuts the texts to fit.
constexpr std::size_t kTextsAndCodeMax = 113;
// Within this much nothing is cut (the room the program's entries need).
constexpr std::size_t kNeverCut = 52;

constexpr std::string_view kDateLabel = "\r\nSystem-Date: ";
constexpr std::string_view kTimeLabel = "\r\nSystem-Time: ";
constexpr std::string_view kKindLabel = "\r\nMsgArt_____: ";
constexpr std::string_view kMessageLabel = "\r\nMessage____: ";
constexpr std::string_view kFunktionLabel = "\r\nFunktion___: ";
constexpr std::string_view kErrorCodeLabel = "\r\nErrorCode__: ";

// Files as strings in memory; the clock answers a fixed time.
class MemoryEnv final : public Env {
 public:
  class File final : public WritableFile {
   public:
    explicit File(std::string* content) : content_(content) {}
    FileStatus SeekToEnd() override { return FileStatus::kOk; }
    FileStatus Append(std::string_view data) override {
      content_->append(data);
      return FileStatus::kOk;
    }
    FileStatus Close() override { return FileStatus::kOk; }

   private:
    std::string* content_;
  };

  FileStatus OpenExclusive(const std::string& path,
                           std::unique_ptr<WritableFile>* file) override {
    ++opens;
    auto [it, created] = files.try_emplace(path);
    *file = std::make_unique<File>(&it->second);
    return created ? FileStatus::kOk : FileStatus::kAlreadyExists;
  }
  FileStatus DeleteFile(const std::string& path) override {
    return files.erase(path) == 1 ? FileStatus::kOk : FileStatus::kNotFound;
  }
  FileStatus MoveFile(const std::string& from, const std::string& to) override {
    if (files.count(to) != 0) return FileStatus::kAlreadyExists;
    auto it = files.find(from);
    if (it == files.end()) return FileStatus::kNotFound;
    files[to] = std::move(it->second);
    files.erase(it);
    return FileStatus::kOk;
  }
  void SleepMs(int) override {}
  LocalTime Now() override { return now; }

  std::map<std::string, std::string> files;
  LocalTime now;
  int opens = 0;
};

// Puts an Env in place and the writer back to its start state; both are
// undone at scope end.
class WriterScope {
 public:
  explicit WriterScope(Env* env) : previous_(CurrentEnv()) {
    SetEnv(env);
    MsgResetForTest();
  }
  ~WriterScope() {
    MsgResetForTest();
    SetEnv(previous_);
  }
  WriterScope(const WriterScope&) = delete;
  WriterScope& operator=(const WriterScope&) = delete;

 private:
  Env* previous_;
};

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Two digits at pos; when the value is not negative they are its last two.
bool TwoDigits(std::string_view text, std::size_t pos, int value) {
  if (pos + 2 > text.size() || !Digit(text[pos]) || !Digit(text[pos + 1])) return false;
  if (value < 0) return true;
  return (text[pos] - '0') * 10 + (text[pos + 1] - '0') == value % 100;
}

bool Take(std::string_view text, std::size_t& pos, std::string_view expected) {
  if (text.substr(pos, expected.size()) != expected) return false;
  pos += expected.size();
  return true;
}

// Three two-digit fields with separators: "DD.MM.YY" or "HH:MM:SS".
bool Fields(std::string_view text, std::size_t& pos, char separator, int a, int b, int c) {
  const bool ok = TwoDigits(text, pos, a) && text.substr(pos + 2, 1) == std::string_view(&separator, 1) &&
                  TwoDigits(text, pos + 3, b) && text.substr(pos + 5, 1) == std::string_view(&separator, 1) &&
                  TwoDigits(text, pos + 6, c);
  pos += 8;
  return ok;
}

std::string KindNames(std::int32_t msgArt) {
  static constexpr struct {
    std::int32_t bit;
    const char* name;
  } kKinds[] = {{DMSG, "DMSG "}, {SMSG, "SMSG "}, {FMSG, "FMSG "}, {WMSG, "WMSG "}, {CMSG, "CMSG "}};
  std::string names;
  for (const auto& kind : kKinds) {
    if ((msgArt & kind.bit) != 0) names += kind.name;
  }
  return names;
}

bool IsPrefix(std::string_view part, std::string_view whole) {
  return part.size() <= whole.size() && whole.substr(0, part.size()) == part;
}

struct Split {
  std::string_view message;
  std::string_view funktion;
};

// Every reading of the text between the message and the code label as the
// leading part of the message, the function label and the leading part of
// the function. Texts that hold the label themselves give more than one.
std::vector<Split> SplitTexts(std::string_view middle, std::string_view message,
                              std::string_view funktion) {
  std::vector<Split> splits;
  const std::size_t most = std::min(message.size(), middle.size());
  for (std::size_t k = 0; k <= most; ++k) {
    std::string_view written = middle.substr(0, k);
    std::string_view rest = middle.substr(k);
    if (written != message.substr(0, k) || !rest.starts_with(kFunktionLabel)) continue;
    rest.remove_prefix(kFunktionLabel.size());
    if (IsPrefix(rest, funktion)) splits.push_back(Split{written, rest});
  }
  return splits;
}

// The entry: 0xFE, the labels in their order with date, time, kind names,
// the leading parts of message and function and the whole code; then the
// dump and the blank lines the effective kinds ask for.
void CheckEntry(std::string_view entry, const LocalTime& now, const LogEntry& in,
                std::int32_t effective, std::string_view message, std::string_view funktion) {
  std::size_t pos = 0;
  FUZZ_CHECK(Take(entry, pos, "\xFE"));
  FUZZ_CHECK(Take(entry, pos, kDateLabel));
  FUZZ_CHECK(Fields(entry, pos, '.', now.day, now.month, now.year));
  FUZZ_CHECK(Take(entry, pos, kTimeLabel));
  FUZZ_CHECK(Fields(entry, pos, ':', now.hour, now.minute, now.second));
  FUZZ_CHECK(Take(entry, pos, kKindLabel));
  FUZZ_CHECK(Take(entry, pos, KindNames(in.MsgArt)));
  FUZZ_CHECK(Take(entry, pos, kMessageLabel));

  const std::string code = std::to_string(in.ErrorCode);
  std::string tail = std::string(kErrorCodeLabel) + code + "\r\n";
  if ((effective & DMSG) != 0) {
    if (in.Dump != nullptr && in.DumpLen > 0)
      tail.append(static_cast<const char*>(in.Dump), static_cast<std::size_t>(in.DumpLen));
    tail += "\r\n";
  }
  if ((effective & SMSG) != 0) tail += "\r\n\r\n";
  FUZZ_CHECK(entry.size() >= pos + tail.size());
  FUZZ_CHECK(entry.ends_with(tail));

  const std::string_view middle = entry.substr(pos, entry.size() - pos - tail.size());
  const std::vector<Split> splits = SplitTexts(middle, message, funktion);
  FUZZ_CHECK(!splits.empty());
  // The texts are cut to their part, the message giving way first (a cut
  // function text leaves no message), and nothing is cut that fits.
  const bool fits = message.size() + funktion.size() + code.size() <= kNeverCut;
  auto keepsTheRules = [&](const Split& split) {
    return split.message.size() + split.funktion.size() + code.size() <= kTextsAndCodeMax &&
           (split.funktion.size() == funktion.size() || split.message.empty()) &&
           (!fits || (split.message.size() == message.size() &&
                      split.funktion.size() == funktion.size()));
  };
  FUZZ_CHECK(std::any_of(splits.begin(), splits.end(), keepsTheRules));
}

}  // namespace

int FuzzLogEntry(const std::uint8_t* data, std::size_t size) {
  const std::string_view in = AsText(data, size);
  const std::uint8_t flags = static_cast<std::uint8_t>(ReadI8(in, 23));
  const std::string_view body = in.substr(std::min(in.size(), kHeaderSize));
  const auto parts = SplitParts(body, '\0', 2);
  const std::string_view funktionText = parts.size() > 0 ? parts[0] : std::string_view();
  const std::string_view messageText = parts.size() > 1 ? parts[1] : std::string_view();
  const std::size_t dumpBegin = std::min(body.size(), funktionText.size() + messageText.size() + 2);
  const std::vector<char> dump(body.begin() + static_cast<std::ptrdiff_t>(dumpBegin), body.end());

  const HeapText funktion(funktionText);
  const HeapText message(messageText);
  LogEntry entry;
  entry.Funktion = (flags & 1) != 0 ? nullptr : funktion.c_str();
  entry.Message = (flags & 2) != 0 ? nullptr : message.c_str();
  entry.MsgArt = ReadI32(in, 0);
  entry.ErrorCode = ReadI32(in, 4);
  const std::int32_t kindMask = ReadI32(in, 8);
  const std::int32_t dumpLen = ReadI32(in, 12);
  entry.Dump = (flags & 4) != 0 ? nullptr : dump.data();
  entry.DumpLen = dumpLen > static_cast<std::int64_t>(dump.size()) ? static_cast<std::int32_t>(dump.size())
                                                                     : dumpLen;

  MemoryEnv env;
  env.now = LocalTime{ReadI16(in, 16), ReadI8(in, 18), ReadI8(in, 19),
                      ReadI8(in, 20), ReadI8(in, 21), ReadI8(in, 22)};
  env.files[kLogPath] = std::string(kEarlier);
  const std::string oldLog = "\xFE older run\r\n";
  if ((flags & 16) != 0) env.files[kOldPath] = oldLog;

  WriterScope scope(&env);
  MsgInit(kindMask, kLogName);
  const bool full = (flags & 8) != 0;
  if (full) MsgSetWriteCountForTest(kFullLog);
  const auto filesBefore = env.files;

  MsgWrite(&entry);

  const std::int32_t effective = entry.MsgArt & kindMask;
  if (effective <= 0) {
    FUZZ_CHECK(env.opens == 0);
    FUZZ_CHECK(env.files == filesBefore);
    FUZZ_CHECK(MsgWriteCountForTest() == (full ? kFullLog : 0));
    return 0;
  }
  FUZZ_CHECK(env.files.count(kLogPath) == 1);
  std::string_view log = env.files[kLogPath];
  if (full) {
    // The full log was moved aside, replacing an older one, and begun anew.
    FUZZ_CHECK(env.files.count(kOldPath) == 1 && env.files[kOldPath] == kEarlier);
    FUZZ_CHECK(MsgWriteCountForTest() == 1);
  } else {
    FUZZ_CHECK(log.starts_with(kEarlier));
    log.remove_prefix(kEarlier.size());
    FUZZ_CHECK(MsgWriteCountForTest() == 1);
    FUZZ_CHECK(((flags & 16) != 0) == (env.files.count(kOldPath) == 1));
  }
  FUZZ_CHECK(env.files.size() == 2 || (!full && (flags & 16) == 0 && env.files.size() == 1));
  CheckEntry(log, env.now, entry, effective,
             entry.Message != nullptr ? message.view() : std::string_view(),
             entry.Funktion != nullptr ? funktion.view() : std::string_view());
  return 0;
}

}  // namespace pelvaro::fuzz
