#pragma once
// The console's links to the running machine as the platform offers them:
// the Service Control Manager client, device broadcasts with the session end,
// and the restart request.
#include <memory>

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

// The running machine's broadcasts, delivered on the window's (the GUI)
// thread. Without a running machine nothing arrives and registrations fail.
class PlatformMachineLink : public MachineLink {
 public:
  PlatformMachineLink();
  ~PlatformMachineLink() override;
  void Attach(Sink* sink) override;
  void Detach(Sink* sink) override;
  bool RegisterDeviceInterfaceNotification(Sink* sink, const Guid& interfaceClass) override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// Privileges and the restart through the machine's power calls.
class PlatformShutdownControl : public ShutdownControl {
 public:
  ~PlatformShutdownControl() override;
  bool OpenProcessToken(std::uint32_t desiredAccess) override;
  bool LookupPrivilegeValueW(const char16_t* name, Luid* luid) override;
  win::Error EnablePrivilege(const Luid& luid) override;
  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;

 private:
  void* token_ = nullptr;
};

}  // namespace pvn::console
