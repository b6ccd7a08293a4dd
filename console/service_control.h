#pragma once
// The Service Control Manager client calls the console makes, behind an
// interface so that tests can stand in for the machine.
#include <cstdint>

#include "platform/base/win32_error.h"

namespace pvn::console {

// A service-manager or service handle; 0 is none.
using ScHandle = std::uint64_t;

inline constexpr std::uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;

inline constexpr std::uint32_t SERVICE_NOTIFY_STATUS_CHANGE = 2;
inline constexpr std::uint32_t SERVICE_NOTIFY_STOPPED = 0x1;
inline constexpr std::uint32_t SERVICE_NOTIFY_RUNNING = 0x8;

struct ServiceStatusProcess {
  std::uint32_t serviceType = 0;
  std::uint32_t currentState = 0;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;
  std::uint32_t processId = 0;
  std::uint32_t serviceFlags = 0;
};
static_assert(sizeof(ServiceStatusProcess) == 36);

struct ServiceNotify;
using ServiceNotifyCallback = void (*)(ServiceNotify* notify);

// The status-change registration record (version 2).
struct ServiceNotify {
  std::uint32_t version = SERVICE_NOTIFY_STATUS_CHANGE;
  ServiceNotifyCallback notifyCallback = nullptr;
  void* context = nullptr;
  std::uint32_t notificationStatus = 0;
  ServiceStatusProcess serviceStatus;
  std::uint32_t notificationTriggered = 0;
  char16_t* serviceNames = nullptr;
};

class ServiceControlManager {
 public:
  virtual ~ServiceControlManager() = default;
  // Each call returns 0 (or an error) and the reason as the Win32 error.
  virtual ScHandle OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                                  std::uint32_t desiredAccess, win::Error* error) = 0;
  virtual ScHandle OpenServiceW(ScHandle manager, const char16_t* serviceName,
                                std::uint32_t desiredAccess, win::Error* error) = 0;
  // The record must live until the service handle is closed.
  virtual win::Error NotifyServiceStatusChangeW(ScHandle service, std::uint32_t notifyMask,
                                                ServiceNotify* notify) = 0;
  virtual bool CloseServiceHandle(ScHandle handle) = 0;
};

}  // namespace pvn::console
