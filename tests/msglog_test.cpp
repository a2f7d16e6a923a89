#include "util/MsgLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/TestEnv.h"
#include "util/Env.h"

namespace pelvaro {
namespace {

using test::EnvOp;
using test::PathExists;
using test::ReadFileBytes;
using test::TestEnv;
using test::WriteFileBytes;

constexpr char kLogName[] = ".\\Msg\\Pelvaro.Txt";
constexpr char kLogPath[] = "Msg/Pelvaro.Txt";
constexpr char kOldPath[] = ".old";

// The expected text of an entry written at 05.03.04 14:07:09, without the
// parts written for DMSG and SMSG.
std::string EntryText(const std::string& kinds, const std::string& message,
                      const std::string& funktion, const std::string& code) {
  return "\xFE\r\nSystem-Date: 05.03.04\r\nSystem-Time: 14:07:09\r\nMsgArt_____: " + kinds +
         "\r\nMessage____: " + message + "\r\nFunktion___: " + funktion +
         "\r\nErrorCode__: " + code + "\r\n";
}

LogEntry Failure(const char* funktion, const char* message, int code) {
  LogEntry entry;
  entry.Funktion = funktion;
  entry.Message = message;
  entry.MsgArt = FMSG;
  entry.ErrorCode = code;
  return entry;
}

std::size_t CountEntries(const std::string& bytes) {
  return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\xFE'));
}

// Runs in a fresh working directory with the test Env and a clock fixed at
// 5 March 2004 14:07:09.
class MsgLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MsgResetForTest();
    env_.SetNow(LocalTime{2004, 3, 5, 14, 7, 9});
  }
  void TearDown() override { MsgResetForTest(); }

  void MakeMsgFolder() { ASSERT_EQ(::mkdir("Msg", 0755), 0); }

  // A log named like the program's, already holding an earlier run's entry.
  void PrepareLog(const std::string& earlier) {
    MakeMsgFolder();
    WriteFileBytes(kLogPath, earlier);
    MsgInit(7, kLogName);
  }

  void WriteFailure(int code) {
    LogEntry entry = Failure("Main()", "Unzulaessiges Beginndatum", code);
    MsgWrite(&entry);
  }

  test::TempDir dir_;
  test::ScopedChdir cwd_{dir_.path()};
  TestEnv env_;
  test::ScopedEnv env_guard_{&env_};
};

TEST_F(MsgLogTest, WorkedEntryIsAppendedByteForByte) {
  const std::string earlier = "entry of an earlier run\r\n";
  PrepareLog(earlier);

  WriteFailure(-1);

  EXPECT_EQ(ReadFileBytes(kLogPath),
            earlier + "\xFE\r\nSystem-Date: 05.03.04\r\nSystem-Time: 14:07:09"
                      "\r\nMsgArt_____: FMSG \r\nMessage____: Unzulaessiges Beginndatum"
                      "\r\nFunktion___: Main()\r\nErrorCode__: -1\r\n");
  EXPECT_EQ(MsgWriteCountForTest(), 1);

  // Clock parts below ten get their leading zero; the year shows two digits.
  env_.SetNow(LocalTime{2011, 12, 31, 23, 0, 59});
  LogEntry second = Failure("Nza_PKeyIns()", "Fehler beim Einfuegen", -1403);
  MsgWrite(&second);
  EXPECT_EQ(ReadFileBytes(kLogPath),
            earlier + EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "-1") +
                "\xFE\r\nSystem-Date: 31.12.11\r\nSystem-Time: 23:00:59"
                "\r\nMsgArt_____: FMSG \r\nMessage____: Fehler beim Einfuegen"
                "\r\nFunktion___: Nza_PKeyIns()\r\nErrorCode__: -1403\r\n");
  EXPECT_EQ(MsgWriteCountForTest(), 2);
}

struct KindCase {
  int msgArt;
  int kindMask;
  bool written;
  std::string names;
  std::string tail;  // what follows the code line
};

