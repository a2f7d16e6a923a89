#include "main/Args.h"

#include <cstring>
#include <string_view>

#include "util/DateTime.h"
#include "util/Text.h"

namespace pelvaro {

namespace {

constexpr const char* kAllWorkplaces = "0000000000";
constexpr const char* kAdminUser = "QUORVELT";
constexpr const char* kSingleWorkplaceKind = "APL";
constexpr const char* kNoDate = "00000000";

// Argument i cut to max characters (a missing one reads as empty).
std::string_view Arg(int argc, const char* const* argv, int i, std::size_t max) {
  if (argv == nullptr || i >= argc || argv[i] == nullptr) return {};
  return std::string_view(argv[i], strnlen(argv[i], max));
}

RunArgs Refuse(RunArgs args, const char* message, int code) {
  args.mode = '\0';
  args.refused = true;
  args.refusal = ArgsRefusal{"Main()", message, code};
  return args;
}

}  // namespace

RunArgs ReadRunArgs(int argc, const char* const* argv) {
  RunArgs args;
  if (argv == nullptr || argc < 0) argc = 0;
  if (argc < 4) return Refuse(args, "Mindestanzahl Parameter unterschritten", argc);

  CopyText(args.user, Arg(argc, argv, 1, 8));
  CopyText(args.kind, Arg(argc, argv, 2, 3));
  CopyText(args.workplace, Arg(argc, argv, 3, 10));

  if (TextOf(args.workplace) == kAllWorkplaces) {
    args.mode = TextOf(args.user) == kAdminUser ? 'X' : 'M';
  } else {
    args.mode = TextOf(args.kind) == kSingleWorkplaceKind ? 'A' : 'G';
  }
  if (args.mode == 'M') return args;

  if (argc < 6) return Refuse(args, "Mindestanzahl Parameter unterschritten", argc);

  CopyText(args.beginDate, Arg(argc, argv, 4, 8));
  CopyText(args.endDate, Arg(argc, argv, 5, 8));
  if (TextOf(args.beginDate) == kNoDate || !IsCalendarDate(args.beginDate))
    return Refuse(args, "Unzulaessiges Beginndatum", -1);
  if (TextOf(args.endDate) != kNoDate && !IsCalendarDate(args.endDate))
    return Refuse(args, "Unzulaessiges Endedatum", -1);
  return args;
}

}  // namespace pelvaro
