// The platform layer: files, sleep and the local clock, behind one small
// interface. The log writer and the evaluation reach the operating system only
// through it, so tests can fix the clock and make file operations fail.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace pelvaro {

// Results of file operations. The numbers of the three sharing errors are the
// ones the log writer's retry rule is written against.
enum class FileStatus : int {
  kOk = 0,
  kNotFound = 2,
  kAccessDenied = 5,
  kSharingViolation = 32,
  kSharingBufferExceeded = 36,
  kAlreadyExists = 183,
  kOther = 31,
};

// An open file held for writing by this process alone.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual FileStatus SeekToEnd() = 0;
  virtual FileStatus Append(std::string_view data) = 0;
  // Releases the file; the object may only be destroyed afterwards.
  virtual FileStatus Close() = 0;
};

struct LocalTime {
  int year = 1970;  // four digits
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // Opens the file for reading and writing, creating it when missing. Another
  // writer holding it answers kSharingViolation.
  virtual FileStatus OpenExclusive(const std::string& path,
                                   std::unique_ptr<WritableFile>* file) = 0;
  virtual FileStatus DeleteFile(const std::string& path) = 0;
  // Renames; never replaces an existing target (kAlreadyExists then).
  virtual FileStatus MoveFile(const std::string& from, const std::string& to) = 0;
  virtual void SleepMs(int ms) = 0;
  virtual LocalTime Now() = 0;

  // The POSIX implementation, one instance for the process.
  static Env* Default();
};

// The Env the program uses; tests swap in their own. nullptr restores Default().
Env* CurrentEnv();
void SetEnv(Env* env);

// A path as the system writes it (".\Msg\Pelvaro.Txt") in the form of this
// platform: backslashes become slashes.
std::string NativePath(std::string_view systemPath);

}  // namespace pelvaro
