#include "util/Env.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tests/TestEnv.h"

namespace pelvaro {
namespace {

using test::PathExists;
using test::ReadFileBytes;
using test::WriteFileBytes;

class PosixEnvTest : public ::testing::Test {
 protected:
  Env* env_ = Env::Default();
  test::TempDir dir_;
};

TEST_F(PosixEnvTest, OpenKeepsContentAndAppendsAtTheEnd) {
  const std::string path = dir_.File("log");
  WriteFileBytes(path, "abc");
  std::unique_ptr<WritableFile> file;
  ASSERT_EQ(env_->OpenExclusive(path, &file), FileStatus::kOk);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->SeekToEnd(), FileStatus::kOk);
  EXPECT_EQ(file->Append("def"), FileStatus::kOk);
  EXPECT_EQ(file->Append(std::string("\0\xFE", 2)), FileStatus::kOk);
  EXPECT_EQ(file->Close(), FileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(path), std::string("abcdef\0\xFE", 8));

  const std::string fresh = dir_.File("fresh");
  ASSERT_EQ(env_->OpenExclusive(fresh, &file), FileStatus::kOk);
  EXPECT_EQ(file->Close(), FileStatus::kOk);
  EXPECT_TRUE(PathExists(fresh));
}

TEST_F(PosixEnvTest, SecondWriterInTheSameProcessIsRefusedUntilClose) {
  const std::string path = dir_.File("log");
  std::unique_ptr<WritableFile> first;
  std::unique_ptr<WritableFile> second;
  ASSERT_EQ(env_->OpenExclusive(path, &first), FileStatus::kOk);
  EXPECT_EQ(env_->OpenExclusive(path, &second), FileStatus::kSharingViolation);
  EXPECT_FALSE(second);
  // Readers are never kept out.
  EXPECT_EQ(first->Append("x"), FileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(path), "x");
  EXPECT_EQ(first->Close(), FileStatus::kOk);
  ASSERT_EQ(env_->OpenExclusive(path, &second), FileStatus::kOk);
  EXPECT_EQ(second->Close(), FileStatus::kOk);
}

TEST_F(PosixEnvTest, WriterInAnotherProcessIsRefusedUntilItCloses) {
  const std::string path = dir_.File("log");
  int held[2];
  int release[2];
  ASSERT_EQ(::pipe(held), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::unique_ptr<WritableFile> file;
    char c = env_->OpenExclusive(path, &file) == FileStatus::kOk ? 'y' : 'n';
    (void)!::write(held[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(file && file->Close() == FileStatus::kOk ? 0 : 1);
  }
  char c = 0;
  ASSERT_EQ(::read(held[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  std::unique_ptr<WritableFile> file;
  EXPECT_EQ(env_->OpenExclusive(path, &file), FileStatus::kSharingViolation);
  ASSERT_EQ(::write(release[1], &c, 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(env_->OpenExclusive(path, &file), FileStatus::kOk);
  EXPECT_EQ(file->Close(), FileStatus::kOk);
  for (int fd : {held[0], held[1], release[0], release[1]}) ::close(fd);
}

TEST_F(PosixEnvTest, OpenFailuresAreClassified) {
  std::unique_ptr<WritableFile> file;
  EXPECT_EQ(env_->OpenExclusive(dir_.File("missing/log"), &file), FileStatus::kNotFound);
  ASSERT_EQ(::mkdir(dir_.File("folder").c_str(), 0755), 0);
  EXPECT_EQ(env_->OpenExclusive(dir_.File("folder"), &file), FileStatus::kAccessDenied);
  EXPECT_FALSE(file);
}

TEST_F(PosixEnvTest, MoveNeverReplacesATarget) {
  const std::string from = dir_.File("log");
  const std::string to = dir_.File("log.old");
  WriteFileBytes(from, "new");
  WriteFileBytes(to, "old");
  EXPECT_EQ(env_->MoveFile(from, to), FileStatus::kAlreadyExists);
  EXPECT_EQ(ReadFileBytes(from), "new");
  EXPECT_EQ(ReadFileBytes(to), "old");

  ASSERT_EQ(::unlink(to.c_str()), 0);
  EXPECT_EQ(env_->MoveFile(from, to), FileStatus::kOk);
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ(ReadFileBytes(to), "new");

  EXPECT_EQ(env_->MoveFile(from, dir_.File("other")), FileStatus::kNotFound);
}

TEST_F(PosixEnvTest, DeleteFailuresAreClassified) {
  const std::string path = dir_.File("old");
  WriteFileBytes(path, "x");
  EXPECT_EQ(env_->DeleteFile(path), FileStatus::kOk);
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(env_->DeleteFile(path), FileStatus::kNotFound);
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  EXPECT_EQ(env_->DeleteFile(path), FileStatus::kAccessDenied);
}

TEST(EnvSelection, SetEnvSwapsAndNullRestoresTheDefault) {
  test::TestEnv env;
  {
    test::ScopedEnv guard(&env);
    EXPECT_EQ(CurrentEnv(), &env);
  }
  EXPECT_EQ(CurrentEnv(), Env::Default());
  SetEnv(&env);
  SetEnv(nullptr);
  EXPECT_EQ(CurrentEnv(), Env::Default());
}

TEST(NativePathTest, BackslashesBecomeSlashes) {
  const struct {
    const char* system;
    const char* native;
  } cases[] = {
      {".\\Msg\\Pelvaro.Txt", "./Msg/Pelvaro.Txt"},
      {"..\\..\\..\\..\\files\\korvane.ini", "../../../../files/korvane.ini"},
      {".old", ".old"},
      {"dir/already/native", "dir/already/native"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NativePath(c.system), c.native) << c.system;
}

}  // namespace
}  // namespace pelvaro