TEST_F(MsgLogTest, KindNamesDumpAndSystemPartFollowTheKinds) {
  // A dump with a NUL and the entry mark in it: DumpLen counts, not the text.
  static const char kDump[] = {'d', '\0', '\xFE', 'x', 'y'};
  const std::string dump(kDump, 4);
  const KindCase cases[] = {
      {FMSG, 7, true, "FMSG ", ""},
      {DMSG | FMSG, 7, true, "DMSG FMSG ", dump + "\r\n"},
      {SMSG | FMSG, 7, true, "SMSG FMSG ", "\r\n\r\n"},
      {31, 31, true, "DMSG SMSG FMSG WMSG CMSG ", dump + "\r\n" + "\r\n\r\n"},
      // Names come from the entry, the dump only when DMSG is in the mask.
      {DMSG | FMSG | WMSG, FMSG, true, "DMSG FMSG WMSG ", ""},
      {DMSG | SMSG | CMSG, CMSG, true, "DMSG SMSG CMSG ", ""},
      {WMSG, 7, false, "", ""},
      {CMSG | WMSG, 7, false, "", ""},
      {FMSG, 0, false, "", ""},
  };
  MakeMsgFolder();
  for (const KindCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "MsgArt " << c.msgArt << " mask " << c.kindMask);
    MsgResetForTest();
    ::unlink(kLogPath);
    MsgInit(c.kindMask, kLogName);
    LogEntry entry = Failure("Main()", "Text", 7);
    entry.MsgArt = c.msgArt;
    entry.Dump = kDump;
    entry.DumpLen = 4;
    entry.SysText = "not written";
    MsgWrite(&entry);
    if (c.written) {
      EXPECT_EQ(ReadFileBytes(kLogPath), EntryText(c.names, "Text", "Main()", "7") + c.tail);
      EXPECT_EQ(MsgWriteCountForTest(), 1);
    } else {
      EXPECT_FALSE(PathExists(kLogPath));
      EXPECT_EQ(MsgWriteCountForTest(), 0);
    }
  }
}

TEST_F(MsgLogTest, FullLogMovesToTheOldNameDerivedFromTheFirstDot) {
  struct Case {
    const char* name;  // null: the default name
    std::string logPath;
    std::string oldPath;
  };
  const std::string sixty(60, 'n');
  const Case cases[] = {
      {kLogName, kLogPath, ".old"},
      {nullptr, "msg.dat", "msg.old"},
      {"msg.dat", "msg.dat", "msg.old"},
      {"name", "name", "name.old"},
      {"a.b.c", "a.b.c", "a.old"},
      {"Msg\\daily.log.txt", "Msg/daily.log.txt", "Msg/daily.old"},
      // Longer names are cut to 60 characters so that ".old" still fits.
      {"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn",
       sixty, sixty + ".old"},
  };
  MakeMsgFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name != nullptr ? c.name : "(default)");
    MsgResetForTest();
    MsgInit(7, c.name);
    WriteFileBytes(c.logPath, "full log\r\n");
    WriteFileBytes(c.oldPath, "older log\r\n");
    MsgSetWriteCountForTest(3001);

    WriteFailure(1);

    EXPECT_EQ(ReadFileBytes(c.oldPath), "full log\r\n");
    EXPECT_EQ(ReadFileBytes(c.logPath),
              EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "1"));
    EXPECT_EQ(MsgWriteCountForTest(), 1);
    ::unlink(c.logPath.c_str());
    ::unlink(c.oldPath.c_str());
  }
}

TEST_F(MsgLogTest, RotationHappensAtTheThreeThousandAndSecondEntryOfTheRun) {
  const std::string earlier = "entry of an earlier run\r\n";
  PrepareLog(earlier);
  WriteFileBytes(kOldPath, "rotated long ago\r\n");

  for (int i = 1; i <= 3001; ++i) WriteFailure(i);
  const std::string full = ReadFileBytes(kLogPath);
  EXPECT_EQ(full.substr(0, earlier.size()), earlier);
  EXPECT_EQ(CountEntries(full), 3001u);
  EXPECT_EQ(ReadFileBytes(kOldPath), "rotated long ago\r\n");

  WriteFailure(3002);
  EXPECT_EQ(ReadFileBytes(kOldPath), full);
  EXPECT_EQ(ReadFileBytes(kLogPath),
            EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "3002"));
  EXPECT_FALSE(PathExists("Msg/.old"));
  EXPECT_FALSE(PathExists("Msg/Pelvaro.old"));
  EXPECT_EQ(env_.sleep_count(), 0);
}

