#include "platform/power/power.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/machine/client/machine_client.h"

namespace pvn::power {

namespace {

thread_local DWORD tlsLastError = win::ERROR_SUCCESS;

BOOL Fail(DWORD error) {
  tlsLastError = error;
  return FALSE;
}
BOOL Succeed(DWORD error = win::ERROR_SUCCESS) {
  tlsLastError = error;
  return TRUE;
}

// Privileges by their well-known LUIDs.
struct Privilege {
  std::u16string_view name;
  DWORD luid;
  bool held;  // in an elevated administrator's token
  bool enabledByDefault;
};
constexpr Privilege kPrivileges[] = {
    {u"SeCreateTokenPrivilege", 2, false, false},
    {u"SeAssignPrimaryTokenPrivilege", 3, false, false},
    {u"SeLockMemoryPrivilege", 4, false, false},
    {u"SeIncreaseQuotaPrivilege", 5, true, false},
    {u"SeMachineAccountPrivilege", 6, false, false},
    {u"SeTcbPrivilege", 7, false, false},
    {u"SeSecurityPrivilege", 8, true, false},
    {u"SeTakeOwnershipPrivilege", 9, true, false},
    {u"SeLoadDriverPrivilege", 10, true, false},
    {u"SeSystemProfilePrivilege", 11, true, false},
    {u"SeSystemtimePrivilege", 12, true, false},
    {u"SeProfileSingleProcessPrivilege", 13, true, false},
    {u"SeIncreaseBasePriorityPrivilege", 14, true, false},
    {u"SeCreatePagefilePrivilege", 15, true, false},
    {u"SeCreatePermanentPrivilege", 16, false, false},
    {u"SeBackupPrivilege", 17, true, false},
    {u"SeRestorePrivilege", 18, true, false},
    {u"SeShutdownPrivilege", 19, true, false},
    {u"SeDebugPrivilege", 20, true, false},
    {u"SeAuditPrivilege", 21, false, false},
    {u"SeSystemEnvironmentPrivilege", 22, true, false},
    {u"SeChangeNotifyPrivilege", 23, true, true},
    {u"SeRemoteShutdownPrivilege", 24, true, false},
    {u"SeUndockPrivilege", 25, true, false},
    {u"SeSyncAgentPrivilege", 26, false, false},
    {u"SeEnableDelegationPrivilege", 27, false, false},
    {u"SeManageVolumePrivilege", 28, true, false},
    {u"SeImpersonatePrivilege", 29, true, true},
    {u"SeCreateGlobalPrivilege", 30, true, true},
    {u"SeTrustedCredManAccessPrivilege", 31, false, false},
    {u"SeRelabelPrivilege", 32, false, false},
    {u"SeIncreaseWorkingSetPrivilege", 33, true, false},
    {u"SeTimeZonePrivilege", 34, true, false},
    {u"SeCreateSymbolicLinkPrivilege", 35, true, false},
    {u"SeDelegateSessionUserImpersonatePrivilege", 36, true, false},
};
constexpr DWORD kShutdownLuid = 19;

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// The process token: which held privileges are enabled, and the handles
// opened on it with their access rights.
struct Token {
  std::mutex mutex;
  std::map<DWORD, bool> enabled;  // held privileges only
  std::map<std::uintptr_t, DWORD> handles;
  std::uintptr_t nextHandle = 0x100;
  Token() {
    for (const auto& p : kPrivileges)
      if (p.held) enabled[p.luid] = p.enabledByDefault;
  }
};
Token& ProcessToken() {
  static Token token;
  return token;
}

BOOL AskMachine(bool restart, DWORD delaySeconds) {
  auto client = machine::MachineClient::Connect();
  if (!client) return Fail(win::ERROR_NOT_READY);
  machine::Json request = {{"cmd", restart ? "reboot" : "shutdown"}};
  if (delaySeconds) request["delay_seconds"] = delaySeconds;
  auto answer = client->Request(request);
  if (!answer) return Fail(win::ERROR_NOT_READY);
  if (!answer->value("ok", false))
    return Fail(answer->value("in_progress", false) ? win::ERROR_SHUTDOWN_IN_PROGRESS
                                                    : win::ERROR_NOT_READY);
  return Succeed();
}

bool ShutdownEnabled() {
  auto& token = ProcessToken();
  std::lock_guard lock(token.mutex);
  auto it = token.enabled.find(kShutdownLuid);
  return it != token.enabled.end() && it->second;
}

}  // namespace

DWORD GetLastError() {
  return tlsLastError;
}
void SetLastError(DWORD error) {
  tlsLastError = error;
}
HANDLE GetCurrentProcess() {
  return kCurrentProcess;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
  if (!token) return Fail(win::ERROR_NOACCESS);
  if (process != kCurrentProcess) return Fail(win::ERROR_INVALID_HANDLE);
  auto& t = ProcessToken();
  std::lock_guard lock(t.mutex);
  std::uintptr_t id = t.nextHandle;
  t.nextHandle += 4;
  t.handles[id] = desiredAccess;
  *token = reinterpret_cast<HANDLE>(id);
  return Succeed();
}

BOOL CloseHandle(HANDLE handle) {
  auto& t = ProcessToken();
  std::lock_guard lock(t.mutex);
  if (t.handles.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0)
    return Fail(win::ERROR_INVALID_HANDLE);
  return Succeed();
}

BOOL LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name, LUID* luid) {
  if (!name || !luid) return Fail(win::ERROR_INVALID_PARAMETER);
  if (systemName && *systemName) {
    std::u16string system(systemName);
    if (!EqualsNoCase(system, u".") && !EqualsNoCase(system, u"localhost") &&
        !EqualsNoCase(system, u"\\\\.") && !EqualsNoCase(system, u"\\\\localhost"))
      return Fail(ERROR_BAD_NETPATH);
  }
  for (const auto& p : kPrivileges)
    if (EqualsNoCase(p.name, name)) {
      *luid = LUID{p.luid, 0};
      return Succeed();
    }
  return Fail(win::ERROR_NO_SUCH_PRIVILEGE);
}

