#include "platform/power/power.h"

#include <array>
#include <mutex>
#include <string_view>

#include "platform/base/unicode.h"

namespace pvn::power {

namespace {

// The privileges a token can hold, with their local identifiers.
constexpr std::array<std::u16string_view, 3> kPrivileges = {
    u"SeShutdownPrivilege", u"SeRemoteShutdownPrivilege", u"SeLoadDriverPrivilege"};
constexpr std::uint32_t kFirstLuid = 19;

std::mutex g_mutex;
std::array<bool, kPrivileges.size()> g_enabled{};
std::function<win::Error(const ShutdownRequest&)> g_handler;

int IndexOf(std::u16string_view name) {
  for (std::size_t i = 0; i < kPrivileges.size(); ++i)
    if (EqualsNoCase(kPrivileges[i], name)) return static_cast<int>(i);
  return -1;
}

}  // namespace

win::Error OpenProcessToken(std::uint32_t desiredAccess, TokenHandle* token) {
  if (!token) return win::ERROR_INVALID_PARAMETER;
  token->access = desiredAccess;
  token->valid = true;
  return win::ERROR_SUCCESS;
}

win::Error LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name, LUID* luid) {
  if (!name || !luid) return win::ERROR_INVALID_PARAMETER;
  if (systemName && *systemName) return win::RPC_S_SERVER_UNAVAILABLE;
  int index = IndexOf(name);
  if (index < 0) return win::ERROR_NO_SUCH_PRIVILEGE;
  *luid = LUID{kFirstLuid + static_cast<std::uint32_t>(index), 0};
  return win::ERROR_SUCCESS;
}

win::Error AdjustTokenPrivileges(TokenHandle token, bool disableAllPrivileges,
                                 const TOKEN_PRIVILEGES* newState, win::Error* lastError) {
  if (!token.valid) return win::ERROR_INVALID_HANDLE;
  if (!(token.access & TOKEN_ADJUST_PRIVILEGES)) return win::ERROR_ACCESS_DENIED;
  std::lock_guard lock(g_mutex);
  if (lastError) *lastError = win::ERROR_SUCCESS;
  if (disableAllPrivileges) {
    g_enabled.fill(false);
    return win::ERROR_SUCCESS;
  }
  if (!newState) return win::ERROR_INVALID_PARAMETER;
  for (std::uint32_t i = 0; i < newState->PrivilegeCount && i < 1; ++i) {
    const auto& entry = newState->Privileges[i];
    std::uint32_t index = entry.Luid.LowPart - kFirstLuid;
    if (entry.Luid.HighPart != 0 || index >= kPrivileges.size()) {
      if (lastError) *lastError = win::ERROR_NOT_ALL_ASSIGNED;
      continue;
    }
    g_enabled[index] = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  return win::ERROR_SUCCESS;
}

bool IsPrivilegeEnabled(const char16_t* name) {
  int index = name ? IndexOf(name) : -1;
  std::lock_guard lock(g_mutex);
  return index >= 0 && g_enabled[index];
}

win::Error InitiateSystemShutdownW(const char16_t* machineName, const char16_t* /*message*/,
                                   std::uint32_t timeoutSeconds, bool forceAppsClosed,
                                   bool rebootAfterShutdown) {
  if (machineName && *machineName) return win::RPC_S_SERVER_UNAVAILABLE;
  if (!IsPrivilegeEnabled(u"SeShutdownPrivilege")) return win::ERROR_PRIVILEGE_NOT_HELD;
  std::function<win::Error(const ShutdownRequest&)> handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  if (!handler) return win::RPC_S_SERVER_UNAVAILABLE;
  return handler(ShutdownRequest{timeoutSeconds, forceAppsClosed, rebootAfterShutdown});
}

void SetShutdownHandler(std::function<win::Error(const ShutdownRequest&)> handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

}  // namespace pvn::power
