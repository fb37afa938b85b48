// zr48-panel as a user runs it: exit codes for bad options and an unreachable supply, the address
// it prints, and a clean exit on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zr48sim/server.h"

extern char** environ;

namespace {

struct Program {
  pid_t pid = -1;
  FILE* out = nullptr;
};

Program Start(std::vector<std::string> args) {
  args.insert(args.begin(), ZR48_PANEL_PROGRAM);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipe_fds[2];
  Program program;
  if (pipe(pipe_fds) != 0) return program;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  if (posix_spawn(&program.pid, ZR48_PANEL_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
    program.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  program.out = fdopen(pipe_fds[0], "r");
  return program;
}

int Wait(Program& program) {
  int status = 0;
  waitpid(program.pid, &status, 0);
  if (program.out != nullptr) fclose(program.out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PanelProgram, RefusesBadOptionsWithTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"TCPIP::127.0.0.17::5025::SOCKET", "--listen", "8048"},
           {"TCPIP::127.0.0.17::5025::SOCKET", "--interval", "fast"},
           {"TCPIP::127.0.0.17::5025::SOCKET", "--history", "10"},
           {"TCPIP::127.0.0.17::5025::SOCKET", "--bogus", "1"},
       }) {
    Program program = Start(args);
    ASSERT_GT(program.pid, 0);
    EXPECT_EQ(Wait(program), 2) << (args.empty() ? "" : args.back());
  }
}

TEST(PanelProgram, AnUnreachableSupplyGivesOne) {
  zr48::sim::Server closed(0, "127.0.0.17");
  const std::string resource =
      "TCPIP::127.0.0.17::" + std::to_string(closed.port() + 1) + "::SOCKET";
  Program program = Start({resource, "--listen", "127.0.0.17:0"});
  ASSERT_GT(program.pid, 0);
  EXPECT_EQ(Wait(program), 1);
}

TEST(PanelProgram, PrintsItsAddressAndStopsCleanlyOnSigterm) {
  zr48::sim::Server sim(0, "127.0.0.17");
  Program program = Start({sim.resource(), "--listen", "127.0.0.17:0", "--interval", "200ms"});
  ASSERT_GT(program.pid, 0);
  ASSERT_NE(program.out, nullptr);
  std::string address;
  char line[512];
  while (address.empty() && std::fgets(line, sizeof line, program.out) != nullptr) {
    const std::string text = line;
    if (text.starts_with("Open ")) address = text.substr(5);
  }
  EXPECT_TRUE(address.starts_with("http://127.0.0.17:")) << address;
  EXPECT_NE(address.find("/?token="), std::string::npos) << address;
  kill(program.pid, SIGTERM);
  EXPECT_EQ(Wait(program), 0);
}

}  // namespace
