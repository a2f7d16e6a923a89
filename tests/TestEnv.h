// Test doubles and helpers around the platform layer: an Env over real files
// with a fixed clock, recorded sleeps and injected file errors; a fresh
// temporary folder; guards that swap the Env and the working directory.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "util/Env.h"

namespace pelvaro::test {

enum class EnvOp { kOpenExclusive, kDeleteFile, kMoveFile, kSeekToEnd, kAppend, kClose };

// Real files through the wrapped Env (by default the POSIX one), but:
//  - Now() answers a fixed time once SetNow() was called;
//  - SleepMs() only counts (and calls the hook, if any), it never waits;
//  - FailNext() makes calls of an operation answer a status without touching
//    the file system (a failed Close still releases the real file).
class TestEnv : public Env {
 public:
  static constexpr int kAlways = -1;

  explicit TestEnv(Env* base = Env::Default()) : base_(base) {}

  void SetNow(const LocalTime& now) {
    now_ = now;
    clock_fixed_ = true;
  }
  void UseRealClock() { clock_fixed_ = false; }

  int sleep_count() const { return sleep_count_; }
  long long slept_ms() const { return slept_ms_; }
  // Called on every SleepMs with the number of milliseconds.
  void OnSleep(std::function<void(int)> hook) { on_sleep_ = std::move(hook); }

  // After `after` further calls of op that pass through, the next `times`
  // calls (kAlways: all) answer status.
  void FailNext(EnvOp op, FileStatus status, int times = 1, int after = 0);
  void ClearFaults();
  // Calls of op so far, failed ones included.
  int calls(EnvOp op) const { return calls_[Index(op)]; }

  FileStatus OpenExclusive(const std::string& path,
                           std::unique_ptr<WritableFile>* file) override;
  FileStatus DeleteFile(const std::string& path) override;
  FileStatus MoveFile(const std::string& from, const std::string& to) override;
  void SleepMs(int ms) override;
  LocalTime Now() override;

  // Counts the call of op; true and the status when it is to fail.
  bool TakeFault(EnvOp op, FileStatus* status);

 private:
  struct Fault {
    FileStatus status = FileStatus::kOk;
    int after = 0;
    int times = 0;  // 0: none pending
  };
  static constexpr std::size_t kOps = 6;
  static std::size_t Index(EnvOp op) { return static_cast<std::size_t>(op); }

  Env* base_;
  bool clock_fixed_ = false;
  LocalTime now_;
  int sleep_count_ = 0;
  long long slept_ms_ = 0;
  std::function<void(int)> on_sleep_;
  std::array<Fault, kOps> faults_{};
  std::array<int, kOps> calls_{};
};

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

// Makes env the current Env; the previous one comes back at scope end.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(CurrentEnv()) { SetEnv(env); }
  ~ScopedEnv() { SetEnv(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// Changes the working directory; the previous one comes back at scope end.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string previous_;
};

// Whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);
bool PathExists(const std::string& path);

}  // namespace pelvaro::test
