// PvnPortGate.sys in the machine's in-process harness: what the driver does at
// device add, start, rebalance, disable and enable, unload and I/O.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/portgate/device_context.h"
#include "drivers/portgate/driver_context.h"
#include "platform/machine/framework/device_stack.h"
#include "platform/machine/testing/driver_harness.h"
#include "platform/registry/key.h"
#include "tests/drivers/portgate/driver_log.h"
#include "tests/drivers/portgate/gate_machine.h"
#include "tests/support/temp_prefix.h"

namespace pvn::portgate {

// The driver's context as the framework hands it out (matched by name and size).
PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DRIVER_CONTEXT, GetDriverContext)

namespace {

using machine::DevnodeState;
using machine::testing::CatalogFile;
using machine::testing::DriverHarness;
using pvn::testing::AfterStamp;
using pvn::testing::UsbDeviceJson;
using Entries = std::vector<std::u16string>;
using Lines = std::vector<std::string>;

constexpr const char* kStick = "USB\\VID_12AB&PID_34CD\\9F17B2C4";
constexpr const char* kStickDisk = "USBSTOR\\DISK&VEN_ACME&PROD_STICK\\9F17B2C4&0";
// The bus reports this stick's hardware ID in lower case.
constexpr const char* kStickHardwareId = "usb\\vid_12ab&pid_34cd&rev_0100";

class PortGateFrameTest : public pvn::testing::PrefixTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(machine::TakeFrameworkComplaints(), std::vector<std::string>{});
  }

  void StorageLock(std::uint32_t on, const Entries& entries) {
    pvn::testing::WriteLock(u"PvnPortGate", u"Stor Enable", on, u"Stor Whitelist", &entries);
  }
  void PortLock(std::uint32_t on, const Entries& entries) {
    pvn::testing::WriteLock(u"PvnPortGate", u"Port Enable", on, u"Port Whitelist", &entries);
  }
  void Load(DriverHarness& machine) {
    ASSERT_EQ(machine.LoadDriver(pvn::testing::BinDir() / "PvnPortGate.sys", "PvnPortGate",
                                 {pvn::testing::kUsbClassGuid}),
              STATUS_SUCCESS);
  }
  NTSTATUS PlugStick(DriverHarness& machine, std::string_view busInstanceId = {}) {
    NTSTATUS status =
        machine.AddDevice(UsbDeviceJson(kStick, kStickHardwareId, {8}, busInstanceId, kStickDisk));
    return NT_SUCCESS(status) ? machine.StartDevice(kStick) : status;
  }
  // The log after its stamps.
  static Lines Log() {
    Lines lines;
    for (const auto& line :
         pvn::testing::ReadLogLines(u"C:\\Windows\\System32\\Drivers\\usbwlsto.plog")) {
      EXPECT_TRUE(pvn::testing::HasLogStamp(line)) << line;
      lines.push_back(AfterStamp(line));
    }
    return lines;
  }
  static gate::DEVICE_CONTEXT* Context(DriverHarness& machine, const char* instance) {
    WDFDEVICE device = machine.FilterDevice(instance, "PvnPortGate");
    return device ? gate::GetDeviceContext(device) : nullptr;
  }
};

TEST_F(PortGateFrameTest, RefusedStickLogsPlugInThenBlockingAndFailsToStart) {
  StorageLock(1, {});
  DriverHarness machine;
  Load(machine);

  EXPECT_EQ(PlugStick(machine), STATUS_NOT_SUPPORTED);
  auto stick = machine.Device(kStick);
  ASSERT_TRUE(stick);
  EXPECT_EQ(stick->state, DevnodeState::kFailed);
  EXPECT_EQ(stick->problem, 10u);
  EXPECT_EQ(machine::StatusText(stick->status), "0xC00000BB");
  EXPECT_FALSE(machine.Device(kStickDisk)) << "a refused stick produces no disk";
  // Plug-in in the bus's case; the rest upper-cased. The failed start releases the hardware.
  EXPECT_EQ(Log(), (Lines{"Plug-in Device: usb\\vid_12ab&pid_34cd&rev_0100\r\n",
                          "Blocking Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n",
                          "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n"}));
}

