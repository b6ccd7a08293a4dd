#pragma once
// The console's links to the running machine as the platform offers them:
// the Service Control Manager client, device broadcasts with the session end,
// and the restart request.
#include "console/machine_link.h"
#include "console/service_control.h"
#include "console/shutdown_control.h"

namespace pvn::console {

class PlatformServiceControl : public ServiceControlManager {
 public:
  ScHandle OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                          std::uint32_t desiredAccess, win::Error* error) override;
  ScHandle OpenServiceW(ScHandle manager, const char16_t* serviceName, std::uint32_t desiredAccess,
                        win::Error* error) override;
  win::Error NotifyServiceStatusChangeW(ScHandle service, std::uint32_t notifyMask,
                                        ServiceNotify* notify) override;
  bool CloseServiceHandle(ScHandle handle) override;
};

class PlatformMachineLink : public MachineLink {
 public:
  void Attach(Sink* sink) override;
  void Detach(Sink* sink) override;
  bool RegisterDeviceInterfaceNotification(Sink* sink, const Guid& interfaceClass) override;
};

class PlatformShutdownControl : public ShutdownControl {
 public:
  bool OpenProcessToken(std::uint32_t desiredAccess) override;
  bool LookupPrivilegeValueW(const char16_t* name, Luid* luid) override;
  win::Error EnablePrivilege(const Luid& luid) override;
  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
};

}  // namespace pvn::console
