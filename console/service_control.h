#pragma once
// The Service Control Manager client calls the console makes, behind an
// interface so that tests can stand in for the machine.
#include <cstdint>

#include "platform/base/win32_error.h"
#include "platform/scm/service_types.h"

namespace pvn::console {

// A service-manager or service handle; 0 is none.
using ScHandle = std::uint64_t;

using scm::SC_MANAGER_ALL_ACCESS;
using scm::SERVICE_ALL_ACCESS;
using scm::SERVICE_NOTIFY_RUNNING;
using scm::SERVICE_NOTIFY_STATUS_CHANGE;
using scm::SERVICE_NOTIFY_STOPPED;

// The status-change registration record, as the manager fills it.
using ServiceNotify = scm::SERVICE_NOTIFYW;

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
