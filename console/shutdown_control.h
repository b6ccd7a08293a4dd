#pragma once
// Token privileges and the restart request, as the reboot prompt uses them.
#include <cstdint>

#include "platform/base/win32_error.h"

namespace pvn::console {

inline constexpr std::uint32_t TOKEN_ADJUST_PRIVILEGES = 0x20;
inline constexpr std::uint32_t TOKEN_QUERY = 0x08;
inline constexpr std::uint32_t SE_PRIVILEGE_ENABLED = 0x2;
inline constexpr std::uint32_t EWX_REBOOT = 0x2;
inline constexpr std::uint32_t SHTDN_REASON_FLAG_PLANNED = 0x80000000;
inline constexpr std::uint32_t SHTDN_REASON_MAJOR_OPERATINGSYSTEM = 0x00020000;
inline constexpr std::uint32_t SHTDN_REASON_MINOR_RECONFIG = 0x00000004;
inline constexpr char16_t SE_SHUTDOWN_NAME[] = u"SeShutdownPrivilege";

struct Luid {
  std::uint32_t lowPart = 0;
  std::int32_t highPart = 0;
};

class ShutdownControl {
 public:
  virtual ~ShutdownControl() = default;
  // OpenProcessToken for the current process; false when refused.
  virtual bool OpenProcessToken(std::uint32_t desiredAccess) = 0;
  virtual bool LookupPrivilegeValueW(const char16_t* name, Luid* luid) = 0;
  // AdjustTokenPrivileges with one privilege; returns what GetLastError
  // reports afterwards: 0 when it was granted, ERROR_NOT_ALL_ASSIGNED when
  // the token does not hold it.
  virtual win::Error EnablePrivilege(const Luid& luid) = 0;
  virtual bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) = 0;
};

}  // namespace pvn::console
