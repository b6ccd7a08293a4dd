#pragma once
// Token privileges and the shutdown call of the running machine.
//
// A process's token holds the shutdown privilege disabled, as an
// administrator's token does on Windows; InitiateSystemShutdownW needs it
// enabled first:
//
//   TokenHandle token;
//   OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
//   LUID luid;
//   LookupPrivilegeValueW(nullptr, u"SeShutdownPrivilege", &luid);
//   TOKEN_PRIVILEGES enable{1, {{luid, SE_PRIVILEGE_ENABLED}}};
//   AdjustTokenPrivileges(token, false, &enable);
//   InitiateSystemShutdownW(nullptr, nullptr, 0, true, true);
#include <cstdint>
#include <functional>

#include "platform/base/win32_error.h"

namespace pvn::power {

inline constexpr std::uint32_t TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr std::uint32_t TOKEN_QUERY = 0x0008;
inline constexpr std::uint32_t SE_PRIVILEGE_ENABLED = 0x00000002;

struct LUID {
  std::uint32_t LowPart;
  std::int32_t HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  std::uint32_t Attributes;
};

// One privilege is what the programs adjust at a time.
struct TOKEN_PRIVILEGES {
  std::uint32_t PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};

// The access token of the calling process. Closing is not needed: the token
// lives as long as the process.
struct TokenHandle {
  std::uint32_t access = 0;
  bool valid = false;
};

win::Error OpenProcessToken(std::uint32_t desiredAccess, TokenHandle* token);
// `systemName` must be null. ERROR_NO_SUCH_PRIVILEGE for an unknown name.
win::Error LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name, LUID* luid);
// Enables or disables the listed privileges. Like the Windows call it
// succeeds when a privilege is not held, leaving ERROR_NOT_ALL_ASSIGNED in
// `*lastError`.
win::Error AdjustTokenPrivileges(TokenHandle token, bool disableAllPrivileges,
                                 const TOKEN_PRIVILEGES* newState, win::Error* lastError = nullptr);
bool IsPrivilegeEnabled(const char16_t* name);

// Asks the running machine to shut down or restart after `timeoutSeconds`.
// ERROR_PRIVILEGE_NOT_HELD unless the shutdown privilege is enabled;
// `machineName` must be null (the local machine).
win::Error InitiateSystemShutdownW(const char16_t* machineName, const char16_t* message,
                                   std::uint32_t timeoutSeconds, bool forceAppsClosed,
                                   bool rebootAfterShutdown);

// Where a shutdown request goes. The machine daemon's request is not wired
// in yet: until it is, a request without a handler fails with
// RPC_S_SERVER_UNAVAILABLE. Tests and the daemon's integration install one.
struct ShutdownRequest {
  std::uint32_t timeoutSeconds;
  bool force;
  bool reboot;
};
void SetShutdownHandler(std::function<win::Error(const ShutdownRequest&)> handler);

}  // namespace pvn::power
