// The message log writer. All file access and the clock go through
// CurrentEnv().
#include "util/MsgLog.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "util/Env.h"
#include "util/Text.h"

namespace pelvaro {

namespace {

constexpr std::size_t kNameSize = 65;       // names of at most 64 characters
constexpr std::size_t kMaxLogNameLen = 60;  // leaves room for ".old"
// Message, function and code; wide enough for every entry this program writes
// ("Kein Folgetag im Betriebskalender" with "EvaluateWorkplace" among them).
constexpr std::size_t kTextPartMax = 160;
constexpr std::int32_t kRotationLimit = 3000;
constexpr int kRetryWaitMs = 333;
// Sharing errors that do not go away are given up after about ten seconds.
constexpr int kMaxRetries = 30;

constexpr std::string_view kOldSuffix = ".old";
constexpr std::string_view kMessageLabel = "\r\nMessage____: ";
constexpr std::string_view kFunktionLabel = "\r\nFunktion___: ";
constexpr std::string_view kErrorCodeLabel = "\r\nErrorCode__: ";
constexpr std::string_view kLineEnd = "\r\n";

struct WriterState {
  char logName[kNameSize] = "msg.dat";
  char oldLogName[kNameSize] = "msg.old";
  std::int32_t kindMask = 0;
  std::int32_t writeCount = 0;
  std::int32_t limit = kRotationLimit;
};

WriterState g_state;

// The first '.' and all after it become ".old"; without a '.' it is appended.
void DeriveOldLogName(const char* logName, char (&oldLogName)[kNameSize]) {
  std::string_view name(logName, strnlen(logName, kNameSize));
  std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string derived(name.substr(0, kNameSize - 1 - kOldSuffix.size()));
  derived += kOldSuffix;
  CopyText(oldLogName, derived);
}

bool IsSharingError(FileStatus status) {
  return status == FileStatus::kAccessDenied ||
         status == FileStatus::kSharingViolation ||
         status == FileStatus::kSharingBufferExceeded;
}

// Runs op, and again after a wait for as long as it answers a sharing error,
// up to the bound.
template <typename Op>
FileStatus WithRetries(Env* env, Op op) {
  FileStatus status = op();
  for (int retry = 0; retry < kMaxRetries && IsSharingError(status); ++retry) {
    env->SleepMs(kRetryWaitMs);
    status = op();
  }
  return status;
}

void AppendTwoDigits(std::string& out, int value) {
  value %= 100;
  if (value < 0) value += 100;
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

std::string_view TextOrEmpty(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

// The entry text up to and including the line of the code. Message and
// function texts are cut to fit their part; the message gives way first, the
// code is always whole.
std::string FormatEntry(const LogEntry& entry, const LocalTime& now) {
  std::string text;
  text += '\xFE';
  text += "\r\nSystem-Date: ";
  AppendTwoDigits(text, now.day);
  text += '.';
  AppendTwoDigits(text, now.month);
  text += '.';
  AppendTwoDigits(text, now.year);
  text += "\r\nSystem-Time: ";
  AppendTwoDigits(text, now.hour);
  text += ':';
  AppendTwoDigits(text, now.minute);
  text += ':';
  AppendTwoDigits(text, now.second);
  text += "\r\nMsgArt_____: ";
  static constexpr struct {
    std::int32_t bit;
    const char* name;
  } kKinds[] = {{DMSG, "DMSG "}, {SMSG, "SMSG "}, {FMSG, "FMSG "},
                {WMSG, "WMSG "}, {CMSG, "CMSG "}};
  for (const auto& kind : kKinds) {
    if ((entry.MsgArt & kind.bit) != 0) text += kind.name;
  }

  std::string code = std::to_string(entry.ErrorCode);
  constexpr std::size_t kFixed = kMessageLabel.size() + kFunktionLabel.size() +
                                 kErrorCodeLabel.size() + kLineEnd.size();
  std::size_t room = kTextPartMax - kFixed - code.size();
  std::string_view funktion = TextOrEmpty(entry.Funktion);
  funktion = funktion.substr(0, std::min(funktion.size(), room));
  std::string_view message = TextOrEmpty(entry.Message);
  message = message.substr(0, std::min(message.size(), room - funktion.size()));

  text += kMessageLabel;
  text += message;
  text += kFunktionLabel;
  text += funktion;
  text += kErrorCodeLabel;
  text += code;
  text += kLineEnd;
  return text;
}

void CloseQuietly(std::unique_ptr<WritableFile>& file) {
  if (file) {
    file->Close();
    file.reset();
  }
}

}  // namespace

void MsgInit(std::int32_t kindMask, const char* name) {
  g_state.limit = kRotationLimit;
  if (name != nullptr) CopyText(g_state.logName, kMaxLogNameLen + 1, name);
  g_state.kindMask = kindMask;
  DeriveOldLogName(g_state.logName, g_state.oldLogName);
}

void MsgWrite(const LogEntry* entry) {
  if (entry == nullptr) return;
  const std::int32_t effective = entry->MsgArt & g_state.kindMask;
  if (effective <= 0) return;

  Env* env = CurrentEnv();
  const std::string text = FormatEntry(*entry, env->Now());
  const std::string logPath = NativePath(TextOf(g_state.logName));

  if (g_state.writeCount > g_state.limit) {
    const std::string oldPath = NativePath(TextOf(g_state.oldLogName));
    // A missing old log is fine; one that stays is caught by the move.
    WithRetries(env, [&] { return env->DeleteFile(oldPath); });
    FileStatus moved =
        WithRetries(env, [&] { return env->MoveFile(logPath, oldPath); });
    if (moved != FileStatus::kOk) return;  // the next entry tries again
    g_state.writeCount = 0;
  }

  std::unique_ptr<WritableFile> file;
  FileStatus opened = WithRetries(env, [&] {
    CloseQuietly(file);
    return env->OpenExclusive(logPath, &file);
  });
  if (!file || (opened != FileStatus::kOk && opened != FileStatus::kAlreadyExists)) {
    CloseQuietly(file);
    return;
  }
  if (file->SeekToEnd() != FileStatus::kOk || file->Append(text) != FileStatus::kOk) {
    CloseQuietly(file);
    return;
  }
  if ((effective & DMSG) != 0) {
    std::string dump;
    if (entry->Dump != nullptr && entry->DumpLen > 0) {
      dump.assign(static_cast<const char*>(entry->Dump),
                  static_cast<std::size_t>(entry->DumpLen));
    }
    dump += kLineEnd;
    if (file->Append(dump) != FileStatus::kOk) {
      CloseQuietly(file);
      return;
    }
  }
  if ((effective & SMSG) != 0 && file->Append("\r\n\r\n") != FileStatus::kOk) {
    CloseQuietly(file);
    return;
  }
  if (file->Close() == FileStatus::kOk) ++g_state.writeCount;
}

void MsgResetForTest() { g_state = WriterState{}; }

std::int32_t MsgWriteCountForTest() { return g_state.writeCount; }

void MsgSetWriteCountForTest(std::int32_t count) { g_state.writeCount = count; }

const char* MsgOldLogNameForTest() { return g_state.oldLogName; }

}  // namespace pelvaro
