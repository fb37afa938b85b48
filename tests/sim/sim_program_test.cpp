// The zr48-sim program: the lines it prints, serving every protocol, and a clean exit on SIGTERM.

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "protocol_clients.h"
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

  // The next `count` lines (fewer if output stops).
  std::vector<std::string> lines(std::size_t count) {
    std::vector<std::string> out;
    for (std::string line; out.size() < count && !(line = first_line()).empty();) {
      out.push_back(line);
    }
    return out;
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

// The number after the last ':' of `text` up to the next non-digit.
std::uint16_t port_after(const std::string& text, const std::string& prefix) {
  const auto at = text.find(prefix);
  return at == std::string::npos
             ? 0
             : static_cast<std::uint16_t>(std::stoi(text.substr(at + prefix.size())));
}

TEST(SimProgramTest, ServesEveryProtocolAndNamesEachResource) {
  SimProcess sim({"--bind", "127.0.13.2", "--hislip-port", "0"});
  const auto lines = sim.lines(5);
  ASSERT_EQ(lines.size(), 5U);
  const std::string host = "127.0.13.2";
  const auto socket = port_after(lines[0], "listening on " + host + ":");
  EXPECT_EQ(lines[1], "zr48-sim SOCKET on " + host + ":" + std::to_string(socket) +
                          ": TCPIP::" + host + "::" + std::to_string(socket) + "::SOCKET");
  const auto hislip = port_after(lines[2], "HiSLIP on " + host + ":");
  EXPECT_TRUE(
      lines[2].ends_with(": TCPIP::" + host + "::hislip0," + std::to_string(hislip) + "::INSTR"))
      << lines[2];
  const auto core = port_after(lines[3], "VXI-11 on " + host + ":");
  EXPECT_TRUE(lines[3].ends_with(": TCPIP::" + host + "::inst0::INSTR")) << lines[3];
  EXPECT_TRUE(lines[4] == "zr48-sim portmapper on " + host + ":111 (TCP and UDP)" ||
              lines[4].starts_with("zr48-sim portmapper not served"))
      << lines[4];

  testing::HislipClient hislip_client(hislip, wire::hislip::kVersion10, "hislip0", host.c_str());
  ASSERT_TRUE(hislip_client.ready());
  ASSERT_TRUE(hislip_client.write("*OPC?\n"));
  EXPECT_EQ(hislip_client.read(hislip_client.sync())->payload, "1\n");
  testing::Vxi11Link link(core, host.c_str());
  ASSERT_EQ(link.write("*OPC?\n"), 0);
  std::string data;
  std::int32_t reason = 0;
  EXPECT_EQ(link.read(data, reason), 0);
  EXPECT_EQ(data, "1\n");
  TestClient socket_client(socket, host.c_str());
  EXPECT_EQ(socket_client.query("*OPC?\n"), "1\n");
  EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(SimProgramTest, ABusyPortmapperPortLeavesTheRestServed) {
  const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(111);
  address.sin_addr.s_addr = htonl(0x7F000D03);
  if (::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(taken, 1) != 0) {
    ::close(taken);
    GTEST_SKIP() << "port 111 cannot be bound here";
  }
  SimProcess sim({"--bind", "127.0.13.3", "--no-hislip"});
  const auto lines = sim.lines(4);
  ::close(taken);
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_TRUE(lines[3].starts_with("zr48-sim portmapper not served: 127.0.13.3:111: ")) << lines[3];
  TestClient client(port_after(lines[0], "127.0.13.3:"), "127.0.13.3");
  EXPECT_EQ(client.query("*OPC?\n"), "1\n");
  EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(SimProgramTest, ServicesCanBeLeftOut) {
  SimProcess sim({"--no-hislip", "--no-vxi11"});
  const auto lines = sim.lines(2);
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_TRUE(lines[1].starts_with("zr48-sim SOCKET on 127.0.0.1:")) << lines[1];
  EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(SimProgramTest, RejectsBadOptions) {
  SimProcess bad_port({"--port", "70000"});
  EXPECT_EQ(bad_port.stop(0), 2);
  SimProcess unknown({"--colour", "blue"});
  EXPECT_EQ(unknown.stop(0), 2);
  SimProcess bad_hislip_port({"--hislip-port", "x"});
  EXPECT_EQ(bad_hislip_port.stop(0), 2);
}

}  // namespace
}  // namespace zr48::sim
