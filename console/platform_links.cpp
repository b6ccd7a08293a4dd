#include "console/platform_links.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine/client/machine_client.h"
#include "platform/power/power.h"
#include "platform/scm/service_client.h"

namespace pvn::console {

// The manager of the running machine. Without one, OpenSCManagerW fails and
// the console runs without its agent-service handles.
ScHandle PlatformServiceControl::OpenSCManagerW(const char16_t* machineName,
                                                const char16_t* databaseName,
                                                std::uint32_t desiredAccess, win::Error* error) {
  scm::SC_HANDLE manager;
  win::Error result = scm::OpenSCManagerW(machineName, databaseName, desiredAccess, &manager);
  if (error) *error = result;
  return result == win::ERROR_SUCCESS ? manager.value : 0;
}

ScHandle PlatformServiceControl::OpenServiceW(ScHandle manager, const char16_t* serviceName,
                                              std::uint32_t desiredAccess, win::Error* error) {
  scm::SC_HANDLE service;
  win::Error result =
      scm::OpenServiceW(scm::SC_HANDLE{manager}, serviceName, desiredAccess, &service);
  if (error) *error = result;
  return result == win::ERROR_SUCCESS ? service.value : 0;
}

win::Error PlatformServiceControl::NotifyServiceStatusChangeW(ScHandle service,
                                                              std::uint32_t notifyMask,
                                                              ServiceNotify* notify) {
  return scm::NotifyServiceStatusChangeW(scm::SC_HANDLE{service}, notifyMask, notify);
}

bool PlatformServiceControl::CloseServiceHandle(ScHandle handle) {
  return scm::CloseServiceHandle(scm::SC_HANDLE{handle}) == win::ERROR_SUCCESS;
}

struct PlatformMachineLink::State {
  Sink* sink = nullptr;                // GUI thread only
  std::vector<Guid> interfaceClasses;  // registered classes, GUI thread only
  std::unique_ptr<machine::BroadcastSubscription> subscription;
};

namespace {

// "{a5dcbf10-6530-11d2-901f-00c04fb951ed}", in either case.
std::optional<Guid> ParseGuid(const std::string& text) {
  unsigned int d[11];
  if (text.size() != 38 ||
      std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2],
                  &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
    return std::nullopt;
  Guid guid;
  guid.data1 = d[0];
  guid.data2 = static_cast<std::uint16_t>(d[1]);
  guid.data3 = static_cast<std::uint16_t>(d[2]);
  for (int i = 0; i < 8; ++i) guid.data4[i] = static_cast<std::uint8_t>(d[3 + i]);
  return guid;
}

// One broadcast of the machine, turned into the window's device-change
// message or the end of the session.
void Deliver(const std::shared_ptr<PlatformMachineLink::State>& state, const machine::Json& e) {
  MachineLink::Sink* sink = state->sink;
  if (!sink || !e.is_object()) return;
  const std::string event = e.value("event", "");
  if (event == "notice") {
    sink->OnSessionEnd();
    return;
  }
  if (event != "arrival" && event != "removal") return;
  const std::uint32_t code = event == "arrival" ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  const std::string type = e.value("type", "");
  if (type == "volume") {
    DeviceBroadcastVolume record;
    record.header = {sizeof record, DBT_DEVTYP_VOLUME, 0};
    record.unitMask = e.value("unitmask", 0u);
    sink->OnDeviceChange(code, &record.header);
  } else if (type == "interface") {
    // Interfaces reach only the windows registered for their class.
    const auto guid = ParseGuid(e.value("class_guid", ""));
    if (!guid || std::find(state->interfaceClasses.begin(), state->interfaceClasses.end(), *guid) ==
                     state->interfaceClasses.end())
      return;
    DeviceBroadcastInterface record;
    record.header = {sizeof record, DBT_DEVTYP_DEVICEINTERFACE, 0};
    record.classGuid = *guid;
    sink->OnDeviceChange(code, &record.header);
  }
}

}  // namespace

PlatformMachineLink::PlatformMachineLink() : state_(std::make_shared<State>()) {}

PlatformMachineLink::~PlatformMachineLink() {
  state_->subscription.reset();
}

void PlatformMachineLink::Attach(Sink* sink) {
  state_->sink = sink;
  state_->interfaceClasses.clear();
  if (state_->subscription) return;
  // The subscription calls back on its own thread; each broadcast is handed
  // to the GUI thread, where the window lives.
  std::weak_ptr<State> weak = state_;
  auto subscription = machine::BroadcastSubscription::Start([weak](const machine::Json& e) {
    QMetaObject::invokeMethod(
        qApp,
        [weak, e] {
          if (auto state = weak.lock()) Deliver(state, e);
        },
        Qt::QueuedConnection);
  });
  if (subscription) state_->subscription = subscription.take();
}

void PlatformMachineLink::Detach(Sink* sink) {
  if (state_->sink != sink) return;
  state_->sink = nullptr;
  state_->interfaceClasses.clear();
  state_->subscription.reset();
}

bool PlatformMachineLink::RegisterDeviceInterfaceNotification(Sink* sink,
                                                              const Guid& interfaceClass) {
  if (!sink || state_->sink != sink || !state_->subscription) return false;
  state_->interfaceClasses.push_back(interfaceClass);
  return true;
}

PlatformShutdownControl::~PlatformShutdownControl() {
  if (token_) power::CloseHandle(token_);
}

bool PlatformShutdownControl::OpenProcessToken(std::uint32_t desiredAccess) {
  if (token_) {
    power::CloseHandle(token_);
    token_ = nullptr;
  }
  return power::OpenProcessToken(power::GetCurrentProcess(), desiredAccess, &token_) != 0;
}

bool PlatformShutdownControl::LookupPrivilegeValueW(const char16_t* name, Luid* luid) {
  power::LUID value{};
  if (!luid || !power::LookupPrivilegeValueW(nullptr, name, &value)) return false;
  *luid = Luid{value.LowPart, value.HighPart};
  return true;
}

win::Error PlatformShutdownControl::EnablePrivilege(const Luid& luid) {
  power::TOKEN_PRIVILEGES privileges{
      1, {{{luid.lowPart, luid.highPart}, power::SE_PRIVILEGE_ENABLED}}};
  if (!power::AdjustTokenPrivileges(token_, power::FALSE, &privileges, 0, nullptr, nullptr))
    return power::GetLastError() ? power::GetLastError() : win::ERROR_INVALID_HANDLE;
  return power::GetLastError();
}

bool PlatformShutdownControl::ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  return power::ExitWindowsEx(flags, reason) != 0;
}

}  // namespace pvn::console
