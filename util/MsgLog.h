// The message log: one entry appended per reported failure, in a text file
// that is opened and closed for every entry and moved aside after a fixed
// number of entries of one process.
#pragma once

#include <cstdint>

namespace pelvaro {

// Kind flags of an entry.
constexpr std::int32_t DMSG = 1;   // with a dump of raw bytes
constexpr std::int32_t SMSG = 2;   // system message
constexpr std::int32_t FMSG = 4;   // failure
constexpr std::int32_t WMSG = 8;   // warning
constexpr std::int32_t CMSG = 16;  // comment

// One report. The texts belong to the caller; Dump, DumpLen and SysText are
// only read for DMSG / SMSG entries.
struct LogEntry {
  const char* Funktion = nullptr;
  const char* Message = nullptr;
  std::int32_t MsgArt = 0;
  std::int32_t ErrorCode = 0;
  const void* Dump = nullptr;
  std::int32_t DumpLen = 0;
  const char* SysText = nullptr;  // not written
};

// Sets the kinds to write, the log name (null keeps the current one, at
// first "msg.dat") and the name the log is moved to when it is full. Touches
// no file.
void MsgInit(std::int32_t kindMask, const char* name);

// Appends the entry to the log, moving a full log aside first. Failures are
// not reported: the entry is lost.
void MsgWrite(const LogEntry* entry);

// Test hooks: back to the state at process start; the count of entries
// written since start or the last move; the name a full log is moved to.
void MsgResetForTest();
std::int32_t MsgWriteCountForTest();
void MsgSetWriteCountForTest(std::int32_t count);
const char* MsgOldLogNameForTest();

}  // namespace pelvaro
