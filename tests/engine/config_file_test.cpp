// What the engine reads as its logical-name file: only a regular file of at most 4 MiB. A FIFO
// or a device named by mistake fails at once instead of hanging or filling memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/logical_names.h"
#include "engine_fixture.h"

namespace zr48::engine::test {
namespace {

struct ResolveOutcome {
  ViStatus status;
  std::string elaboration;
};

ResolveOutcome Resolve(const std::string& config_path) {
  const zr48::test::EnvironmentVariable config("ZR48_CONFIG", config_path);
  const ViStatus status = resolve("bench1").status;
  return {status, takeError().elaboration};
}

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir_); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("zr48-config-file-" + std::to_string(::getpid()));
};

TEST_F(ConfigFileTest, AFifoIsRefusedWithoutWaitingForAWriter) {
  const std::string fifo = (dir_ / "names.toml").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const ResolveOutcome outcome = Resolve(fifo);
  EXPECT_EQ(outcome.status, IVI_ERROR_CANNOT_OPEN_CONFIG_FILE);
  EXPECT_EQ(outcome.elaboration,
            "The logical-name configuration file " + fifo + " is not a regular file");
}

TEST_F(ConfigFileTest, DevicesAndDirectoriesAreRefused) {
  for (const std::string& path : {std::string("/dev/zero"), dir_.string()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Resolve(path).status, IVI_ERROR_CANNOT_OPEN_CONFIG_FILE);
  }
}

TEST_F(ConfigFileTest, AFileLargerThanTheLimitIsRefused) {
  const std::string path = (dir_ / "big.toml").string();
  const std::string comment = "# " + std::string(1021, 'x') + "\n";  // 1 KiB a line
  {
    std::ofstream file(path);
    for (std::size_t i = 0; i < kMaxConfigFileBytes / comment.size(); ++i) file << comment;
    file << "[bench1]\nresource = \"TCPIP::127.0.0.1::5025::SOCKET\"\n";
  }
  const ResolveOutcome outcome = Resolve(path);
  EXPECT_EQ(outcome.status, IVI_ERROR_ERROR_READING_CONFIG_FILE);
  EXPECT_EQ(outcome.elaboration,
            "The logical-name configuration file " + path + " is larger than 4 MiB");

  // At the limit exactly, it is read.
  std::filesystem::resize_file(path, kMaxConfigFileBytes);
  const ResolveOutcome at_limit = Resolve(path);
  EXPECT_EQ(at_limit.status, VI_SUCCESS) << at_limit.elaboration;
}

}  // namespace
}  // namespace zr48::engine::test