TEST_F(PortGateFrameTest, StickAdmittedByEntryHoldingItsInstancePath) {
  struct Case {
    const char* busInstanceId;  // what the bus reports; "null": the query fails
    bool pendQueries;           // the bus completes the query later, from another thread
    bool started;
  } cases[] = {
      {"", false, true},  // 9F17B2C4, the instance path's last component
      {"", true, true},       {"9f17b2c4", false, true},  // upper-cased before the comparison
      {"B2C4", false, false},                             // only a part of the listed serial
      {"null", false, false},  // unknown instance ID admits nothing by itself
      {"null", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("bus instance ID '") + c.busInstanceId + "'" +
                 (c.pendQueries ? ", pending" : ""));
    pvn::testing::TempPrefix prefix;
    StorageLock(1, {u"usb\\vid_12ab&pid_34cd\\9f17b2c4"});
    DriverHarness machine(DriverHarness::Options{.pendBusQueries = c.pendQueries});
    Load(machine);
    EXPECT_EQ(PlugStick(machine, c.busInstanceId),
              c.started ? STATUS_SUCCESS : STATUS_NOT_SUPPORTED);
    EXPECT_EQ(machine.Device(kStickDisk).has_value(), c.started);
  }
}

TEST_F(PortGateFrameTest, AdmittedDeviceObjectIsExaminedOnlyAtItsFirstStart) {
  StorageLock(1, {u"USB\\VID_12AB&PID_34CD&REV_0100"});
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(PlugStick(machine), STATUS_SUCCESS);
  WDFDEVICE first = machine.FilterDevice(kStick, "PvnPortGate");
  ASSERT_NE(first, nullptr);
  EXPECT_NE(Context(machine, kStick)->UsbDevice, nullptr);
  EXPECT_EQ(std::u16string(Context(machine, kStick)->InstanceId), u"9F17B2C4");

  // Empty the loaded list: a device judged again from now on is refused.
  DRIVER_CONTEXT* settings = GetDriverContext(machine.Driver("PvnPortGate"));
  ASSERT_NE(settings, nullptr);
  std::memset(settings->StorWhitelist, 0, sizeof(WHITELIST));

  EXPECT_EQ(machine.Rebalance(kStick), STATUS_SUCCESS);
  EXPECT_EQ(machine.FilterDevice(kStick, "PvnPortGate"), first);
  EXPECT_EQ(Log(), (Lines{"Plug-in Device: usb\\vid_12ab&pid_34cd&rev_0100\r\n",
                          "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n"}));

  // Disabled and enabled, the device gets a new device object and is judged anew.
  EXPECT_EQ(machine.Disable(kStick), STATUS_SUCCESS);
  EXPECT_EQ(machine.Enable(kStick), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(Log(), (Lines{"Plug-in Device: usb\\vid_12ab&pid_34cd&rev_0100\r\n",
                          "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n",
                          "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n",
                          "Plug-in Device: usb\\vid_12ab&pid_34cd&rev_0100\r\n",
                          "Blocking Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n",
                          "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n"}));
}

TEST_F(PortGateFrameTest, SettingsAreReadOncePerLoad) {
  StorageLock(0, {});
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(PlugStick(machine), STATUS_SUCCESS);

  StorageLock(1, {});
  ASSERT_EQ(machine.Disable(kStick), STATUS_SUCCESS);
  EXPECT_EQ(machine.Enable(kStick), STATUS_SUCCESS) << "the loaded driver keeps its settings";

  // The next load reads the new settings.
  ASSERT_EQ(machine.Remove(kStick), STATUS_SUCCESS);
  ASSERT_EQ(machine.UnloadDriver("PvnPortGate"), STATUS_SUCCESS);
  Load(machine);
  EXPECT_EQ(PlugStick(machine), STATUS_NOT_SUPPORTED) << machine.LastError();
}

TEST_F(PortGateFrameTest, HostControllerIsAdmittedUnexaminedAndARefusedRootHubHidesItsPorts) {
  PortLock(1, {});
  StorageLock(1, {});
  DriverHarness machine;
  Load(machine);
  const char* kController = "PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\\3&11583659&0&A0";
  const char* kRootHub = "USB\\ROOT_HUB30\\4&2A9A5F3C&0&0";

  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-host-controller.json")), STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice(kController), STATUS_SUCCESS);
  EXPECT_EQ(machine.Device(kController)->state, DevnodeState::kStarted);
  EXPECT_EQ(Context(machine, kController)->UsbDevice, nullptr);

  auto rootHub = machine.Device(kRootHub);
  ASSERT_TRUE(rootHub);
  EXPECT_EQ(rootHub->state, DevnodeState::kFailed);
  EXPECT_EQ(rootHub->problem, 10u);

  Lines log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "Plug-in Device: PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\r\n");
  EXPECT_EQ(log[1], "Plug-in Device: USB\\ROOT_HUB30&VID8086&PIDA36D&REV0010\r\n");
  EXPECT_EQ(log[2], "Blocking Device: USB\\ROOT_HUB30&VID8086&PIDA36D&REV0010\r\n");
}