TEST_F(MsgLogTest, FailedMoveDropsTheEntryAndTheNextEntryRotates) {
  PrepareLog("full log\r\n");
  // An old log that cannot be deleted: a folder with a file in it.
  ASSERT_EQ(::mkdir(kOldPath, 0755), 0);
  WriteFileBytes(std::string(kOldPath) + "/keep", "x");
  MsgSetWriteCountForTest(3001);

  WriteFailure(1);
  EXPECT_EQ(ReadFileBytes(kLogPath), "full log\r\n");
  EXPECT_EQ(MsgWriteCountForTest(), 3001);
  EXPECT_EQ(env_.calls(EnvOp::kMoveFile), 1);
  EXPECT_EQ(env_.calls(EnvOp::kOpenExclusive), 0);

  // A move refused for another reason than sharing is not retried either.
  env_.FailNext(EnvOp::kMoveFile, FileStatus::kNotFound);
  WriteFailure(2);
  EXPECT_EQ(ReadFileBytes(kLogPath), "full log\r\n");
  EXPECT_EQ(env_.calls(EnvOp::kMoveFile), 2);

  ASSERT_TRUE(std::filesystem::remove_all(kOldPath) > 0);
  WriteFailure(3);
  EXPECT_EQ(ReadFileBytes(kOldPath), "full log\r\n");
  EXPECT_EQ(ReadFileBytes(kLogPath),
            EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "3"));
  EXPECT_EQ(MsgWriteCountForTest(), 1);
}

TEST_F(MsgLogTest, SharingErrorsAreWaitedOutInSteps) {
  struct Case {
    EnvOp op;
    FileStatus status;
    int times;
  };
  const Case cases[] = {
      {EnvOp::kOpenExclusive, FileStatus::kSharingViolation, 3},
      {EnvOp::kOpenExclusive, FileStatus::kAccessDenied, 1},
      {EnvOp::kOpenExclusive, FileStatus::kSharingBufferExceeded, 30},
      {EnvOp::kDeleteFile, FileStatus::kAccessDenied, 2},
      {EnvOp::kMoveFile, FileStatus::kSharingViolation, 4},
  };
  MakeMsgFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "op " << static_cast<int>(c.op) << " status "
                                      << static_cast<int>(c.status));
    MsgResetForTest();
    MsgInit(7, kLogName);
    WriteFileBytes(kLogPath, "full log\r\n");
    WriteFileBytes(kOldPath, "older log\r\n");
    MsgSetWriteCountForTest(3001);
    TestEnv env;
    env.SetNow(LocalTime{2004, 3, 5, 14, 7, 9});
    test::ScopedEnv guard(&env);
    env.FailNext(c.op, c.status, c.times);

    WriteFailure(5);

    EXPECT_EQ(env.sleep_count(), c.times);
    EXPECT_EQ(env.slept_ms(), 333LL * c.times);
    EXPECT_EQ(env.calls(c.op), c.times + 1);
    EXPECT_EQ(ReadFileBytes(kOldPath), "full log\r\n");
    EXPECT_EQ(ReadFileBytes(kLogPath),
              EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "5"));
    EXPECT_EQ(MsgWriteCountForTest(), 1);
  }
}

TEST_F(MsgLogTest, WaitsForAnotherWriterToReleaseTheLog) {
  PrepareLog("");
  std::unique_ptr<WritableFile> other;
  ASSERT_EQ(Env::Default()->OpenExclusive(kLogPath, &other), FileStatus::kOk);
  ASSERT_EQ(other->Append("other writer\r\n"), FileStatus::kOk);
  env_.OnSleep([&](int) {
    if (env_.sleep_count() == 2) {
      EXPECT_EQ(other->Close(), FileStatus::kOk);
    }
  });

  WriteFailure(-1);

  EXPECT_EQ(env_.sleep_count(), 2);
  EXPECT_EQ(ReadFileBytes(kLogPath),
            "other writer\r\n" + EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "-1"));
}

