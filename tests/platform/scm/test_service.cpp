// A service program for the manager's tests. Its first argument picks how it
// behaves; every control it gets is appended to the file named by the second.
//   normal       runs until STOP or SHUTDOWN
//   deaf         runs, accepts STOP, but ignores every control
//   no-dispatch  never connects its dispatcher
//   exit-early   ends before connecting
//   crash        ends the process as soon as it is running
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/scm/service_dispatcher.h"

namespace {

using namespace pvn::scm;

std::string g_mode, g_journal;
SERVICE_STATUS_HANDLE g_handle;
std::mutex g_mutex;
std::condition_variable g_cv;
bool g_stop = false;

void Journal(const std::string& line) {
  if (g_journal.empty()) return;
  if (FILE* f = std::fopen(g_journal.c_str(), "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

void Report(std::uint32_t state, std::uint32_t accepted, std::uint32_t checkPoint) {
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, accepted, 0, 0, checkPoint, 0};
  SetServiceStatus(g_handle, &status);
}

void Handler(std::uint32_t control) {
  Journal("control " + std::to_string(control));
  if (g_mode == "deaf") return;
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING, 0, 1);
    std::lock_guard lock(g_mutex);
    g_stop = true;
    g_cv.notify_all();
  } else if (control == SERVICE_CONTROL_INTERROGATE) {
    Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0);
  }
}

void Main(std::uint32_t argc, char16_t** argv) {
  Journal("main " + std::to_string(argc) + (argc > 1 ? " with arguments" : ""));
  (void)argv;
  if (RegisterServiceCtrlHandlerW(u"TestService", &Handler, &g_handle) != 0) return;
  Report(SERVICE_START_PENDING, 0, 0);
  Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0);
  if (g_mode == "crash") std::_Exit(9);
  std::unique_lock lock(g_mutex);
  g_cv.wait(lock, [] { return g_stop; });
  lock.unlock();
  Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  g_mode = argc > 1 ? argv[1] : "normal";
  g_journal = argc > 2 ? argv[2] : "";
  if (g_mode == "exit-early") return 3;
  if (g_mode == "no-dispatch") {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
  }
  static char16_t name[] = u"TestService";
  const SERVICE_TABLE_ENTRYW table[] = {{name, &Main}, {nullptr, nullptr}};
  pvn::win::Error error = StartServiceCtrlDispatcherW(table);
  Journal("dispatcher " + std::to_string(error));
  std::printf("dispatcher %u\n", error);
  return 0;
}
