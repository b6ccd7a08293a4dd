#pragma once
// The plug-and-play manager of the emulated PC: the device tree, the
// drivers of the class lower filters, device stacks and their transitions,
// device-interface and volume broadcasts, and the present hardware kept in
// the registry's Enum tree so that it is present again after a restart.
//
// Every call is serialised: plug-and-play work for one machine happens one
// operation at a time, on the caller's thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/base/result.h"
#include "platform/machine/framework/device_stack.h"
#include "platform/machine/pnp/device_description.h"

namespace pvn::machine {

using Json = nlohmann::json;

// Problem codes a devnode can carry, with their Windows values.
inline constexpr std::uint32_t kProblemDisabled = 22;
inline constexpr std::uint32_t kProblemFailedStart = 10;
inline constexpr std::uint32_t kProblemFailedAdd = 31;

enum class DevnodeState { kAdded, kStarted, kFailed, kDisabled };
const char* StateName(DevnodeState state);  // "added", "started", "failed", "disabled"

struct DeviceInfo {
  std::string instanceId;
  std::string classGuid;
  std::string className;  // "USB", "Keyboard", ... or empty when unknown
  std::string parent;     // empty for a device at the root of the tree
  std::string service;
  std::string description;
  std::vector<std::string> hardwareIds;
  std::vector<std::string> filters;  // filter drivers in the stack, bottom first
  DevnodeState state = DevnodeState::kAdded;
  std::uint32_t problem = 0;
  NTSTATUS status = 0;   // the failing status of a failed device
  char drive = 0;        // drive letter of a started disk, 0 when none
  bool plugged = false;  // plugged in as such, not enumerated from its parent's description
  int depth = 0;
};
Json ToJson(const DeviceInfo& device);

struct DriverInfo {
  std::string service;
  std::string image;  // the Windows path the driver is loaded from
  std::string
      state;  // "loaded", "missing", "failed", "disabled", "not a kernel driver", "no service"
  std::string detail;              // why it is not loaded
  std::optional<NTSTATUS> status;  // DriverEntry's failure status
  std::vector<std::string> classes;
};
Json ToJson(const DriverInfo& driver);

// "0xC00000BB"
std::string StatusText(NTSTATUS status);

class Machine {
 public:
  struct Options {
    // Load the drivers named as class lower filters in the registry at boot
    // (as pvnhost does); otherwise drivers come from LoadDriver only.
    bool driversFromRegistry = true;
    // On a prefix without an Enum tree, boot with a USB host controller and
    // its root hub plugged in, as a PC has.
    bool baseHardware = true;
    // Bus drivers answer IRP_MN_QUERY_ID asynchronously.
    bool pendBusQueries = false;
  };

  explicit Machine(Options options);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Loads the drivers, then adds and starts the present hardware.
  void Boot();
  // Powers every device off, deletes the stacks and unloads the drivers. The
  // present hardware stays recorded for the next boot.
  void Shutdown();
  bool booted() const;

  // A driver given by image path (for tests): it filters the devices added
  // afterwards whose setup class is among `classGuids` (all when empty),
  // bottom first in load order. Returns DriverEntry's status, or
  // STATUS_DRIVER_UNABLE_TO_LOAD with `error` set.
  NTSTATUS LoadDriver(const std::filesystem::path& image, std::string_view service,
                      std::vector<std::string> classGuids, std::string* error = nullptr);
  // Removes the devices the driver filters, then unloads it.
  Result<bool, std::string> UnloadDriver(std::string_view service);

  struct PlugResult {
    std::string instanceId;
    bool enumerated = false;  // false: the parent is not started, nothing happened yet
    NTSTATUS status = 0;      // the add's status, then the start's
  };
  // Plugs in the device of a device file behind `parent` (a hub's instance
  // path; empty: the first root hub for USB devices, the root of the tree
  // otherwise). With `start` false the device is added but not started.
  Result<PlugResult, std::string> Plug(std::string_view deviceJson, std::string_view parent,
                                       bool start = true);

  // Each returns the status the device stack produced, or an error naming
  // what is wrong with the request ("no device X is present").
  Result<NTSTATUS, std::string> Start(std::string_view instance);
  Result<NTSTATUS, std::string> Unplug(std::string_view instance);  // surprise removal
  Result<NTSTATUS, std::string> Remove(std::string_view instance);  // orderly removal
  Result<NTSTATUS, std::string> Disable(std::string_view instance);
  Result<NTSTATUS, std::string> Enable(std::string_view instance);
  Result<NTSTATUS, std::string> Rebalance(std::string_view instance);
  Result<NTSTATUS, std::string> DeviceControl(std::string_view instance, ULONG ioControlCode);

  std::vector<DeviceInfo> Devices() const;
  std::optional<DeviceInfo> Device(std::string_view instance) const;
  std::vector<DriverInfo> Drivers() const;
  // A filter's framework device in the device's stack, or null.
  km::WDFDEVICE FilterDevice(std::string_view instance, std::string_view service) const;
  km::WDFDRIVER DriverHandle(std::string_view service) const;
  // Device-control requests that reached the device's bus driver.
  std::uint32_t BusDeviceControls(std::string_view instance) const;

  // Device broadcasts, delivered on the thread that caused them:
  //   {"event":"arrival"|"removal","type":"interface","class_guid":"{...}",
  //    "name":"\\?\USB#...#{...}","instance_id":"..."}
  //   {"event":"arrival"|"removal","type":"volume","drive":"E:","unitmask":16,
  //    "instance_id":"..."}
  using Listener = std::function<void(const Json&)>;
  int Subscribe(Listener listener);
  void Unsubscribe(int id);

  struct Devnode;
  struct Connection;
  struct Driver;

 private:
  void BootLocked();
  void ShutdownLocked();
  void LoadRegistryDrivers();
  std::vector<Driver*> FiltersFor(const std::string& classGuid);
  void ReadHardware();
  Result<bool, std::string> AddConnection(std::unique_ptr<Connection> connection);
  Devnode* Find(std::string_view instance) const;
  Result<Devnode*, std::string> Present(std::string_view instance) const;
  Devnode* CreateDevnode(Devnode* parent, std::shared_ptr<const DeviceDescription> owner,
                         const DeviceDescription* desc, Connection* connection);
  NTSTATUS AddStack(Devnode& node);
  NTSTATUS StartNode(Devnode& node);
  NTSTATUS FailNode(Devnode& node, std::uint32_t problem, NTSTATUS status);
  void EnumerateChildren(Devnode& node);
  void RemoveChildren(Devnode& node, bool surprise);
  void RemoveNode(Devnode& node, bool surprise);
  void DestroyNode(Devnode& node);
  void Announce(Devnode& node, bool arrival);
  void Emit(const Json& event);
  bool InstanceTaken(const DeviceDescription& desc) const;
  Devnode* DefaultParent(const DeviceDescription& desc) const;
  void ForgetConnectionTree(Connection& connection);

  Options options_;
  mutable std::recursive_mutex mutex_;
  bool booted_ = false;
  std::vector<std::unique_ptr<Driver>> drivers_;
  std::vector<DriverInfo> driverReport_;
  std::map<std::string, std::vector<std::string>> classFilters_;  // upper-cased GUID -> services
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::unique_ptr<Devnode>> roots_;
  std::uint32_t nextSequence_ = 1;
  std::map<int, Listener> listeners_;
  int nextListener_ = 1;
};

}  // namespace pvn::machine
