#pragma once
// Privileges of the process token and restart requests to the machine, with
// the Win32 calls' names, values and last-error behaviour.
//
//   HANDLE token;
//   OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
//   TOKEN_PRIVILEGES tp{1, {{{}, SE_PRIVILEGE_ENABLED}}};
//   LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid);
//   AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
//   if (GetLastError() != ERROR_SUCCESS) ...       // ERROR_NOT_ALL_ASSIGNED
//   ExitWindowsEx(EWX_REBOOT, 0);
//
// The process runs with an elevated administrator's token: it holds
// SeShutdownPrivilege (disabled until enabled) among the usual ones, and
// lacks the system-only ones such as SeTcbPrivilege. A restart or shutdown
// is asked of the running machine (pvnhost) and happens after the call
// returns: desktop programs get the notice, services stop, the drivers
// unload, and the machine boots again.
#include <cstdint>

#include "platform/base/win32_error.h"

namespace pvn::power {

using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using HANDLE = void*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

struct LUID {
  DWORD LowPart;
  std::int32_t HighPart;
};
struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];  // PrivilegeCount entries
};
static_assert(sizeof(LUID) == 8);
static_assert(sizeof(LUID_AND_ATTRIBUTES) == 12);
static_assert(sizeof(TOKEN_PRIVILEGES) == 16);

inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x1;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
inline constexpr DWORD SE_PRIVILEGE_REMOVED = 0x4;
inline constexpr const char16_t* SE_SHUTDOWN_NAME = u"SeShutdownPrivilege";

inline constexpr UINT EWX_LOGOFF = 0x0;
inline constexpr UINT EWX_SHUTDOWN = 0x1;
inline constexpr UINT EWX_REBOOT = 0x2;
inline constexpr UINT EWX_FORCE = 0x4;
inline constexpr UINT EWX_POWEROFF = 0x8;
inline constexpr UINT EWX_FORCEIFHUNG = 0x10;
inline constexpr UINT EWX_RESTARTAPPS = 0x40;

inline constexpr win::Error ERROR_BAD_NETPATH = 53;

// The calling thread's last error, set by every call below.
DWORD GetLastError();
void SetLastError(DWORD error);

// The pseudo-handle of the current process.
HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);
BOOL CloseHandle(HANDLE handle);
// Local privileges only: a system name must be null, empty or this machine.
// An unknown name fails with ERROR_NO_SUCH_PRIVILEGE.
BOOL LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name, LUID* luid);
// Succeeds even when the token lacks a privilege it was asked to change:
// the last error is then ERROR_NOT_ALL_ASSIGNED, and ERROR_SUCCESS when all
// were changed. `previousState` (needs TOKEN_QUERY) receives the privileges
// whose state changed; too small a buffer fails with ERROR_INSUFFICIENT_BUFFER
// and the needed size in `*returnLength`.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges,
                           const TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength);

// EWX_REBOOT (or EWX_RESTARTAPPS) restarts the machine, EWX_SHUTDOWN and
// EWX_POWEROFF shut it down; both need SeShutdownPrivilege enabled
// (ERROR_PRIVILEGE_NOT_HELD). ERROR_NOT_READY when no machine is running,
// ERROR_SHUTDOWN_IN_PROGRESS when one is already going down.
BOOL ExitWindowsEx(UINT flags, DWORD reason);
// The same after `timeout` seconds (0: at once). Another machine than this
// one is unreachable (ERROR_BAD_NETPATH).
BOOL InitiateSystemShutdownW(const char16_t* machineName, const char16_t* message, DWORD timeout,
                             BOOL forceAppsClosed, BOOL rebootAfterShutdown);

}  // namespace pvn::power
