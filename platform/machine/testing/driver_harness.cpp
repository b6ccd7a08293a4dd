#include "platform/machine/testing/driver_harness.h"

#include <fstream>
#include <sstream>

namespace pvn::machine::testing {

std::filesystem::path CatalogFile(std::string_view name) {
  return std::filesystem::path(PVN_DEVICE_CATALOG_DIR) / std::string(name);
}

DriverHarness::DriverHarness() : DriverHarness(Options{}) {}

DriverHarness::DriverHarness(Options options)
    : broadcasts_(std::make_shared<std::vector<nlohmann::json>>()),
      broadcastsMutex_(std::make_shared<std::mutex>()) {
  Machine::Options machineOptions;
  machineOptions.driversFromRegistry = false;
  machineOptions.baseHardware = false;
  machineOptions.pendBusQueries = options.pendBusQueries;
  machine_ = std::make_unique<Machine>(machineOptions);
  machine_->Boot();
  machine_->Subscribe([events = broadcasts_, mutex = broadcastsMutex_](const nlohmann::json& e) {
    std::lock_guard lock(*mutex);
    events->push_back(e);
  });
}

DriverHarness::~DriverHarness() {
  // Devices leave as when unplugged, so that drivers see their removal.
  for (const auto& device : machine_->Devices())
    if (device.depth == 0) machine_->Remove(device.instanceId);
  machine_.reset();
}

NTSTATUS DriverHarness::Step(const Result<NTSTATUS, std::string>& result) {
  if (!result) {
    lastError_ = result.error();
    return km::STATUS_NO_SUCH_DEVICE;
  }
  lastError_.clear();
  return *result;
}

NTSTATUS DriverHarness::LoadDriver(const std::filesystem::path& image, std::string_view service,
                                   std::vector<std::string> classGuids) {
  lastError_.clear();
  return machine_->LoadDriver(image, service, std::move(classGuids), &lastError_);
}

NTSTATUS DriverHarness::UnloadDriver(std::string_view service) {
  auto result = machine_->UnloadDriver(service);
  if (!result) {
    lastError_ = result.error();
    return km::STATUS_OBJECT_NAME_NOT_FOUND;
  }
  return km::STATUS_SUCCESS;
}

NTSTATUS DriverHarness::AddDevice(std::string_view json, std::string_view parent) {
  auto result = machine_->Plug(json, parent, /*start=*/false);
  if (!result) {
    lastError_ = result.error();
    return km::STATUS_INVALID_PARAMETER;
  }
  lastError_.clear();
  if (!result->enumerated) {
    lastError_ = "the parent is not started; the device is connected but not enumerated";
    return km::STATUS_DEVICE_NOT_CONNECTED;
  }
  return result->status;
}

NTSTATUS DriverHarness::AddDeviceFile(const std::filesystem::path& file, std::string_view parent) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    lastError_ = "cannot read " + file.string();
    return km::STATUS_OBJECT_NAME_NOT_FOUND;
  }
  std::stringstream text;
  text << in.rdbuf();
  return AddDevice(text.str(), parent);
}

NTSTATUS DriverHarness::StartDevice(std::string_view instance) {
  return Step(machine_->Start(instance));
}
NTSTATUS DriverHarness::Rebalance(std::string_view instance) {
  return Step(machine_->Rebalance(instance));
}
NTSTATUS DriverHarness::Disable(std::string_view instance) {
  return Step(machine_->Disable(instance));
}
NTSTATUS DriverHarness::Enable(std::string_view instance) {
  return Step(machine_->Enable(instance));
}
NTSTATUS DriverHarness::SurpriseRemove(std::string_view instance) {
  return Step(machine_->Unplug(instance));
}
NTSTATUS DriverHarness::Remove(std::string_view instance) {
  return Step(machine_->Remove(instance));
}
NTSTATUS DriverHarness::SendDeviceControl(std::string_view instance, km::ULONG code) {
  return Step(machine_->DeviceControl(instance, code));
}

std::uint32_t DriverHarness::BusDeviceControls(std::string_view instance) const {
  return machine_->BusDeviceControls(instance);
}
std::optional<DeviceInfo> DriverHarness::Device(std::string_view instance) const {
  return machine_->Device(instance);
}
std::vector<DeviceInfo> DriverHarness::Devices() const {
  return machine_->Devices();
}
km::WDFDEVICE DriverHarness::FilterDevice(std::string_view instance,
                                          std::string_view service) const {
  return machine_->FilterDevice(instance, service);
}
km::WDFDRIVER DriverHarness::Driver(std::string_view service) const {
  return machine_->DriverHandle(service);
}

std::vector<nlohmann::json> DriverHarness::Broadcasts() const {
  std::lock_guard lock(*broadcastsMutex_);
  return *broadcasts_;
}

}  // namespace pvn::machine::testing
