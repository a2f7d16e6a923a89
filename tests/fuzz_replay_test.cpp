// The seed corpora of the fuzz targets, replayed through the target bodies:
// every file must pass without a crash or a broken invariant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/targets/FuzzTargets.h"
#include "tests/TestEnv.h"

namespace pelvaro {
namespace {

struct FuzzTarget {
  const char* corpus;
  int (*body)(const std::uint8_t*, std::size_t);
};

void PrintTo(const FuzzTarget& target, std::ostream* os) { *os << target.corpus; }

struct BrokenInvariant : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Turns a broken invariant into an exception for the file being replayed.
[[noreturn]] void ThrowBroken(const char* condition, const char* file, int line) {
  throw BrokenInvariant(std::string(condition) + " (" + file + ":" + std::to_string(line) + ")");
}

class FuzzReplayTest : public ::testing::TestWithParam<FuzzTarget> {
 protected:
  void SetUp() override { fuzz::SetFuzzFailureHandler(&ThrowBroken); }
  void TearDown() override { fuzz::SetFuzzFailureHandler(nullptr); }
};

TEST_P(FuzzReplayTest, EveryCorpusFilePassesTheTarget) {
  const std::filesystem::path dir =
      std::filesystem::path(PELVARO_SOURCE_DIR "/fuzz/corpus") / GetParam().corpus;
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  std::vector<std::filesystem::path> files;
  for (const auto& item : std::filesystem::directory_iterator(dir)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no seed in " << dir;

  for (const auto& file : files) {
    const std::string bytes = test::ReadFileBytes(file.string());
    try {
      GetParam().body(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (const BrokenInvariant& broken) {
      ADD_FAILURE() << file.filename().string() << ": " << broken.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpora, FuzzReplayTest,
    ::testing::Values(FuzzTarget{"config_file", &fuzz::FuzzConfigFile},
                      FuzzTarget{"decipher", &fuzz::FuzzDecipher},
                      FuzzTarget{"timestamps", &fuzz::FuzzTimestamps},
                      FuzzTarget{"args", &fuzz::FuzzArgs},
                      FuzzTarget{"log_entry", &fuzz::FuzzLogEntry}),
    [](const ::testing::TestParamInfo<FuzzTarget>& info) { return std::string(info.param.corpus); });

}  // namespace
}  // namespace pelvaro
