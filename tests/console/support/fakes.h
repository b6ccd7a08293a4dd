#pragma once
// Stand-ins for the machine in the console's tests.
#include <map>
#include <string>
#include <vector>

#include "console/machine_link.h"
#include "console/service_control.h"
#include "console/shutdown_control.h"

namespace pvn::testing {

class FakeServiceControl : public console::ServiceControlManager {
 public:
  bool managerAvailable = true;
  bool serviceInstalled = true;
  win::Error notifyResult = win::ERROR_SUCCESS;

  struct Open {
    std::u16string name;
    std::uint32_t access;
  };
  std::vector<Open> opens;                // manager opens have an empty name
  std::vector<console::ScHandle> closed;  // in order
  std::uint32_t notifyMask = 0;
  console::ServiceNotify* notifyRecord = nullptr;

  console::ScHandle OpenSCManagerW(const char16_t*, const char16_t*, std::uint32_t access,
                                   win::Error* error) override;
  console::ScHandle OpenServiceW(console::ScHandle manager, const char16_t* name,
                                 std::uint32_t access, win::Error* error) override;
  win::Error NotifyServiceStatusChangeW(console::ScHandle service, std::uint32_t mask,
                                        console::ServiceNotify* notify) override;
  bool CloseServiceHandle(console::ScHandle handle) override;

  std::map<console::ScHandle, bool> open;  // handle -> is a service
 private:
  console::ScHandle next_ = 0x100;
};

class FakeMachineLink : public console::MachineLink {
 public:
  bool registrationWorks = true;
  Sink* sink = nullptr;
  bool interfacesRegistered = false;

  void Attach(Sink* s) override { sink = s; }
  void Detach(Sink* s) override {
    if (sink == s) sink = nullptr;
  }
  bool RegisterDeviceInterfaceNotification(Sink* s, const console::Guid& guid) override {
    interfacesRegistered =
        registrationWorks && s == sink && guid == console::kUsbDeviceInterfaceClass;
    return interfacesRegistered;
  }

  void Volume(std::uint32_t event, std::uint32_t unitMask);
  void Interface(std::uint32_t event);
  void Raw(std::uint32_t event, std::uint32_t deviceType);
  void EndSession() {
    if (sink) sink->OnSessionEnd();
  }
};

class FakeShutdown : public console::ShutdownControl {
 public:
  bool tokenOpens = true;
  bool privilegeGranted = true;
  struct Exit {
    std::uint32_t flags;
    std::uint32_t reason;
  };
  std::vector<Exit> exits;
  std::uint32_t tokenAccess = 0;

  bool OpenProcessToken(std::uint32_t access) override {
    tokenAccess = access;
    return tokenOpens;
  }
  bool LookupPrivilegeValueW(const char16_t*, console::Luid* luid) override {
    *luid = console::Luid{19, 0};
    return true;
  }
  win::Error EnablePrivilege(const console::Luid&) override {
    return privilegeGranted ? win::ERROR_SUCCESS : win::ERROR_NOT_ALL_ASSIGNED;
  }
  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override {
    exits.push_back({flags, reason});
    return true;
  }
};

}  // namespace pvn::testing
