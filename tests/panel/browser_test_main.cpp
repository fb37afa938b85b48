// The panel page in Debian's chromium: starts a simulator and a panel, runs the playwright
// script against the page, then checks the simulator received the page's commands. Exits 77
// (skipped) when chromium cannot run here.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "service.h"
#include "zr48sim/server.h"

extern char** environ;

namespace {

constexpr int kSkipped = 77;

int RunNode(const std::string& script, const std::string& url, const std::string& shots) {
  std::string node = "node";
  std::string script_arg = script;
  std::string url_arg = url;
  std::string shots_arg = shots;
  char* argv[] = {node.data(), script_arg.data(), url_arg.data(), shots_arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "node", nullptr, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "browser test: node is not installed (scripts/setup.sh installs it)\n");
    return 1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main() {
  const char* chosen = std::getenv("ZR48_CHROMIUM");
  const std::string chromium = chosen != nullptr ? chosen : "/usr/bin/chromium";
  if (access(chromium.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "browser test: %s is not installed, skipping\n", chromium.c_str());
    return kSkipped;
  }
  if (!std::filesystem::exists(ZR48_PANEL_TEST_DIR "/node_modules/playwright-core")) {
    std::fprintf(stderr, "browser test: playwright-core is missing; run scripts/setup.sh\n");
    return 1;
  }
  std::filesystem::create_directories(ZR48_PANEL_SHOTS);

  zr48::sim::Server sim(0, "127.0.0.18");
  zr48::panel::Options options;
  options.resource = sim.resource();
  options.listen = "127.0.0.18:0";
  std::string error;
  int exit_code = 0;
  auto service = zr48::panel::Service::create(options, error, exit_code);
  if (!service) {
    std::fprintf(stderr, "browser test: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { service->serve(); });
  sim.clear_received();
  const int node =
      RunNode(ZR48_PANEL_TEST_DIR "/browser_test.mjs", service->url(), ZR48_PANEL_SHOTS);
  service->stop();
  serving.join();
  if (node != 0) return node;

  const std::string sent = sim.received();
  int failures = 0;
  for (const char* bytes : {"INST ch2\nVOLT 12.5\n", "INST ch2\nOUTP 1\n"}) {
    if (sent.find(bytes) == std::string::npos) {
      std::fprintf(stderr, "browser test: the simulator never received \"%s\"\n", bytes);
      ++failures;
    }
  }
  if (sent.find("VOLT 31") != std::string::npos) {
    std::fprintf(stderr, "browser test: the refused 31 V reached the simulator\n");
    ++failures;
  }
  if (failures == 0) std::printf("browser test: passed; screenshots in %s\n", ZR48_PANEL_SHOTS);
  return failures == 0 ? 0 : 1;
}
