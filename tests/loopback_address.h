// A loopback address of the running test's own, for simulators that need fixed ports (111 for
// the portmapper, 4880 for HiSLIP): derived from the test's name and the process id, so that
// test processes running side by side (ctest -j, or two build trees) never bind the same pair.
#ifndef ZR48_TESTS_LOOPBACK_ADDRESS_H
#define ZR48_TESTS_LOOPBACK_ADDRESS_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace zr48::test {

// "127.<second>.x.y"; `salt` tells apart several addresses a test takes.
inline std::string LoopbackAddressForThisTest(int second, const std::string& salt = "") {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name =
      info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "";
  const std::size_t h = std::hash<std::string>{}(salt + name + "/" + std::to_string(getpid()));
  return "127." + std::to_string(second) + "." + std::to_string((h >> 8) % 256) + "." +
         std::to_string(h % 254 + 1);
}

}  // namespace zr48::test

#endif  // ZR48_TESTS_LOOPBACK_ADDRESS_H
