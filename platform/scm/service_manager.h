#pragma once
// The manager core: it starts own-process services as child processes, talks
// to each over its channel, tracks the status each reports and hands them
// controls, as services.exe does. It does not depend on the machine daemon:
// the machine's module (scm_host_module.cpp) owns one; tests drive one
// in-process.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/win32_error.h"
#include "platform/scm/service_types.h"

namespace pvn::scm {

struct ManagerOptions {
  // How long a started program has to connect its dispatcher.
  std::chrono::milliseconds startTimeout{30000};
  // How long a control handler may take.
  std::chrono::milliseconds controlTimeout{30000};
  // How long services have to end at shutdown before their processes are ended.
  std::chrono::milliseconds shutdownTimeout{20000};
};

class ServiceManager {
 public:
  explicit ServiceManager(ManagerOptions options = {});
  ~ServiceManager();  // shuts the services down
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;

  win::Error Start(std::u16string_view name, const std::vector<std::u16string>& arguments);
  win::Error Control(std::u16string_view name, std::uint32_t control, SERVICE_STATUS* status);
  win::Error Query(std::u16string_view name, SERVICE_STATUS_PROCESS* status);
  // Waits until the service is in one of the states of `notifyMask`;
  // `cancelled` is asked every `poll` and ends the wait with ERROR_CANCELLED.
  win::Error WaitForState(std::u16string_view name, std::uint32_t notifyMask,
                          const std::function<bool()>& cancelled, SERVICE_STATUS_PROCESS* status,
                          std::chrono::milliseconds poll = std::chrono::milliseconds(200));
  // Marks the service for deletion; its key goes now when it is stopped,
  // otherwise once it stops.
  win::Error Delete(std::u16string_view name);

  // Boot: starts every automatic own-process service.
  void StartAutomatic();
  // Restart or shutdown: sends SHUTDOWN to every service that is not stopped,
  // waits for their processes to end and ends those left after the time-out.
  void ShutdownAll();

 private:
  struct Running;
  struct Service;

  Service& Entry(const std::u16string& key, const std::u16string& name);  // mutex_ held
  void ReadChannel(std::shared_ptr<Running> running);
  void OnStatus(const std::shared_ptr<Running>& running, const SERVICE_STATUS& status);
  void FinishDelete(Service& service);  // mutex_ held

  ManagerOptions options_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::u16string, Service> services_;  // by folded name
  std::vector<std::thread> readers_;
  bool shutDown_ = false;
};

}  // namespace pvn::scm
