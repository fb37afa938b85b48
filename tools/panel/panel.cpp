#include "panel.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <thread>

#include "service.h"

namespace zr48::panel {

int run(const Options& options) {
  // The stop signals are blocked before any thread starts, so that only sigwait() below sees
  // them; the caller's mask comes back at the end.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
  int exit_code = 0;
  try {
    std::string error;
    std::unique_ptr<Service> service = Service::create(options, error, exit_code);
    if (!service) {
      std::fprintf(stderr, "zr48 panel: %s\n", error.c_str());
    } else {
      std::thread server([&service] { service->serve(); });
      std::printf("zr48 panel for %s\nOpen %s\n", options.resource.c_str(), service->url().c_str());
      std::fflush(stdout);
      int received = 0;
      sigwait(&stop_signals, &received);
      service->stop();
      server.join();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zr48 panel: %s\n", e.what());
    exit_code = 1;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return exit_code;
}

}  // namespace zr48::panel
