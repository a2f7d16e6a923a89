// Fuzz target: the command line. The input holds the argument words, argument
// 0 (the program) first, separated by NUL bytes; at most seven are taken.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/targets/FuzzSupport.h"
#include "fuzz/targets/FuzzTargets.h"
#include "main/Args.h"
#include "util/Text.h"

namespace pelvaro::fuzz {

namespace {

constexpr std::size_t kMaxWords = 7;

constexpr const char* kTooFew = "Mindestanzahl Parameter unterschritten";
constexpr const char* kBadBegin = "Unzulaessiges Beginndatum";
constexpr const char* kBadEnd = "Unzulaessiges Endedatum";

// Eight digits naming a real day from the year 1 on, by the standard
// library's calendar.
bool IsRealDate(std::string_view text) {
  if (text.size() != 8) return false;
  int v[8];
  for (std::size_t i = 0; i < 8; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v[i] = text[i] - '0';
  }
  const int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(v[4] * 10 + v[5])},
                                         std::chrono::day{static_cast<unsigned>(v[6] * 10 + v[7])}};
  return year >= 1 && date.ok();
}

bool Is(const char* text, const char* expected) {
  return text != nullptr && std::strcmp(text, expected) == 0;
}

// What a command line must give: its texts cut to their lengths, and the
// mode or the refusal they select.
struct Expected {
  std::string_view user, kind, workplace, begin, end;
  char mode = '\0';
  const char* refusal = nullptr;
  int code = 0;
};

Expected Expect(const std::vector<HeapText>& words) {
  Expected e;
  const int argc = static_cast<int>(words.size());
  auto cut = [&](int i, std::size_t max) {
    return i < argc ? words[static_cast<std::size_t>(i)].view().substr(0, max) : std::string_view();
  };
  if (argc < 4) {
    e.refusal = kTooFew;
    e.code = argc;
    return e;
  }
  e.user = cut(1, 8);
  e.kind = cut(2, 3);
  e.workplace = cut(3, 10);
  char mode;
  if (e.workplace == "0000000000") {
    mode = e.user == "QUORVELT" ? 'X' : 'M';
  } else {
    mode = e.kind == "APL" ? 'A' : 'G';
  }
  if (mode == 'M') {
    e.mode = mode;
    return e;
  }
  if (argc < 6) {
    e.refusal = kTooFew;
    e.code = argc;
    return e;
  }
  e.begin = cut(4, 8);
  e.end = cut(5, 8);
  if (e.begin == "00000000" || !IsRealDate(e.begin)) {
    e.refusal = kBadBegin;
    e.code = -1;
  } else if (e.end != "00000000" && !IsRealDate(e.end)) {
    e.refusal = kBadEnd;
    e.code = -1;
  } else {
    e.mode = mode;
  }
  return e;
}

}  // namespace

int FuzzArgs(const std::uint8_t* data, std::size_t size) {
  std::vector<HeapText> words;
  for (std::string_view part : SplitParts(AsText(data, size), '\0', kMaxWords))
    words.emplace_back(part);
  std::vector<const char*> argv;
  for (const HeapText& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  const RunArgs args = ReadRunArgs(argc, argv.data());

  // Every text ends within its field, at most as long as its argument is cut.
  FUZZ_CHECK(TextOf(args.user).size() <= 8);
  FUZZ_CHECK(TextOf(args.kind).size() <= 3);
  FUZZ_CHECK(TextOf(args.workplace).size() <= 10);
  FUZZ_CHECK(TextOf(args.beginDate).size() <= 8);
  FUZZ_CHECK(TextOf(args.endDate).size() <= 8);

  if (args.refused) {
    FUZZ_CHECK(args.mode == '\0');
    FUZZ_CHECK(Is(args.refusal.funktion, "Main()"));
    FUZZ_CHECK(Is(args.refusal.message, kTooFew) || Is(args.refusal.message, kBadBegin) ||
               Is(args.refusal.message, kBadEnd));
  } else {
    FUZZ_CHECK(args.mode == 'A' || args.mode == 'G' || args.mode == 'X' || args.mode == 'M');
    if (args.mode != 'M') {
      FUZZ_CHECK(IsRealDate(TextOf(args.beginDate)));
      FUZZ_CHECK(TextOf(args.endDate) == "00000000" || IsRealDate(TextOf(args.endDate)));
    }
  }

  const Expected e = Expect(words);
  FUZZ_CHECK(args.refused == (e.refusal != nullptr));
  if (args.refused) {
    FUZZ_CHECK(Is(args.refusal.message, e.refusal));
    FUZZ_CHECK(args.refusal.errorCode == e.code);
  } else {
    FUZZ_CHECK(args.mode == e.mode);
  }
  FUZZ_CHECK(TextOf(args.user) == e.user);
  FUZZ_CHECK(TextOf(args.kind) == e.kind);
  FUZZ_CHECK(TextOf(args.workplace) == e.workplace);
  FUZZ_CHECK(TextOf(args.beginDate) == e.begin);
  FUZZ_CHECK(TextOf(args.endDate) == e.end);

  // Without a word vector the command line counts no words.
  const RunArgs none = ReadRunArgs(argc, nullptr);
  FUZZ_CHECK(none.refused && Is(none.refusal.message, kTooFew) && none.refusal.errorCode == 0);
  return 0;
}

}  // namespace pelvaro::fuzz
