#pragma once
// An emulated machine inside a test process, for driver tests: load a driver
// image, add devices from device files, and walk them through start,
// rebalance, disable and enable, removal and device-control requests. Each
// step returns the NTSTATUS the device stack produced. It is the machine
// pvnhost runs, without the daemon around it, on the current prefix
// (PVN_PREFIX: use a fresh prefix per test).
//
//   pvn::testing::TempPrefix prefix;
//   pvn::machine::testing::DriverHarness machine;
//   ASSERT_EQ(machine.LoadDriver(BinDir() / "PvnPortGate.sys"), STATUS_SUCCESS);
//   machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"));      // device add
//   EXPECT_EQ(machine.StartDevice(kStick), STATUS_NOT_SUPPORTED);     // refused
//   EXPECT_EQ(machine.Device(kStick)->problem, 10u);
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/machine/kernel/wdf_api.h"
#include "platform/machine/pnp/machine.h"

namespace pvn::machine::testing {

using km::NTSTATUS;

// A file of the device catalog (platform/machine/devices).
std::filesystem::path CatalogFile(std::string_view name);

class DriverHarness {
 public:
  struct Options {
    // Bus drivers answer IRP_MN_QUERY_ID with STATUS_PENDING and complete it
    // from another thread, so that a driver's wait on its event is exercised.
    bool pendBusQueries = false;
  };
  DriverHarness();
  explicit DriverHarness(Options options);
  // Removes every device and unloads every driver (their cleanup runs).
  ~DriverHarness();

  // Loads a driver image and runs its DriverEntry with the registry path
  // "\Registry\Machine\System\CurrentControlSet\Services\<service>" (service:
  // the image's name without extension when empty). The driver then filters,
  // below the function driver, every device added afterwards whose setup
  // class is in `classGuids` (every device when empty); several drivers stack
  // in load order, the first lowest. Returns DriverEntry's status, or
  // STATUS_DRIVER_UNABLE_TO_LOAD when the image cannot be loaded.
  NTSTATUS LoadDriver(const std::filesystem::path& image, std::string_view service = {},
                      std::vector<std::string> classGuids = {});
  // Removes the devices the driver filters, then runs the driver object's
  // cleanup and unloads the image. STATUS_NOT_FOUND-like failure
  // (STATUS_OBJECT_NAME_NOT_FOUND) when no such driver is loaded.
  NTSTATUS UnloadDriver(std::string_view service);

  // Device add from a device file's JSON text: builds the stack (bus driver,
  // the drivers' filters) and runs each filter's EvtDriverDeviceAdd. Returns
  // the first failure or STATUS_SUCCESS; STATUS_INVALID_PARAMETER for a bad
  // description (see LastError()). `parent`: the hub's instance path, or
  // empty for the root of the tree.
  NTSTATUS AddDevice(std::string_view json, std::string_view parent = {});
  NTSTATUS AddDeviceFile(const std::filesystem::path& file, std::string_view parent = {});
  // Start: prepare hardware and D0 entry in each filter, bottom up. A failure
  // leaves the device failed with problem 10 and the status, its stack
  // removed (release hardware runs). After a successful start the device's
  // children (its description's devnodes) are added and started.
  NTSTATUS StartDevice(std::string_view instance);
  // Stop for resource rebalance (D0 exit, release hardware) and start again,
  // on the same device objects. Returns the second start's status.
  NTSTATUS Rebalance(std::string_view instance);
  // Disable: children removed, the device stopped (D0 exit, release
  // hardware) and its device objects deleted. Enable builds a new stack
  // (device add again) and starts it; returns the add's or start's status.
  NTSTATUS Disable(std::string_view instance);
  NTSTATUS Enable(std::string_view instance);
  // Surprise removal (EvtDeviceSurpriseRemoval, then D0 exit, release
  // hardware, deletion) and orderly removal (without the surprise callback).
  // The device and its children are gone afterwards.
  NTSTATUS SurpriseRemove(std::string_view instance);
  NTSTATUS Remove(std::string_view instance);
  // A device-control request from the function driver, down through the
  // filters to the bus driver, which completes it with STATUS_SUCCESS.
  // STATUS_PENDING when a driver kept the request.
  NTSTATUS SendDeviceControl(std::string_view instance, km::ULONG ioControlCode);
  // How many device-control requests reached the device's bus driver.
  std::uint32_t BusDeviceControls(std::string_view instance) const;

  // State of a present device (state, problem, status, filters, ...).
  std::optional<DeviceInfo> Device(std::string_view instance) const;
  std::vector<DeviceInfo> Devices() const;
  // The framework device a driver created for a device (null when none): the
  // same handle across a rebalance, a new one after disable/enable.
  km::WDFDEVICE FilterDevice(std::string_view instance, std::string_view service) const;
  // The driver's framework driver object, for reading its context.
  km::WDFDRIVER Driver(std::string_view service) const;

  // Device broadcasts so far (see Machine::Subscribe), oldest first.
  std::vector<nlohmann::json> Broadcasts() const;
  // Why the last call failed before reaching the stack, e.g. which field of
  // a device description is wrong.
  const std::string& LastError() const { return lastError_; }

  Machine& machine() { return *machine_; }

 private:
  NTSTATUS Step(const Result<NTSTATUS, std::string>& result);
  std::unique_ptr<Machine> machine_;
  std::shared_ptr<std::vector<nlohmann::json>> broadcasts_;
  std::shared_ptr<std::mutex> broadcastsMutex_;
  std::string lastError_;
};

}  // namespace pvn::machine::testing