TEST_F(PortGateFrameTest, CatalogDevicesUnderTheStorageLock) {
  StorageLock(1, {u"USB\\VID_0BC2&PID_2322\\NA7H2RLB"});
  DriverHarness machine;
  Load(machine);

  // Interfaces of classes 3 then 8: judged as a storage device.
  const char* kHidThenStorage = "USB\\VID_2CEA&PID_3000\\SK20230711000042";
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-hid-then-storage.json")), STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice(kHidThenStorage), STATUS_NOT_SUPPORTED);

  // A hardware-ID list longer than 512 bytes: logged with a blank, admitted by
  // the serial in its instance path alone.
  const char* kLongIds = "USB\\VID_0BC2&PID_2322\\NA7H2RLB";
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-long-hardware-ids.json")), STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice(kLongIds), STATUS_SUCCESS);
  EXPECT_EQ(std::u16string(Context(machine, kLongIds)->HardwareId), u"");

  // A keyboard's composite device has no storage or hub interface.
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-keyboard.json")), STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice("USB\\VID_413C&PID_2113\\5&1D7B3C2A&0&3"), STATUS_SUCCESS);

  Lines log = Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "Plug-in Device: USB\\VID_2CEA&PID_3000&REV_0100\r\n");
  EXPECT_EQ(log[1], "Blocking Device: USB\\VID_2CEA&PID_3000&REV_0100\r\n");
  EXPECT_EQ(log[3], "Plug-in Device:  \r\n");
}

TEST_F(PortGateFrameTest, WithoutServiceKeyNothingIsRefusedButEverythingLogged) {
  DriverHarness machine;
  Load(machine);
  DRIVER_CONTEXT* settings = GetDriverContext(machine.Driver("PvnPortGate"));
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->StorWhitelist, nullptr);
  EXPECT_EQ(PlugStick(machine), STATUS_SUCCESS);
  EXPECT_EQ(machine.SurpriseRemove(kStick), STATUS_SUCCESS);
  EXPECT_EQ(Log(), (Lines{"Plug-in Device: usb\\vid_12ab&pid_34cd&rev_0100\r\n",
                          "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n"}));
}

TEST_F(PortGateFrameTest, DeviceControlRequestsReachTheBusDriver) {
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(PlugStick(machine), STATUS_SUCCESS);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(machine.SendDeviceControl(kStick, 0x2D1400), STATUS_SUCCESS);
  EXPECT_EQ(machine.BusDeviceControls(kStick), 3u);
}

TEST_F(PortGateFrameTest, FrameworkFailures) {
  StorageLock(1, {});
  {
    // No descriptor memory: the start fails with that status and logs no refusal.
    DriverHarness machine;
    Load(machine);
    machine::FailFrameworkCall("WdfMemoryCreate", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(PlugStick(machine), STATUS_INSUFFICIENT_RESOURCES);
    for (const auto& line : Log()) EXPECT_EQ(line.find("Blocking"), std::string::npos) << line;
  }
  {
    // No USB target: admitted unexamined, even with the lock on.
    DriverHarness machine;
    Load(machine);
    machine::FailFrameworkCall("WdfUsbTargetDeviceCreate", STATUS_NOT_SUPPORTED);
    EXPECT_EQ(PlugStick(machine), STATUS_SUCCESS);
  }
  {
    // No device object or no queue: device add fails with that status.
    DriverHarness machine;
    Load(machine);
    machine::FailFrameworkCall("WdfDeviceCreate", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(PlugStick(machine), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(machine.Device(kStick)->problem, 31u);
    machine::FailFrameworkCall("WdfIoQueueCreate", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(
        machine.AddDevice(UsbDeviceJson("USB\\VID_12AB&PID_34CD\\OTHER", kStickHardwareId, {8})),
        STATUS_INSUFFICIENT_RESOURCES);
  }
  {
    // No driver object: the driver does not load.
    DriverHarness machine;
    machine::FailFrameworkCall("WdfDriverCreate", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(machine.LoadDriver(pvn::testing::BinDir() / "PvnPortGate.sys", "PvnPortGate",
                                 {pvn::testing::kUsbClassGuid}),
              STATUS_INSUFFICIENT_RESOURCES);
  }
}

}  // namespace
}  // namespace pvn::portgate
