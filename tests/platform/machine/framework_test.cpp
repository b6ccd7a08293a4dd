// The framework and device stacks as a driver sees them, through the
// in-process harness and the test filter driver.
#include <gtest/gtest.h>

#include "platform/machine/testing/driver_harness.h"
#include "tests/platform/machine/filter_log.h"
#include "tests/support/temp_prefix.h"

namespace pvn::machine::testing {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kStick = "USB\\VID_0781&PID_5567\\4C530001230817115075";
constexpr const char* kDisk =
    "USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER_BLADE&REV_1.00\\4C530001230817115075&0";
constexpr const char* kRootHub = "USB\\ROOT_HUB30\\4&2A9A5F3C&0&0";

class FrameworkTest : public pvn::testing::PrefixTest {
 protected:
  // The test filter below every USB-class device.
  void Load(DriverHarness& machine) {
    ASSERT_EQ(machine.LoadDriver(PVN_TEST_FILTER, "TestFilter", {kUsbClass}), km::STATUS_SUCCESS);
  }
  void TearDown() override { EXPECT_EQ(TakeFrameworkComplaints(), std::vector<std::string>{}); }
};

TEST_F(FrameworkTest, StartGathersIdentityAndInterfacesThenEnumeratesChildren) {
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json")), km::STATUS_SUCCESS);
  EXPECT_EQ(machine.Device(kStick)->state, DevnodeState::kAdded);
  EXPECT_FALSE(machine.Device(kDisk)) << "children appear only after their parent started";

  ASSERT_EQ(machine.StartDevice(kStick), km::STATUS_SUCCESS);
  EXPECT_EQ(FilterLog(),
            (Lines{"entry", "add 1 USB\\VID_0781&PID_5567&REV_0100 instance=4C530001230817115075",
                   "prepare 1 classes=8", "d0entry 1"}));
  auto disk = machine.Device(kDisk);
  ASSERT_TRUE(disk);
  EXPECT_EQ(disk->state, DevnodeState::kStarted);
  EXPECT_TRUE(disk->filters.empty()) << "the filter sits only below USB-class devices";
  EXPECT_EQ(machine.Device(kStick)->filters, (std::vector<std::string>{"TestFilter"}));
}

TEST_F(FrameworkTest, RebalanceKeepsTheDeviceObjectAndDisableEnableMakesANewOne) {
  DriverHarness machine;
  Load(machine);
  machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"));
  machine.StartDevice(kStick);
  km::WDFDEVICE first = machine.FilterDevice(kStick, "TestFilter");
  ASSERT_NE(first, nullptr);
  std::size_t mark = FilterLog().size();

  EXPECT_EQ(machine.Rebalance(kStick), km::STATUS_SUCCESS);
  EXPECT_EQ(machine.FilterDevice(kStick, "TestFilter"), first);
  EXPECT_EQ(FilterLogSince(mark),
            (Lines{"d0exit 1 d3", "release 1", "prepare 1 again", "d0entry 1"}));
  EXPECT_TRUE(machine.Device(kDisk)) << "a rebalance leaves the children alone";

  mark = FilterLog().size();
  EXPECT_EQ(machine.Disable(kStick), km::STATUS_SUCCESS);
  EXPECT_EQ(machine.Device(kStick)->state, DevnodeState::kDisabled);
  EXPECT_EQ(machine.Device(kStick)->problem, kProblemDisabled);
  EXPECT_EQ(machine.FilterDevice(kStick, "TestFilter"), nullptr);
  EXPECT_FALSE(machine.Device(kDisk));
  EXPECT_EQ(machine.Enable(kStick), km::STATUS_SUCCESS);
  EXPECT_EQ(FilterLogSince(mark),
            (Lines{"d0exit 1 final", "release 1",
                   "add 2 USB\\VID_0781&PID_5567&REV_0100 instance=4C530001230817115075",
                   "prepare 2 classes=8", "d0entry 2"}));
  EXPECT_TRUE(machine.Device(kDisk));
}

TEST_F(FrameworkTest, RefusedStartFailsWithProblem10AndReleasesTheHardware) {
  SetFilterValue(u"Refuse", u"VID_0781");
  DriverHarness machine;
  Load(machine);
  machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"));
  std::size_t mark = FilterLog().size();
  EXPECT_EQ(machine.StartDevice(kStick), km::STATUS_NOT_SUPPORTED);
  auto stick = machine.Device(kStick);
  ASSERT_TRUE(stick) << "a device that failed to start stays present";
  EXPECT_EQ(stick->state, DevnodeState::kFailed);
  EXPECT_EQ(stick->problem, kProblemFailedStart);
  EXPECT_EQ(StatusText(stick->status), "0xC00000BB");
  EXPECT_EQ(FilterLogSince(mark), (Lines{"prepare 1 classes=8", "refuse 1", "release 1"}));
  EXPECT_FALSE(machine.Device(kDisk));
  EXPECT_TRUE(machine.Broadcasts().empty());
  EXPECT_EQ(machine.FilterDevice(kStick, "TestFilter"), nullptr) << "the stack is removed";
  // Enabling a failed device builds a new stack and examines it again.
  EXPECT_EQ(machine.Enable(kStick), km::STATUS_NOT_SUPPORTED);
  EXPECT_NE(FilterLog().back().find("release 2"), std::string::npos);
}

TEST_F(FrameworkTest, RefusedHubEnumeratesNothingBehindIt) {
  SetFilterValue(u"Refuse", u"ROOT_HUB30");
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-host-controller.json")), km::STATUS_SUCCESS);
  ASSERT_EQ(machine.StartDevice("PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\\3&11583659&0&A0"),
            km::STATUS_SUCCESS);
  EXPECT_EQ(machine.Device(kRootHub)->state, DevnodeState::kFailed);
  EXPECT_EQ(machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"), kRootHub),
            km::STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(machine.Device(kStick));
  // The host controller is not a USB device: its filter cannot examine it.
  EXPECT_EQ(FilterLog()[2], "prepare 1 not-usb");
}

TEST_F(FrameworkTest, DeviceControlPassesThroughTheFilterToTheBus) {
  DriverHarness machine;
  Load(machine);
  machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"));
  EXPECT_EQ(machine.SendDeviceControl(kStick, 0x2D1400), km::STATUS_NO_SUCH_DEVICE)
      << "a device that has not started takes no requests";
  machine.StartDevice(kStick);
  EXPECT_EQ(machine.SendDeviceControl(kStick, 0x2D1400), km::STATUS_SUCCESS);
  EXPECT_EQ(machine.BusDeviceControls(kStick), 1u);
  EXPECT_EQ(FilterLog().back(), "ioctl 1 002D1400");
  // Without a filter the request goes straight to the bus.
  EXPECT_EQ(machine.SendDeviceControl(kDisk, 0x70000), km::STATUS_SUCCESS);
  EXPECT_EQ(machine.BusDeviceControls(kDisk), 1u);
}

TEST_F(FrameworkTest, SurpriseRemovalRunsTheCallbacksAndBroadcastsTheRemoval) {
  DriverHarness machine;
  Load(machine);
  machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"));
  machine.StartDevice(kStick);
  auto arrivals = machine.Broadcasts();
  ASSERT_EQ(arrivals.size(), 3u);
  EXPECT_EQ(arrivals[0]["class_guid"], "{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_EQ(
      arrivals[0]["name"],
      "\\\\?\\USB#VID_0781&PID_5567#4C530001230817115075#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_EQ(arrivals[2]["type"], "volume");
  EXPECT_EQ(arrivals[2]["drive"], "D:");
  EXPECT_EQ(arrivals[2]["unitmask"], 1u << 3);

  std::size_t mark = FilterLog().size();
  EXPECT_EQ(machine.SurpriseRemove(kStick), km::STATUS_SUCCESS);
  EXPECT_EQ(FilterLogSince(mark), (Lines{"surprise 1", "d0exit 1 final", "release 1"}));
  EXPECT_FALSE(machine.Device(kStick));
  EXPECT_FALSE(machine.Device(kDisk));
  auto all = machine.Broadcasts();
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[3]["event"], "removal");
  EXPECT_EQ(all[3]["type"], "volume");
  EXPECT_EQ(all[5]["event"], "removal");
  EXPECT_EQ(all[5]["instance_id"], kStick);
}

TEST_F(FrameworkTest, FailuresOfDriverEntryAndDeviceAddAreReported) {
  SetFilterValue(u"FailAdd", u"VID_0781");
  {
    DriverHarness machine;
    Load(machine);
    EXPECT_EQ(machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json")),
              km::STATUS_INSUFFICIENT_RESOURCES);
    auto stick = machine.Device(kStick);
    EXPECT_EQ(stick->state, DevnodeState::kFailed);
    EXPECT_EQ(stick->problem, kProblemFailedAdd);
    EXPECT_EQ(machine.StartDevice(kStick), km::STATUS_NO_SUCH_DEVICE);
  }
  auto key =
      reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\TestFilter", reg::KEY_ALL_ACCESS);
  key->SetDword(u"FailEntry", 1);
  std::size_t mark = FilterLog().size();
  DriverHarness machine;
  EXPECT_EQ(machine.LoadDriver(PVN_TEST_FILTER, "TestFilter"), km::STATUS_UNSUCCESSFUL);
  EXPECT_EQ(FilterLogSince(mark), (Lines{"entry", "cleanup-driver"}))
      << "a failed DriverEntry unloads the driver with its cleanup";
  EXPECT_EQ(machine.Driver("TestFilter"), nullptr);
  EXPECT_EQ(machine.LoadDriver("/nonexistent/Missing.sys"), km::STATUS_DRIVER_UNABLE_TO_LOAD);
}

TEST_F(FrameworkTest, InstanceIdComesFromTheBusAndMayBeMissing) {
  const char* kNoInstance = R"({"instance_id": "USB\\VID_1234&PID_0001\\5&1&0&1",
    "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}", "hardware_ids": ["USB\\VID_1234&PID_0001"],
    "bus_instance_id": null})";
  for (bool pend : {false, true}) {
    SCOPED_TRACE(pend ? "answered asynchronously" : "answered at once");
    std::filesystem::remove(fs::DriveC() / "TestFilter.log");
    DriverHarness machine({.pendBusQueries = pend});
    Load(machine);
    machine.AddDeviceFile(CatalogFile("usb-stick-no-serial.json"));
    machine.AddDevice(kNoInstance);
    machine.AddDeviceFile(CatalogFile("usb-long-hardware-ids.json"));
    auto log = FilterLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1], "add 1 USB\\VID_090C&PID_1000&REV_1100 instance=5&2B0E0A5B&0&1");
    EXPECT_EQ(log[2], "add 2 USB\\VID_1234&PID_0001 instance=");
    EXPECT_EQ(log[3], "add 3  instance=NA7H2RLB")
        << "a hardware-ID list over 512 bytes does not fit";
  }
}

TEST_F(FrameworkTest, UnloadRemovesTheDriversDevicesThenRunsItsCleanup) {
  DriverHarness machine;
  Load(machine);
  machine.AddDeviceFile(CatalogFile("usb-stick-sandisk.json"));
  machine.StartDevice(kStick);
  std::size_t mark = FilterLog().size();
  EXPECT_EQ(machine.UnloadDriver("TestFilter"), km::STATUS_SUCCESS);
  EXPECT_EQ(FilterLogSince(mark), (Lines{"d0exit 1 final", "release 1", "cleanup-driver"}));
  EXPECT_FALSE(machine.Device(kStick));
  EXPECT_EQ(machine.UnloadDriver("TestFilter"), km::STATUS_OBJECT_NAME_NOT_FOUND);
}

}  // namespace
}  // namespace pvn::machine::testing
