#pragma once
// The Service Control Manager's client calls. They talk to the manager of the
// running machine; without a running machine OpenSCManagerW fails with
// RPC_S_SERVER_UNAVAILABLE.
//
//   SC_HANDLE scm, service;
//   if (OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT, &scm)) return;
//   OpenServiceW(scm, u"PvnCourier", SERVICE_START | SERVICE_QUERY_STATUS, &service);
//   StartServiceW(service, 0, nullptr);
//   CloseServiceHandle(service);
//   CloseServiceHandle(scm);
//
// Every call returns ERROR_SUCCESS or the Win32 error the Windows call would
// leave as its last error. Handles carry the access they were opened with; a
// call that needs more fails with ERROR_ACCESS_DENIED.
#include <cstdint>

#include "platform/base/win32_error.h"
#include "platform/scm/service_types.h"

namespace pvn::scm {

// A manager or service handle; 0 is none.
struct SC_HANDLE {
  std::uint64_t value = 0;
  explicit operator bool() const { return value != 0; }
};

// `machineName` and `databaseName` must be null (the local machine).
win::Error OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                          std::uint32_t desiredAccess, SC_HANDLE* manager);
// ERROR_SERVICE_DOES_NOT_EXIST for an unknown name (names are matched
// without regard to case).
win::Error OpenServiceW(SC_HANDLE manager, const char16_t* serviceName, std::uint32_t desiredAccess,
                        SC_HANDLE* service);
// Closing a service handle cancels its pending status notification.
win::Error CloseServiceHandle(SC_HANDLE handle);

// Registers a service in the database. `binaryPathName` is a Windows path or
// a host path, optionally quoted and followed by arguments. The remaining
// arguments of the Windows call (load order group, tag, dependencies,
// account, password) are not offered.
win::Error CreateServiceW(SC_HANDLE manager, const char16_t* serviceName,
                          const char16_t* displayName, std::uint32_t desiredAccess,
                          std::uint32_t serviceType, std::uint32_t startType,
                          std::uint32_t errorControl, const char16_t* binaryPathName,
                          SC_HANDLE* service);
// Marks the service for deletion; its key goes once the service has stopped.
win::Error DeleteService(SC_HANDLE service);

// Starts an own-process service and returns once its program has connected
// its dispatcher and was handed the start. Fails with
// ERROR_SERVICE_ALREADY_RUNNING, ERROR_SERVICE_DISABLED,
// ERROR_SERVICE_REQUEST_TIMEOUT (no dispatcher in time; the process is ended)
// or ERROR_PROCESS_ABORTED (the process ended before connecting).
win::Error StartServiceW(SC_HANDLE service, std::uint32_t argumentCount,
                         const char16_t* const* arguments);
// Hands a control to the service's handler and returns the status after it.
// ERROR_SERVICE_NOT_ACTIVE when stopped, ERROR_SERVICE_CANNOT_ACCEPT_CTRL when
// the service does not accept it or is pending, ERROR_INVALID_SERVICE_CONTROL
// for an unknown code.
win::Error ControlService(SC_HANDLE service, std::uint32_t control, SERVICE_STATUS* status);
win::Error QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
// Level SC_STATUS_PROCESS_INFO into a SERVICE_STATUS_PROCESS; a smaller
// buffer gives ERROR_INSUFFICIENT_BUFFER with the size in `*bytesNeeded`.
win::Error QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, void* buffer,
                                std::uint32_t bufferSize, std::uint32_t* bytesNeeded);

// Changes type, start type, error control, image path or display name; pass
// SERVICE_NO_CHANGE or null for what stays.
win::Error ChangeServiceConfigW(SC_HANDLE service, std::uint32_t serviceType,
                                std::uint32_t startType, std::uint32_t errorControl,
                                const char16_t* binaryPathName, const char16_t* displayName);

// What a service's database entry holds, for the tool's reports.
struct ServiceConfig {
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  char16_t binaryPathName[1024] = {};
  char16_t displayName[256] = {};
};
win::Error QueryServiceConfigW(SC_HANDLE service, ServiceConfig* config);

// Asks to be told once when the service enters one of the states in
// `notifyMask` (SERVICE_NOTIFY_STOPPED, SERVICE_NOTIFY_RUNNING, ...). When it
// already is in one, the notification comes at once. The callback runs on a
// thread of the platform layer (not as an APC on the caller's thread) with
// `notifyBuffer` filled in; register again for the next change.
win::Error NotifyServiceStatusChangeW(SC_HANDLE service, std::uint32_t notifyMask,
                                      SERVICE_NOTIFYW* notifyBuffer);

}  // namespace pvn::scm
