// Runs a Service Control Manager on the current prefix until it gets
// SIGINT or SIGTERM, then shuts the services down. It stands in for the
// machine in scripts that need services (the agent's soak and benchmark)
// while the machine does not host the manager.
#include <csignal>
#include <cstdio>

#include "platform/scm/manager_server.h"
#include "platform/scm/service_manager.h"

int main() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  pvn::scm::ServiceManager manager;
  pvn::scm::ManagerServer server(manager);
  if (server.Start() != pvn::win::ERROR_SUCCESS) {
    std::fprintf(stderr, "pvn_scm_host: cannot serve the manager's socket\n");
    return 1;
  }
  manager.StartAutomatic();
  std::printf("ready\n");
  std::fflush(stdout);
  int received = 0;
  sigwait(&signals, &received);
  server.Stop();
  manager.ShutdownAll();
  return 0;
}
