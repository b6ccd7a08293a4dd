#pragma once
// Constants and records of the Service Control Manager, with their Windows
// values, shared by the client calls, the service-side calls and the manager.
#include <cstddef>
#include <cstdint>

namespace pvn::scm {

// Service types (value `Type` of a service key).
inline constexpr std::uint32_t SERVICE_KERNEL_DRIVER = 0x00000001;
inline constexpr std::uint32_t SERVICE_FILE_SYSTEM_DRIVER = 0x00000002;
inline constexpr std::uint32_t SERVICE_WIN32_OWN_PROCESS = 0x00000010;
inline constexpr std::uint32_t SERVICE_WIN32_SHARE_PROCESS = 0x00000020;
inline constexpr std::uint32_t SERVICE_INTERACTIVE_PROCESS = 0x00000100;
inline constexpr std::uint32_t SERVICE_DRIVER = SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER;
inline constexpr std::uint32_t SERVICE_WIN32 =
    SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;

// Start types (value `Start`).
inline constexpr std::uint32_t SERVICE_BOOT_START = 0;
inline constexpr std::uint32_t SERVICE_SYSTEM_START = 1;
inline constexpr std::uint32_t SERVICE_AUTO_START = 2;
inline constexpr std::uint32_t SERVICE_DEMAND_START = 3;
inline constexpr std::uint32_t SERVICE_DISABLED = 4;

// Error control (value `ErrorControl`).
inline constexpr std::uint32_t SERVICE_ERROR_IGNORE = 0;
inline constexpr std::uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr std::uint32_t SERVICE_ERROR_SEVERE = 2;
inline constexpr std::uint32_t SERVICE_ERROR_CRITICAL = 3;

inline constexpr std::uint32_t SERVICE_NO_CHANGE = 0xFFFFFFFF;

// Current states.
inline constexpr std::uint32_t SERVICE_STOPPED = 1;
inline constexpr std::uint32_t SERVICE_START_PENDING = 2;
inline constexpr std::uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr std::uint32_t SERVICE_RUNNING = 4;
inline constexpr std::uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr std::uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr std::uint32_t SERVICE_PAUSED = 7;

// Controls a service accepts.
inline constexpr std::uint32_t SERVICE_ACCEPT_STOP = 0x00000001;
inline constexpr std::uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 0x00000002;
inline constexpr std::uint32_t SERVICE_ACCEPT_SHUTDOWN = 0x00000004;

// Control codes.
inline constexpr std::uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr std::uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr std::uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr std::uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr std::uint32_t SERVICE_CONTROL_SHUTDOWN = 5;

// Access rights of the manager.
inline constexpr std::uint32_t SC_MANAGER_CONNECT = 0x0001;
inline constexpr std::uint32_t SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr std::uint32_t SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
inline constexpr std::uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;

// Access rights of a service.
inline constexpr std::uint32_t SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr std::uint32_t SERVICE_CHANGE_CONFIG = 0x0002;
inline constexpr std::uint32_t SERVICE_QUERY_STATUS = 0x0004;
inline constexpr std::uint32_t SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
inline constexpr std::uint32_t SERVICE_START = 0x0010;
inline constexpr std::uint32_t SERVICE_STOP = 0x0020;
inline constexpr std::uint32_t SERVICE_PAUSE_CONTINUE = 0x0040;
inline constexpr std::uint32_t SERVICE_INTERROGATE = 0x0080;
inline constexpr std::uint32_t SERVICE_USER_DEFINED_CONTROL = 0x0100;
inline constexpr std::uint32_t SERVICE_DELETE = 0x00010000;  // DELETE
inline constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;
inline constexpr std::uint32_t GENERIC_READ = 0x80000000;
inline constexpr std::uint32_t GENERIC_EXECUTE = 0x20000000;
inline constexpr std::uint32_t GENERIC_ALL = 0x10000000;

struct SERVICE_STATUS {
  std::uint32_t dwServiceType;
  std::uint32_t dwCurrentState;
  std::uint32_t dwControlsAccepted;
  std::uint32_t dwWin32ExitCode;
  std::uint32_t dwServiceSpecificExitCode;
  std::uint32_t dwCheckPoint;
  std::uint32_t dwWaitHint;
};
static_assert(sizeof(SERVICE_STATUS) == 28);

struct SERVICE_STATUS_PROCESS {
  std::uint32_t dwServiceType;
  std::uint32_t dwCurrentState;
  std::uint32_t dwControlsAccepted;
  std::uint32_t dwWin32ExitCode;
  std::uint32_t dwServiceSpecificExitCode;
  std::uint32_t dwCheckPoint;
  std::uint32_t dwWaitHint;
  std::uint32_t dwProcessId;
  std::uint32_t dwServiceFlags;
};
static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36);
static_assert(offsetof(SERVICE_STATUS_PROCESS, dwProcessId) == 28);

enum SC_STATUS_TYPE : std::int32_t { SC_STATUS_PROCESS_INFO = 0 };

// NotifyServiceStatusChangeW.
inline constexpr std::uint32_t SERVICE_NOTIFY_STATUS_CHANGE = 2;
inline constexpr std::uint32_t SERVICE_NOTIFY_STOPPED = 0x00000001;
inline constexpr std::uint32_t SERVICE_NOTIFY_START_PENDING = 0x00000002;
inline constexpr std::uint32_t SERVICE_NOTIFY_STOP_PENDING = 0x00000004;
inline constexpr std::uint32_t SERVICE_NOTIFY_RUNNING = 0x00000008;
inline constexpr std::uint32_t SERVICE_NOTIFY_CONTINUE_PENDING = 0x00000010;
inline constexpr std::uint32_t SERVICE_NOTIFY_PAUSE_PENDING = 0x00000020;
inline constexpr std::uint32_t SERVICE_NOTIFY_PAUSED = 0x00000040;

// The notify bit of a current state (state n is bit n - 1).
constexpr std::uint32_t NotifyBitOf(std::uint32_t state) {
  return (state >= SERVICE_STOPPED && state <= SERVICE_PAUSED) ? 1u << (state - 1) : 0;
}

struct SERVICE_NOTIFYW;
using PFN_SC_NOTIFY_CALLBACK = void (*)(void* parameter);

struct SERVICE_NOTIFYW {
  std::uint32_t dwVersion;  // SERVICE_NOTIFY_STATUS_CHANGE
  PFN_SC_NOTIFY_CALLBACK pfnNotifyCallback;
  void* pContext;
  std::uint32_t dwNotificationStatus;  // ERROR_SUCCESS, or why no status came
  SERVICE_STATUS_PROCESS ServiceStatus;
  std::uint32_t dwNotificationTriggered;
  char16_t* pszServiceNames;
};

}  // namespace pvn::scm
