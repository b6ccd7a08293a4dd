#pragma once
// The calls a service program makes to the Service Control Manager.
//
// The manager starts a service program with a channel it inherits; a program
// started any other way (from a shell, say) has none, and its dispatcher call
// fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT at once.
//
// StartServiceCtrlDispatcherW runs on the program's main thread: it connects,
// starts each service's main function on a thread of its own when the manager
// says so, calls the control handlers on the main thread, and returns once
// every service of the program has reported SERVICE_STOPPED.
#include <cstdint>

#include "platform/base/win32_error.h"
#include "platform/scm/service_types.h"

namespace pvn::scm {

using LPSERVICE_MAIN_FUNCTIONW = void (*)(std::uint32_t argc, char16_t** argv);
using LPHANDLER_FUNCTION = void (*)(std::uint32_t control);

struct SERVICE_TABLE_ENTRYW {
  char16_t* lpServiceName;
  LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
};

struct SERVICE_STATUS_HANDLE {
  std::uint64_t value = 0;
  explicit operator bool() const { return value != 0; }
};

// `table` ends with an entry whose members are null.
win::Error StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table);
// Called from a service's main function. An own-process service may give any
// name; its one service is meant.
win::Error RegisterServiceCtrlHandlerW(const char16_t* serviceName, LPHANDLER_FUNCTION handler,
                                       SERVICE_STATUS_HANDLE* handle);
// ERROR_INVALID_DATA for a state outside 1..7; ERROR_INVALID_HANDLE for a
// handle that was not registered.
win::Error SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

// The environment variable through which the manager names the inherited
// channel (a descriptor number) of a service program.
inline constexpr const char* kServiceChannelVariable = "PVN_SERVICE_CHANNEL";

}  // namespace pvn::scm
