#pragma once
// The framework's side of the plug-and-play manager: driver images with their
// driver objects, and the device stack of one devnode (the bus driver's
// physical device object at the bottom, the filters' framework devices above
// it). The manager drives the stack through its plug-and-play transitions;
// the framework turns them into the drivers' callbacks in the order drivers
// rely on. Lives in libpvnkernel.so with the framework calls themselves.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.h"
#include "platform/machine/framework/usb_descriptors.h"
#include "platform/machine/kernel/wdf_api.h"

namespace pvn::machine {

using km::NTSTATUS;
using km::ULONG;

// What the bus driver of a devnode knows and answers. The manager provides
// one for each devnode; the framework calls it from the drivers' requests.
class BusDevice {
 public:
  virtual ~BusDevice() = default;
  // IRP_MN_QUERY_ID. STATUS_NOT_SUPPORTED when the bus reports no such ID.
  virtual NTSTATUS QueryId(km::BUS_QUERY_ID_TYPE type, std::u16string* id) = 0;
  // A device property in its registry form (REG_SZ or REG_MULTI_SZ bytes,
  // UTF-16LE with terminators); nullopt when the device has none.
  virtual std::optional<std::vector<std::uint8_t>> Property(km::DEVICE_REGISTRY_PROPERTY which) = 0;
  // Null for a device that is not on USB.
  virtual const UsbDescriptors* Usb() = 0;
  // A device-control request that came down the stack to the bus driver.
  virtual NTSTATUS DeviceControl(ULONG ioControlCode) = 0;
  // True: IRP_MN_QUERY_ID is answered with STATUS_PENDING and completed
  // from another thread, as some bus drivers do.
  virtual bool PendQueries() { return false; }
};

// One driver image loaded into the machine, with its driver object.
class LoadedDriver {
 public:
  ~LoadedDriver();
  LoadedDriver(const LoadedDriver&) = delete;
  LoadedDriver& operator=(const LoadedDriver&) = delete;

  // Loads the image (a shared object exporting DriverEntry) for the service
  // `service`. The error says why it could not be loaded.
  static Result<std::unique_ptr<LoadedDriver>, std::string> Load(const std::filesystem::path& image,
                                                                 std::u16string_view service);

  // Calls DriverEntry with the registry path
  // "\Registry\Machine\System\CurrentControlSet\Services\<service>" and
  // returns its status. Called once per load.
  NTSTATUS Enter();
  // Runs the driver object's cleanup and the unload callback and unloads the
  // image. Every device the driver filters must have been removed.
  void Unload();

  const std::u16string& service() const { return service_; }
  const std::filesystem::path& image() const { return image_; }
  // The framework driver object DriverEntry created, or null.
  km::WDFDRIVER driver() const;
  km::DRIVER_OBJECT* object() const { return object_.get(); }

  struct Token {};  // construction goes through Load
  explicit LoadedDriver(Token);

 private:
  std::u16string service_;
  std::filesystem::path image_;
  void* module_ = nullptr;
  std::unique_ptr<km::DRIVER_OBJECT> object_;
};

// The stack of one devnode.
class DeviceStack {
 public:
  explicit DeviceStack(BusDevice& bus);
  ~DeviceStack();  // removes what is still there
  DeviceStack(const DeviceStack&) = delete;
  DeviceStack& operator=(const DeviceStack&) = delete;

  // Runs the driver's EvtDriverDeviceAdd; the device it creates sits above
  // the current top of the stack. A failure status is returned as is (the
  // device it may have created is deleted).
  NTSTATUS AttachFilter(LoadedDriver& driver);

  // IRP_MN_START_DEVICE: each filter from the bottom up gets
  // EvtDevicePrepareHardware and then EvtDeviceD0Entry. The first failure
  // ends the start: the failing filter gets EvtDeviceReleaseHardware (the
  // framework calls it whenever prepare-hardware was called), the filters
  // below it are powered down and released again, and the status is returned.
  NTSTATUS Start();
  // Power down and release, from the top down: EvtIoStop for requests the
  // drivers still hold, EvtDeviceD0Exit, EvtDeviceReleaseHardware. For a
  // stop before a restart (resource rebalance) the target state is D3, for a
  // removal D3Final. Nothing happens for a stack that is not started.
  void Stop(bool final);
  // The machine is shutting down: each started filter is powered down
  // (EvtDeviceD0Exit to D3Final) from the top down, without a release of its
  // hardware, since nothing is unplugged; then the device objects are deleted.
  void PowerOffAndDiscard();
  // IRP_MN_SURPRISE_REMOVAL: EvtDeviceSurpriseRemoval from the top down.
  void SurpriseRemoval();
  // IRP_MN_REMOVE_DEVICE: stops what is still started, then deletes the
  // filters' device objects with their children (cleanup callbacks run).
  void Remove();

  // A device-control request sent by the function driver above the top
  // filter: it passes down the stack (through the filters' default queues,
  // or by the filter default) to the bus driver. Returns the request's final
  // status, or STATUS_PENDING when a driver kept it.
  NTSTATUS DeviceControl(ULONG ioControlCode);

  bool started() const { return started_; }
  // The filter device object a driver created in this stack, or null.
  km::WDFDEVICE FilterDevice(const LoadedDriver& driver) const;
  std::vector<const LoadedDriver*> Filters() const;
  km::DEVICE_OBJECT* physicalDevice() const { return pdo_.get(); }
  // The device object a new filter attaches to: the top filter's, or the
  // physical device object.
  km::DEVICE_OBJECT* TopObject() const;

  struct Layer;  // one filter of the stack (framework-internal)

 private:
  BusDevice& bus_;
  std::unique_ptr<km::DEVICE_OBJECT> pdo_;
  std::vector<std::unique_ptr<Layer>> layers_;  // bottom first
  bool started_ = false;
};

// Makes the next `count` calls of a framework operation fail with `status`,
// for tests of how drivers handle failing calls. Operations:
// "WdfDriverCreate", "WdfDeviceCreate", "WdfIoQueueCreate",
// "WdfUsbTargetDeviceCreate", "WdfMemoryCreate". A count of 0 clears.
void FailFrameworkCall(const std::string& operation, NTSTATUS status, int count = 1);

// Framework misuse seen since the last call (bad handles, a request completed
// twice, ...), one line each; the framework also prints them to stderr.
std::vector<std::string> TakeFrameworkComplaints();

}  // namespace pvn::machine
