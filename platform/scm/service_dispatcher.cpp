// The service side: the dispatcher on the program's main thread, the control
// handler registration and the status reports, all over the channel that the
// manager handed the program when it started it.
#include "platform/scm/service_dispatcher.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/scm/channel.h"

namespace pvn::scm {

namespace {

constexpr std::uint64_t kStatusHandle = 1;

struct Dispatcher {
  std::mutex mutex;  // guards everything below and every send
  bool running = false;
  detail::Channel channel;
  LPHANDLER_FUNCTION handler = nullptr;
};

Dispatcher& TheDispatcher() {
  static Dispatcher dispatcher;
  return dispatcher;
}

// The inherited channel's descriptor, or -1.
int InheritedChannel() {
  const char* value = std::getenv(kServiceChannelVariable);
  if (!value || !*value) return -1;
  char* end = nullptr;
  long fd = std::strtol(value, &end, 10);
  if (*end != '\0' || fd < 3 || fd > 65535) return -1;
  return static_cast<int>(fd);
}

// The service main function's thread, with the arguments it was started with.
struct ServiceThread {
  std::vector<std::u16string> arguments;
  std::vector<char16_t*> argv;
  std::thread thread;
};

}  // namespace

win::Error StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
  if (!table || !table[0].lpServiceName || !table[0].lpServiceProc)
    return win::ERROR_INVALID_PARAMETER;
  Dispatcher& dispatcher = TheDispatcher();
  int fd = InheritedChannel();
  {
    std::lock_guard lock(dispatcher.mutex);
    if (dispatcher.running) return win::ERROR_SERVICE_ALREADY_RUNNING;
    if (fd < 0) return win::ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    dispatcher.channel = detail::Channel(fd);
    // The descriptor is not handed on to programs the service starts.
    unsetenv(kServiceChannelVariable);
    if (!dispatcher.channel.Send({{"op", "connect"}})) {
      dispatcher.channel.Close();
      return win::ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    }
    dispatcher.running = true;
  }

  std::vector<std::unique_ptr<ServiceThread>> threads;
  nlohmann::json message;
  // Only this thread receives, so the channel is read without the lock.
  while (dispatcher.channel.Receive(&message)) {
    std::string op = detail::Str(message, "op");
    if (op == "start") {
      // An own-process program runs its one service whatever the name.
      auto service = std::make_unique<ServiceThread>();
      service->arguments.push_back(table[0].lpServiceName);
      if (message.contains("args") && message["args"].is_array())
        for (const auto& arg : message["args"])
          if (arg.is_string()) service->arguments.push_back(Utf8ToUtf16(arg.get<std::string>()));
      for (auto& arg : service->arguments) service->argv.push_back(arg.data());
      service->argv.push_back(nullptr);
      LPSERVICE_MAIN_FUNCTIONW proc = table[0].lpServiceProc;
      ServiceThread* raw = service.get();
      service->thread = std::thread([proc, raw] {
        proc(static_cast<std::uint32_t>(raw->arguments.size()), raw->argv.data());
      });
      threads.push_back(std::move(service));
    } else if (op == "control") {
      LPHANDLER_FUNCTION handler;
      {
        std::lock_guard lock(dispatcher.mutex);
        handler = dispatcher.handler;
      }
      std::uint32_t control = detail::U32(message, "control");
      // Handlers run on this thread, one at a time, as the manager sends them.
      if (handler) handler(control);
      std::lock_guard lock(dispatcher.mutex);
      dispatcher.channel.Send(
          {{"op", "controlled"}, {"control", control}, {"handled", handler != nullptr}});
    } else if (op == "exit") {
      break;  // every service of the program has stopped
    }
  }

  // The services have reported STOPPED; their main functions end shortly after.
  for (auto& service : threads)
    if (service->thread.joinable()) service->thread.join();
  std::lock_guard lock(dispatcher.mutex);
  dispatcher.channel.Close();
  dispatcher.handler = nullptr;
  dispatcher.running = false;
  return win::ERROR_SUCCESS;
}

win::Error RegisterServiceCtrlHandlerW(const char16_t* serviceName, LPHANDLER_FUNCTION handler,
                                       SERVICE_STATUS_HANDLE* handle) {
  if (!serviceName || !handler || !handle) return win::ERROR_INVALID_PARAMETER;
  Dispatcher& dispatcher = TheDispatcher();
  std::lock_guard lock(dispatcher.mutex);
  if (!dispatcher.running) return win::ERROR_SERVICE_NOT_IN_EXE;
  dispatcher.handler = handler;
  handle->value = kStatusHandle;
  return win::ERROR_SUCCESS;
}

win::Error SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
  if (!status) return win::ERROR_INVALID_PARAMETER;
  if (status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > SERVICE_PAUSED)
    return win::ERROR_INVALID_DATA;
  Dispatcher& dispatcher = TheDispatcher();
  std::lock_guard lock(dispatcher.mutex);
  if (handle.value != kStatusHandle || !dispatcher.running || !dispatcher.handler)
    return win::ERROR_INVALID_HANDLE;
  nlohmann::json message = {{"op", "status"},
                            {"type", status->dwServiceType},
                            {"state", status->dwCurrentState},
                            {"accepted", status->dwControlsAccepted},
                            {"exit", status->dwWin32ExitCode},
                            {"specific", status->dwServiceSpecificExitCode},
                            {"checkpoint", status->dwCheckPoint},
                            {"hint", status->dwWaitHint}};
  return dispatcher.channel.Send(message) ? win::ERROR_SUCCESS : win::ERROR_INVALID_HANDLE;
}

}  // namespace pvn::scm
