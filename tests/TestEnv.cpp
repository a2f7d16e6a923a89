#include "tests/TestEnv.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

namespace pelvaro::test {

namespace {

class TestWritableFile final : public WritableFile {
 public:
  TestWritableFile(TestEnv* env, std::unique_ptr<WritableFile> inner)
      : env_(env), inner_(std::move(inner)) {}

  FileStatus SeekToEnd() override {
    FileStatus status;
    if (env_->TakeFault(EnvOp::kSeekToEnd, &status)) return status;
    return inner_->SeekToEnd();
  }
  FileStatus Append(std::string_view data) override {
    FileStatus status;
    if (env_->TakeFault(EnvOp::kAppend, &status)) return status;
    return inner_->Append(data);
  }
  FileStatus Close() override {
    FileStatus status;
    bool fail = env_->TakeFault(EnvOp::kClose, &status);
    FileStatus closed = inner_->Close();
    return fail ? status : closed;
  }

 private:
  TestEnv* env_;
  std::unique_ptr<WritableFile> inner_;
};

}  // namespace

void TestEnv::FailNext(EnvOp op, FileStatus status, int times, int after) {
  faults_[Index(op)] = Fault{status, after, times};
}

void TestEnv::ClearFaults() { faults_.fill(Fault{}); }

bool TestEnv::TakeFault(EnvOp op, FileStatus* status) {
  ++calls_[Index(op)];
  Fault& fault = faults_[Index(op)];
  if (fault.times == 0) return false;
  if (fault.after > 0) {
    --fault.after;
    return false;
  }
  if (fault.times > 0) --fault.times;
  *status = fault.status;
  return true;
}

FileStatus TestEnv::OpenExclusive(const std::string& path,
                                  std::unique_ptr<WritableFile>* file) {
  file->reset();
  FileStatus status;
  if (TakeFault(EnvOp::kOpenExclusive, &status)) return status;
  std::unique_ptr<WritableFile> inner;
  status = base_->OpenExclusive(path, &inner);
  if (inner) *file = std::make_unique<TestWritableFile>(this, std::move(inner));
  return status;
}

FileStatus TestEnv::DeleteFile(const std::string& path) {
  FileStatus status;
  if (TakeFault(EnvOp::kDeleteFile, &status)) return status;
  return base_->DeleteFile(path);
}

FileStatus TestEnv::MoveFile(const std::string& from, const std::string& to) {
  FileStatus status;
  if (TakeFault(EnvOp::kMoveFile, &status)) return status;
  return base_->MoveFile(from, to);
}

void TestEnv::SleepMs(int ms) {
  ++sleep_count_;
  slept_ms_ += ms;
  if (on_sleep_) on_sleep_(ms);
}

LocalTime TestEnv::Now() { return clock_fixed_ ? now_ : base_->Now(); }

TempDir::TempDir() {
  char pattern[] = "/tmp/pelvaro-test-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder";
    return;
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

ScopedChdir::ScopedChdir(const std::string& dir) {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec).string();
  std::filesystem::current_path(dir, ec);
  if (ec) ADD_FAILURE() << "cannot change to " << dir << ": " << ec.message();
}

ScopedChdir::~ScopedChdir() {
  std::error_code ec;
  if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace pelvaro::test
