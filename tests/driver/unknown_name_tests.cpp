// A name that is neither a logical name nor a resource descriptor: the failure says where the
// name was looked up, not only that it does not parse.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "attribute_io.h"
#include "ZR48.h"

namespace zr48::test {
namespace {

TEST(UnknownNameTest, TheElaborationNamesTheLogicalNameFile) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("zr48-unknown-name-" + std::to_string(::getpid()) + ".toml");
  std::ofstream(path) << "[bench1]\nresource = \"TCPIP::127.0.0.1::5025::SOCKET\"\n";
  ::setenv("ZR48_CONFIG", path.c_str(), 1);
  (void)TakeErrorInfo(VI_NULL);
  char name[] = "bench9";
  ViSession vi = 42;
  EXPECT_EQ(ZR48_InitWithOptions(name, VI_FALSE, VI_FALSE, "", &vi), VI_ERROR_INV_RSRC_NAME);
  EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  const ErrorInfo info = TakeErrorInfo(VI_NULL);
  EXPECT_EQ(info.primary, VI_ERROR_INV_RSRC_NAME);
  EXPECT_EQ(info.elaboration, "'bench9' is not a logical name in " + path.string() +
                                  ", nor a valid VISA resource descriptor");
  ::unsetenv("ZR48_CONFIG");
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace zr48::test
