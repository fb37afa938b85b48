// The zr48-sim program: the line it prints, serving, and a clean exit on SIGTERM.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "test_client.h"

namespace zr48::sim {
namespace {

using testing::TestClient;

// Runs zr48-sim with `args`, its stdout on a pipe.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), ZR48_SIM_PROGRAM);
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, ZR48_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The first line of its output (without line feed), or "" if none came.
  std::string first_line() {
    std::string line;
    char c = 0;
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, TestClient::kWaitMs) <= 0 || ::read(out_, &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    return line;
  }

  // Sends `signal` (0: none) and returns the exit status, or -1.
  int stop(int signal) {
    if (pid_ <= 0) return -1;
    if (signal != 0) ::kill(pid_, signal);
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(SimProgramTest, PrintsItsPortServesAndStopsCleanly) {
  SimProcess sim({"--idn", "Maker,M1,S1,2.5"});
  const std::string line = sim.first_line();
  const std::string prefix = "zr48-sim listening on 127.0.0.1:";
  ASSERT_TRUE(line.starts_with(prefix)) << line;
  const int port = std::stoi(line.substr(prefix.size()));
  {
    TestClient client(static_cast<std::uint16_t>(port));
    EXPECT_EQ(client.query("*IDN?\n"), "Maker,M1,S1,2.5\n");
  }
  EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(SimProgramTest, StopsOnSigintWithAConnectionOpen) {
  SimProcess sim({});
  const std::string line = sim.first_line();
  const auto colon = line.rfind(':');
  ASSERT_NE(colon, std::string::npos) << line;
  TestClient client(static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1))));
  EXPECT_EQ(client.query("*OPC?\n"), "1\n");
  EXPECT_EQ(sim.stop(SIGINT), 0);
}

TEST(SimProgramTest, RejectsBadOptions) {
  SimProcess bad_port({"--port", "70000"});
  EXPECT_EQ(bad_port.stop(0), 2);
  SimProcess unknown({"--colour", "blue"});
  EXPECT_EQ(unknown.stop(0), 2);
}

}  // namespace
}  // namespace zr48::sim
