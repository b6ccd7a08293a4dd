#include "console/platform_links.h"

#include <string_view>

namespace pvn::console {

// This build has no client for the machine's Service Control Manager: every
// open fails as it does when the manager cannot be reached, and the console
// runs without its agent-service handles.
ScHandle PlatformServiceControl::OpenSCManagerW(const char16_t*, const char16_t*, std::uint32_t,
                                                win::Error* error) {
  if (error) *error = win::ERROR_SERVICE_DATABASE_LOCKED;
  return 0;
}

ScHandle PlatformServiceControl::OpenServiceW(ScHandle, const char16_t*, std::uint32_t,
                                              win::Error* error) {
  if (error) *error = win::ERROR_INVALID_HANDLE;
  return 0;
}

win::Error PlatformServiceControl::NotifyServiceStatusChangeW(ScHandle, std::uint32_t,
                                                              ServiceNotify*) {
  return win::ERROR_INVALID_HANDLE;
}

bool PlatformServiceControl::CloseServiceHandle(ScHandle) {
  return false;
}

// Nor does it receive the machine's broadcasts: no device notices arrive and
// the registration for device interfaces fails.
void PlatformMachineLink::Attach(Sink*) {}
void PlatformMachineLink::Detach(Sink*) {}
bool PlatformMachineLink::RegisterDeviceInterfaceNotification(Sink*, const Guid&) {
  return false;
}

// The process's own token can always be opened, but without a machine to
// restart the shutdown privilege is never granted, so no restart is tried.
bool PlatformShutdownControl::OpenProcessToken(std::uint32_t) {
  return true;
}

bool PlatformShutdownControl::LookupPrivilegeValueW(const char16_t* name, Luid* luid) {
  if (!name || !luid || std::u16string_view(name) != SE_SHUTDOWN_NAME) return false;
  *luid = Luid{0x13, 0};
  return true;
}

win::Error PlatformShutdownControl::EnablePrivilege(const Luid&) {
  return win::ERROR_NOT_ALL_ASSIGNED;
}

bool PlatformShutdownControl::ExitWindowsEx(std::uint32_t, std::uint32_t) {
  return false;
}

}  // namespace pvn::console
