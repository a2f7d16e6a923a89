// The POSIX implementation of the platform layer.
//
// A writer holds its file with an open-file-description write lock (F_OFD_SETLK
// on the whole file), which excludes other writers in other processes and in
// other threads or descriptors of the same process alike; readers take no lock
// and are never kept out. Data reaches the disk before the lock is released:
// Close runs fdatasync first.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/Env.h"

namespace pelvaro {

namespace {

// Test hook for whole-process tests: PELVARO_NOW=yyyymmddHHMMSS stops the
// clock at that moment (for the program and for its embedded database).
bool FixedNow(LocalTime* out) {
  static const std::optional<LocalTime> fixed = []() -> std::optional<LocalTime> {
    const char* v = std::getenv("PELVARO_NOW");
    if (v == nullptr || std::strlen(v) != 14 || std::strspn(v, "0123456789") != 14)
      return std::nullopt;
    auto num = [&](int at, int n) {
      int x = 0;
      for (int k = at; k < at + n; ++k) x = x * 10 + (v[k] - '0');
      return x;
    };
    return LocalTime{num(0, 4), num(4, 2), num(6, 2), num(8, 2), num(10, 2), num(12, 2)};
  }();
  if (!fixed) return false;
  *out = *fixed;
  return true;
}


FileStatus StatusFromErrno(int err) {
  switch (err) {
    case 0:
      return FileStatus::kOk;
    case ENOENT:
    case ENOTDIR:
      return FileStatus::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // a folder in place of a file is refused, not missing
      return FileStatus::kAccessDenied;
    case EEXIST:
    case ENOTEMPTY:
      return FileStatus::kAlreadyExists;
    case EBUSY:
    case ETXTBSY:
      return FileStatus::kSharingViolation;
    default:
      return FileStatus::kOther;
  }
}

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixWritableFile(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(const PosixWritableFile&) = delete;

  FileStatus SeekToEnd() override {
    if (fd_ < 0) return FileStatus::kOther;
    if (::lseek(fd_, 0, SEEK_END) < 0) return StatusFromErrno(errno);
    return FileStatus::kOk;
  }

  FileStatus Append(std::string_view data) override {
    if (fd_ < 0) return FileStatus::kOther;
    while (!data.empty()) {
      ssize_t n = ::write(fd_, data.data(), data.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return StatusFromErrno(errno);
      }
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return FileStatus::kOk;
  }

  FileStatus Close() override {
    if (fd_ < 0) return FileStatus::kOther;
    FileStatus status = FileStatus::kOk;
    // EINVAL/EROFS: the file cannot be synced (special file); nothing is lost.
    if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
      status = FileStatus::kOther;
    }
    // Closing the last descriptor of the description releases the lock.
    if (::close(fd_) != 0 && errno != EINTR) status = FileStatus::kOther;
    fd_ = -1;
    return status;
  }

 private:
  int fd_;
};

class PosixEnv final : public Env {
 public:
  FileStatus OpenExclusive(const std::string& path,
                           std::unique_ptr<WritableFile>* file) override {
    file->reset();
    // Another writer may move the file aside between our open and our lock;
    // then we hold the moved file and must open the new one at the path again.
    constexpr int kMaxReopens = 16;
    for (int attempt = 0; attempt < kMaxReopens; ++attempt) {
      int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) {
        if (errno == EINTR) continue;
        return StatusFromErrno(errno);
      }
      struct flock lock = {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = 0;
      lock.l_len = 0;  // the whole file, however long it grows
      if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EAGAIN || err == EACCES) return FileStatus::kSharingViolation;
        return StatusFromErrno(err);
      }
      struct stat held = {};
      struct stat named = {};
      if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        *file = std::make_unique<PosixWritableFile>(fd);
        return FileStatus::kOk;
      }
      ::close(fd);
    }
    return FileStatus::kSharingViolation;
  }

  FileStatus DeleteFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return StatusFromErrno(errno);
    return FileStatus::kOk;
  }

  FileStatus MoveFile(const std::string& from, const std::string& to) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                    RENAME_NOREPLACE) == 0) {
      return FileStatus::kOk;
    }
    int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) {
      return StatusFromErrno(err);
    }
    // The file system cannot rename without replacing: link() never replaces
    // either, and the old name goes afterwards.
    if (::link(from.c_str(), to.c_str()) != 0) return StatusFromErrno(errno);
    if (::unlink(from.c_str()) != 0) {
      err = errno;
      ::unlink(to.c_str());
      return StatusFromErrno(err);
    }
    return FileStatus::kOk;
  }

  void SleepMs(int ms) override {
    if (ms <= 0) return;
    struct timespec request = {};
    request.tv_sec = ms / 1000;
    request.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    struct timespec remaining = {};
    while (::nanosleep(&request, &remaining) != 0 && errno == EINTR) {
      request = remaining;
    }
  }

  LocalTime Now() override {
    LocalTime now;
    if (FixedNow(&now)) return now;
    std::time_t t = std::time(nullptr);
    struct tm parts = {};
    if (::localtime_r(&t, &parts) == nullptr) return now;
    now.year = parts.tm_year + 1900;
    now.month = parts.tm_mon + 1;
    now.day = parts.tm_mday;
    now.hour = parts.tm_hour;
    now.minute = parts.tm_min;
    now.second = parts.tm_sec;
    return now;
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

}  // namespace pelvaro