TEST_F(MsgLogTest, PersistentSharingErrorsGiveUpAfterTheBound) {
  struct Case {
    EnvOp op;
    bool rotating;
  };
  const Case cases[] = {
      {EnvOp::kOpenExclusive, false},
      {EnvOp::kMoveFile, true},
  };
  MakeMsgFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.op));
    MsgResetForTest();
    MsgInit(7, kLogName);
    WriteFileBytes(kLogPath, "log\r\n");
    if (c.rotating) MsgSetWriteCountForTest(3001);
    TestEnv env;
    test::ScopedEnv guard(&env);
    env.FailNext(c.op, FileStatus::kAccessDenied, TestEnv::kAlways);

    WriteFailure(1);

    EXPECT_EQ(env.sleep_count(), 30);
    EXPECT_EQ(env.calls(c.op), 31);
    EXPECT_EQ(ReadFileBytes(kLogPath), "log\r\n");
    EXPECT_EQ(MsgWriteCountForTest(), c.rotating ? 3001 : 0);

    // Once the error is gone, entries are written again.
    env.ClearFaults();
    WriteFailure(2);
    EXPECT_EQ(CountEntries(ReadFileBytes(kLogPath)), 1u);
    EXPECT_EQ(MsgWriteCountForTest(), 1);
  }
}

TEST_F(MsgLogTest, MissingFolderDropsEntries) {
  MsgInit(7, kLogName);
  WriteFailure(1);
  WriteFailure(2);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  EXPECT_EQ(env_.sleep_count(), 0);
  EXPECT_EQ(MsgWriteCountForTest(), 0);

  MakeMsgFolder();
  WriteFailure(3);
  EXPECT_EQ(ReadFileBytes(kLogPath),
            EntryText("FMSG ", "Unzulaessiges Beginndatum", "Main()", "3"));
}

TEST_F(MsgLogTest, FailedFileStepsDropTheEntryUncounted) {
  struct Case {
    EnvOp op;
    int after;             // calls of op that pass before the failure
    std::string expected;  // the file content afterwards
  };
  const std::string text = EntryText("DMSG FMSG ", "Unzulaessiges Beginndatum", "Main()", "9");
  const Case cases[] = {
      {EnvOp::kOpenExclusive, 0, "log\r\n"},
      {EnvOp::kSeekToEnd, 0, "log\r\n"},
      {EnvOp::kAppend, 0, "log\r\n"},
      {EnvOp::kAppend, 1, "log\r\n" + text},  // the dump is lost
      {EnvOp::kClose, 0, "log\r\n" + text + "dump\r\n"},
  };
  MakeMsgFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "op " << static_cast<int>(c.op) << " after " << c.after);
    MsgResetForTest();
    MsgInit(7, kLogName);
    WriteFileBytes(kLogPath, "log\r\n");
    TestEnv env;
    env.SetNow(LocalTime{2004, 3, 5, 14, 7, 9});
    test::ScopedEnv guard(&env);
    env.FailNext(c.op, FileStatus::kOther, 1, c.after);

    LogEntry entry = Failure("Main()", "Unzulaessiges Beginndatum", 9);
    entry.MsgArt = DMSG | FMSG;
    entry.Dump = "dump";
    entry.DumpLen = 4;
    MsgWrite(&entry);

    EXPECT_EQ(ReadFileBytes(kLogPath), c.expected);
    EXPECT_EQ(MsgWriteCountForTest(), 0);
    EXPECT_EQ(env.sleep_count(), 0);
    // The file was released: the next entry gets it.
    MsgWrite(&entry);
    EXPECT_EQ(ReadFileBytes(kLogPath), c.expected + text + "dump\r\n");
    EXPECT_EQ(MsgWriteCountForTest(), 1);
  }
}