BOOL AdjustTokenPrivileges(HANDLE tokenHandle, BOOL disableAllPrivileges,
                           const TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
  auto& token = ProcessToken();
  std::lock_guard lock(token.mutex);
  auto handle = token.handles.find(reinterpret_cast<std::uintptr_t>(tokenHandle));
  if (handle == token.handles.end()) return Fail(win::ERROR_INVALID_HANDLE);
  if (!(handle->second & TOKEN_ADJUST_PRIVILEGES)) return Fail(win::ERROR_ACCESS_DENIED);
  if (previousState && !(handle->second & TOKEN_QUERY)) return Fail(win::ERROR_ACCESS_DENIED);
  if (!disableAllPrivileges && !newState) return Fail(win::ERROR_INVALID_PARAMETER);

  // Work out the change first: nothing changes when the previous state does
  // not fit.
  std::map<DWORD, bool> wanted;
  bool allAssigned = true;
  if (disableAllPrivileges) {
    for (const auto& [luid, on] : token.enabled) wanted[luid] = false;
  } else {
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
      const auto& entry = newState->Privileges[i];
      DWORD luid = entry.Luid.LowPart;
      if (entry.Luid.HighPart != 0 || !token.enabled.count(luid)) {
        allAssigned = false;
        continue;
      }
      wanted[luid] = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  std::vector<std::pair<DWORD, bool>> changed;  // luid, previous state
  for (const auto& [luid, on] : wanted)
    if (token.enabled[luid] != on) changed.emplace_back(luid, token.enabled[luid]);
  if (previousState) {
    DWORD needed = static_cast<DWORD>(sizeof(DWORD) + std::max<std::size_t>(changed.size(), 1) *
                                                          sizeof(LUID_AND_ATTRIBUTES));
    if (returnLength) *returnLength = needed;
    if (bufferLength < needed) return Fail(win::ERROR_INSUFFICIENT_BUFFER);
    previousState->PrivilegeCount = static_cast<DWORD>(changed.size());
    for (std::size_t i = 0; i < changed.size(); ++i)
      previousState->Privileges[i] = {LUID{changed[i].first, 0},
                                      changed[i].second ? SE_PRIVILEGE_ENABLED : 0u};
  }
  for (const auto& [luid, on] : wanted) token.enabled[luid] = on;
  return Succeed(allAssigned ? win::ERROR_SUCCESS : win::ERROR_NOT_ALL_ASSIGNED);
}

BOOL ExitWindowsEx(UINT flags, DWORD) {
  UINT action = flags & ~(EWX_FORCE | EWX_FORCEIFHUNG);
  bool restart = action == EWX_REBOOT || action == EWX_RESTARTAPPS;
  bool shutdown = action == EWX_SHUTDOWN || action == EWX_POWEROFF;
  if (!restart && !shutdown) return Fail(win::ERROR_NOT_SUPPORTED);
  if (!ShutdownEnabled()) return Fail(win::ERROR_PRIVILEGE_NOT_HELD);
  return AskMachine(restart, 0);
}

BOOL InitiateSystemShutdownW(const char16_t* machineName, const char16_t*, DWORD timeout, BOOL,
                             BOOL rebootAfterShutdown) {
  if (machineName && *machineName) {
    std::u16string name(machineName);
    if (!EqualsNoCase(name, u"\\\\.") && !EqualsNoCase(name, u"\\\\localhost") &&
        !EqualsNoCase(name, u"localhost") && !EqualsNoCase(name, u"."))
      return Fail(ERROR_BAD_NETPATH);
  }
  if (!ShutdownEnabled()) return Fail(win::ERROR_PRIVILEGE_NOT_HELD);
  return AskMachine(rebootAfterShutdown != FALSE, timeout);
}

}  // namespace pvn::power
