// PvnHidGate.sys in the machine's in-process harness, beneath keyboards and mice.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/hidgate/driver_context.h"
#include "platform/machine/framework/device_stack.h"
#include "platform/machine/testing/driver_harness.h"
#include "tests/drivers/portgate/driver_log.h"
#include "tests/drivers/portgate/gate_machine.h"
#include "tests/support/temp_prefix.h"

namespace pvn::hidgate {

PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(DRIVER_CONTEXT, GetDriverContext)

namespace {

using machine::DevnodeState;
using machine::testing::CatalogFile;
using machine::testing::DriverHarness;
using pvn::testing::PlainDeviceJson;
using Lines = std::vector<std::string>;

constexpr const char* kKeyboardComposite = "USB\\VID_413C&PID_2113\\5&1D7B3C2A&0&3";
constexpr const char* kKeyboard = "HID\\VID_413C&PID_2113&MI_00\\7&3A4B5C6D&0&0000";
constexpr const char* kMouseDevice = "USB\\VID_046D&PID_C077\\5&1D7B3C2A&0&4";
constexpr const char* kMouse = "HID\\VID_046D&PID_C077\\6&2F3E4D5C&0&0000";
constexpr const char* kPs2Keyboard = "ACPI\\PNP0303\\4&1F6B8E4A&0";

class HidGateFrameTest : public pvn::testing::PrefixTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(machine::TakeFrameworkComplaints(), std::vector<std::string>{});
  }
  void Lock(std::uint32_t on, const std::vector<std::u16string>& entries) {
    pvn::testing::WriteLock(u"PvnHidGate", u"KeybMous Enable", on, u"KeybMous Whitelist", &entries);
  }
  void Load(DriverHarness& machine) {
    ASSERT_EQ(machine.LoadDriver(pvn::testing::BinDir() / "PvnHidGate.sys", "PvnHidGate",
                                 {pvn::testing::kKeyboardClassGuid, pvn::testing::kMouseClassGuid}),
              STATUS_SUCCESS);
  }
  static Lines Log() {
    Lines lines;
    for (const auto& line :
         pvn::testing::ReadLogLines(u"C:\\Windows\\System32\\Drivers\\usbwlhid.plog"))
      lines.push_back(pvn::testing::AfterStamp(line));
    return lines;
  }
};

TEST_F(HidGateFrameTest, LockWithEmptyListRefusesUsbKeyboardsAndMiceButNotPs2) {
  Lock(1, {});
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-keyboard.json")), STATUS_SUCCESS);
  ASSERT_EQ(machine.StartDevice(kKeyboardComposite), STATUS_SUCCESS);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-mouse.json")), STATUS_SUCCESS);
  ASSERT_EQ(machine.StartDevice(kMouseDevice), STATUS_SUCCESS);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("ps2-keyboard.json")), STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice(kPs2Keyboard), STATUS_SUCCESS);

  for (const char* refused : {kKeyboard, kMouse}) {
    auto device = machine.Device(refused);
    ASSERT_TRUE(device) << refused;
    EXPECT_EQ(device->state, DevnodeState::kFailed) << refused;
    EXPECT_EQ(machine::StatusText(device->status), "0xC00000BB");
  }
  EXPECT_EQ(Log(), (Lines{"Plug-in Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n",
                          "Blocking Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n",
                          "Unplug Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n",
                          "Plug-in Device: HID\\VID_046D&PID_C077&REV_7200\r\n",
                          "Blocking Device: HID\\VID_046D&PID_C077&REV_7200\r\n",
                          "Unplug Device: HID\\VID_046D&PID_C077&REV_7200\r\n",
                          "Plug-in Device: ACPI\\PNP0303\r\n"}));
}

TEST_F(HidGateFrameTest, ListedKeyboardIsJudgedAgainAtEveryStart) {
  Lock(1, {u"hid\\vid_413c&pid_2113&rev_0108&mi_00"});
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-keyboard.json")), STATUS_SUCCESS);
  ASSERT_EQ(machine.StartDevice(kKeyboardComposite), STATUS_SUCCESS);
  ASSERT_EQ(machine.Device(kKeyboard)->state, DevnodeState::kStarted);

  // Empty the loaded list: the next start of the same device object refuses it.
  DRIVER_CONTEXT* settings = GetDriverContext(machine.Driver("PvnHidGate"));
  ASSERT_NE(settings, nullptr);
  std::memset(settings->KeybMousWhitelist, 0, sizeof(WHITELIST));
  EXPECT_EQ(machine.Rebalance(kKeyboard), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(machine.Device(kKeyboard)->state, DevnodeState::kFailed);
  EXPECT_EQ(Log().back(), "Unplug Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n");
  EXPECT_EQ(Log().end()[-2], "Blocking Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n");
}

TEST_F(HidGateFrameTest, AcpiIdsPassWhateverTheirCase) {
  Lock(1, {});
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(machine.AddDevice(PlainDeviceJson("ACPI\\MSF0001\\4&2B3C4D5E&0",
                                              pvn::testing::kMouseClassGuid, "acpi\\msf0001")),
            STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice("ACPI\\MSF0001\\4&2B3C4D5E&0"), STATUS_SUCCESS);
  ASSERT_EQ(machine.AddDevice(PlainDeviceJson("HID\\ACPI_LOOKALIKE\\1",
                                              pvn::testing::kKeyboardClassGuid, "HID\\ACPI")),
            STATUS_SUCCESS);
  EXPECT_EQ(machine.StartDevice("HID\\ACPI_LOOKALIKE\\1"), STATUS_NOT_SUPPORTED);
}

TEST_F(HidGateFrameTest, LockSwitchedOnWhileLoadedTakesEffectAtTheNextLoad) {
  Lock(2, {});  // 2 is off
  DriverHarness machine;
  Load(machine);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-mouse.json")), STATUS_SUCCESS);
  ASSERT_EQ(machine.StartDevice(kMouseDevice), STATUS_SUCCESS);
  EXPECT_EQ(machine.Device(kMouse)->state, DevnodeState::kStarted);

  Lock(1, {});
  EXPECT_EQ(machine.Rebalance(kMouse), STATUS_SUCCESS);
  ASSERT_EQ(machine.Remove(kMouseDevice), STATUS_SUCCESS);
  ASSERT_EQ(machine.UnloadDriver("PvnHidGate"), STATUS_SUCCESS);
  Load(machine);
  ASSERT_EQ(machine.AddDeviceFile(CatalogFile("usb-mouse.json")), STATUS_SUCCESS);
  ASSERT_EQ(machine.StartDevice(kMouseDevice), STATUS_SUCCESS);
  EXPECT_EQ(machine.Device(kMouse)->state, DevnodeState::kFailed);
}

}  // namespace
}  // namespace pvn::hidgate