TEST_F(MsgLogTest, OverlongTextsAreCutToTheirPart) {
  struct Case {
    std::size_t messageLen;
    std::size_t funktionLen;
    int code;
    std::string codeText;
    std::size_t keptMessage;
    std::size_t keptFunktion;
  };
  const Case cases[] = {
      {33, 17, 1403, "1403", 33, 17},  // the largest texts of this program fit
      {100, 11, -1, "-1", 100, 11},    // exactly 113
      {101, 11, -1, "-1", 100, 11},
      {200, 30, INT_MIN, "-2147483648", 72, 30},
      {10, 200, 1403, "1403", 0, 109},
  };
  MakeMsgFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.messageLen << "/" << c.funktionLen);
    MsgResetForTest();
    MsgInit(7, kLogName);
    ::unlink(kLogPath);
    const std::string message(c.messageLen, 'm');
    const std::string funktion(c.funktionLen, 'f');
    LogEntry entry = Failure(funktion.c_str(), message.c_str(), c.code);
    MsgWrite(&entry);
    EXPECT_EQ(ReadFileBytes(kLogPath),
              EntryText("FMSG ", message.substr(0, c.keptMessage),
                        funktion.substr(0, c.keptFunktion), c.codeText));
  }
}

// Writers in separate processes share the log: every entry arrives whole.
TEST(MsgLogProcesses, ConcurrentWritersLoseAndTearNoEntry) {
  constexpr int kWriters = 4;
  constexpr int kEntries = 150;
  test::TempDir dir;
  const std::string logPath = dir.File("shared.log");
  MsgResetForTest();
  MsgInit(7, logPath.c_str());

  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      SetEnv(nullptr);
      ::close(start[1]);
      char go;
      (void)!::read(start[0], &go, 1);  // returns once the parent closes the pipe
      const std::string message = "Schreiber " + std::to_string(w);
      for (int i = 0; i < kEntries; ++i) {
        const std::string dump = "dump-" + std::to_string(w) + "-" + std::to_string(i);
        LogEntry entry;
        entry.Funktion = "Writer()";
        entry.Message = message.c_str();
        entry.MsgArt = DMSG | FMSG;
        entry.ErrorCode = i;
        entry.Dump = dump.data();
        entry.DumpLen = static_cast<std::int32_t>(dump.size());
        MsgWrite(&entry);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  MsgResetForTest();

  const std::string bytes = ReadFileBytes(logPath);
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(bytes[0], '\xFE');
  const std::regex pattern(
      "\r\nSystem-Date: \\d\\d\\.\\d\\d\\.\\d\\d\r\nSystem-Time: \\d\\d:\\d\\d:\\d\\d"
      "\r\nMsgArt_____: DMSG FMSG \r\nMessage____: Schreiber (\\d)"
      "\r\nFunktion___: Writer\\(\\)\r\nErrorCode__: (\\d+)\r\ndump-(\\d)-(\\d+)\r\n");
  std::map<int, std::set<int>> seen;
  std::size_t entries = 0;
  std::size_t pos = 1;
  while (pos <= bytes.size()) {
    std::size_t next = bytes.find('\xFE', pos);
    if (next == std::string::npos) next = bytes.size();
    const std::string chunk = bytes.substr(pos, next - pos);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(chunk, m, pattern)) << "torn entry: " << chunk;
    EXPECT_EQ(m[1].str(), m[3].str());
    EXPECT_EQ(m[2].str(), m[4].str());
    EXPECT_TRUE(seen[std::stoi(m[1])].insert(std::stoi(m[2])).second) << "duplicate " << chunk;
    ++entries;
    pos = next + 1;
  }
  EXPECT_EQ(entries, static_cast<std::size_t>(kWriters * kEntries));
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kWriters));
  for (const auto& [writer, codes] : seen) {
    EXPECT_EQ(codes.size(), static_cast<std::size_t>(kEntries)) << "writer " << writer;
  }
}

}  // namespace
}  // namespace pelvaro
