// Both drivers registered on a machine the way the installer's batch does it,
// driven through pvnhost like a user: boot, plug, reboot, list.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "common/settings/driver_whitelist_writer.h"
#include "platform/fs/prefix.h"
#include "platform/machine/testing/driver_harness.h"
#include "platform/machine/testing/machine_process.h"
#include "platform/registry/key.h"
#include "tests/drivers/portgate/driver_log.h"
#include "tests/drivers/portgate/gate_machine.h"
#include "tests/support/temp_prefix.h"

namespace pvn::testing {
namespace {

using machine::testing::CatalogFile;
using machine::testing::MachineProcess;
using Json = nlohmann::json;
using Lines = std::vector<std::string>;

constexpr const char* kStick = "USB\\VID_0781&PID_5567\\4C530001230817115075";
constexpr const char* kStickDisk =
    "USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER_BLADE&REV_1.00\\4C530001230817115075&0";
constexpr const char* kKeyboard = "HID\\VID_413C&PID_2113&MI_00\\7&3A4B5C6D&0&0000";
constexpr const char* kPs2Keyboard = "ACPI\\PNP0303\\4&1F6B8E4A&0";

// What the installer's batch does: the images in the Drivers folder, kernel
// services started on demand, and the class lower filters.
void InstallDrivers() {
  auto drivers = fs::DriveC() / "Windows" / "System32" / "Drivers";
  std::filesystem::create_directories(drivers);
  for (const char* image : {"PvnPortGate.sys", "PvnHidGate.sys"})
    std::filesystem::copy_file(BinDir() / image, drivers / image,
                               std::filesystem::copy_options::overwrite_existing);
  for (std::u16string service : {u"PvnPortGate", u"PvnHidGate"}) {
    auto key =
        reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\" + service, reg::KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    key->SetDword(u"Type", 1);
    key->SetDword(u"Start", 3);
    key->SetString(u"ImagePath", u"\\SystemRoot\\system32\\DRIVERS\\" + service + u".sys",
                   reg::REG_EXPAND_SZ);
  }
  struct ClassFilter {
    const char16_t* guid;
    std::u16string filter;
  } filters[] = {{u"{36fc9e60-c465-11cf-8056-444553540000}", u"PvnPortGate"},
                 {u"{4d36e96b-e325-11ce-bfc1-08002be10318}", u"PvnHidGate"},
                 {u"{4d36e96f-e325-11ce-bfc1-08002be10318}", u"PvnHidGate"}};
  for (const ClassFilter& c : filters) {
    auto key =
        reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Control\\Class\\" + std::u16string(c.guid),
                         reg::KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    std::u16string multi = c.filter + u'\0' + u'\0';
    key->SetValue(u"LowerFilters", reg::REG_MULTI_SZ, multi.data(),
                  static_cast<std::uint32_t>(multi.size() * 2));
  }
}

// A whitelist as the console's pages write it, with its switch.
void WriteList(settings::SelectorKind kind, std::uint32_t on, const std::vector<const char*>& ids) {
  settings::WhitelistTable table = {};
  for (std::size_t i = 0; i < ids.size(); ++i)
    settings::SetEntry(table.entries[i], kind, "", ids[i]);
  ASSERT_TRUE(settings::WriteDriverWhitelist(table, on, static_cast<std::uint32_t>(kind)));
}

std::string Quoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

class GatePvnhostTest : public PrefixTest {
 protected:
  void SetUp() override { InstallDrivers(); }

  static Json Find(const MachineProcess& machine, const char* instance) {
    auto list = machine.Run("list --json");
    EXPECT_EQ(list.status, 0) << list.err;
    for (const auto& device : Json::parse(list.out))
      if (device["instance_id"] == instance) return device;
    return nullptr;
  }
  static std::string Plug(const MachineProcess& machine, const char* catalogFile) {
    auto plug = machine.Run("plug " + Quoted(CatalogFile(catalogFile)));
    EXPECT_EQ(plug.status, 0) << plug.err;
    return plug.out;
  }
  // Lines of a driver's log, after their stamps, from line `from` on.
  static Lines Log(const char16_t* file, std::size_t from = 0) {
    Lines lines;
    auto all = ReadLogLines(std::u16string(u"C:\\Windows\\System32\\Drivers\\") + file);
    for (std::size_t i = from; i < all.size(); ++i) {
      EXPECT_TRUE(HasLogStamp(all[i])) << all[i];
      lines.push_back(AfterStamp(all[i]));
    }
    return lines;
  }
};

TEST_F(GatePvnhostTest, StickRefusedUnderTheStorageLockUntilItsInstancePathIsListed) {
  WriteList(settings::SelectorKind::Storage, 1, {});
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();

  EXPECT_EQ(Plug(machine, "usb-stick-sandisk.json"),
            std::string(kStick) + ": failed (problem 10, status 0xC00000BB)\n");
  Json stick = Find(machine, kStick);
  ASSERT_TRUE(stick.is_object());
  EXPECT_EQ(stick["state"], "failed");
  EXPECT_EQ(stick["problem"], 10);
  EXPECT_EQ(stick["status"], "0xC00000BB");
  EXPECT_TRUE(Find(machine, kStickDisk).is_null());
  // The host controller and its root hub came up at boot, unrefused.
  Lines log = Log(u"usbwlsto.plog");
  EXPECT_EQ(log, (Lines{"Plug-in Device: PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\r\n",
                        "Plug-in Device: USB\\ROOT_HUB30&VID8086&PIDA36D&REV0010\r\n",
                        "Plug-in Device: USB\\VID_0781&PID_5567&REV_0100\r\n",
                        "Blocking Device: USB\\VID_0781&PID_5567&REV_0100\r\n",
                        "Unplug Device: USB\\VID_0781&PID_5567&REV_0100\r\n"}));

  // Allowed by its device instance path, as the selector stores it; the
  // driver sees the change after a restart.
  WriteList(settings::SelectorKind::Storage, 1, {"USB\\VID_0781&PID_5567\\4C530001230817115075"});
  ASSERT_EQ(machine.Run("reboot").status, 0);
  EXPECT_EQ(Find(machine, kStick)["state"], "started");
  EXPECT_EQ(Find(machine, kStickDisk)["state"], "started");
  EXPECT_EQ(Find(machine, kStick)["filters"], Json::array({"PvnPortGate"}));

  std::size_t mark = Log(u"usbwlsto.plog").size();
  ASSERT_EQ(machine.Run(std::string("unplug '") + kStick + "'").status, 0);
  EXPECT_EQ(Log(u"usbwlsto.plog", mark),
            (Lines{"Unplug Device: USB\\VID_0781&PID_5567&REV_0100\r\n"}));
}

TEST_F(GatePvnhostTest, StorageLockOffStartsEveryStick) {
  WriteList(settings::SelectorKind::Storage, 0, {});
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  Plug(machine, "usb-stick-sandisk.json");
  Plug(machine, "usb-stick-no-serial.json");
  EXPECT_EQ(Find(machine, kStick)["state"], "started");
  EXPECT_EQ(Find(machine, "USB\\VID_090C&PID_1000\\5&2B0E0A5B&0&1")["state"], "started");
  for (const auto& line : Log(u"usbwlsto.plog"))
    EXPECT_EQ(line.find("Blocking"), std::string::npos) << line;
}

TEST_F(GatePvnhostTest, AdmittedStickThroughRebalanceAndDisableEnable) {
  WriteList(settings::SelectorKind::Storage, 1, {"usb\\vid_0781&pid_5567&rev_0100"});
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  Plug(machine, "usb-stick-sandisk.json");
  ASSERT_EQ(Find(machine, kStick)["state"], "started");
  std::size_t mark = Log(u"usbwlsto.plog").size();

  ASSERT_EQ(machine.Run(std::string("rebalance '") + kStick + "'").status, 0);
  ASSERT_EQ(machine.Run(std::string("disable '") + kStick + "'").status, 0);
  EXPECT_EQ(Find(machine, kStick)["state"], "disabled");
  ASSERT_EQ(machine.Run(std::string("enable '") + kStick + "'").status, 0);
  EXPECT_EQ(Find(machine, kStick)["state"], "started");
  EXPECT_EQ(Log(u"usbwlsto.plog", mark),
            (Lines{"Unplug Device: USB\\VID_0781&PID_5567&REV_0100\r\n",      // rebalance
                   "Unplug Device: USB\\VID_0781&PID_5567&REV_0100\r\n",      // disable
                   "Plug-in Device: USB\\VID_0781&PID_5567&REV_0100\r\n"}));  // enable
}

TEST_F(GatePvnhostTest, KeyboardLockRefusesUsbKeyboardsUntilListedAndAlwaysAdmitsPs2) {
  WriteList(settings::SelectorKind::KeybMous, 1, {});
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  Plug(machine, "usb-keyboard.json");
  Plug(machine, "ps2-keyboard.json");
  EXPECT_EQ(Find(machine, kKeyboard)["state"], "failed");
  EXPECT_EQ(Find(machine, kKeyboard)["status"], "0xC00000BB");
  EXPECT_EQ(Find(machine, kPs2Keyboard)["state"], "started");
  // The composite device itself is the USB filter's, with no storage or hub interface.
  EXPECT_EQ(Find(machine, "USB\\VID_413C&PID_2113\\5&1D7B3C2A&0&3")["state"], "started");
  EXPECT_EQ(Log(u"usbwlhid.plog"),
            (Lines{"Plug-in Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n",
                   "Blocking Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n",
                   "Unplug Device: HID\\VID_413C&PID_2113&REV_0108&MI_00\r\n",
                   "Plug-in Device: ACPI\\PNP0303\r\n"}));

  WriteList(settings::SelectorKind::KeybMous, 1, {"HID\\VID_413C&PID_2113&REV_0108&MI_00"});
  ASSERT_EQ(machine.Run("reboot").status, 0);
  EXPECT_EQ(Find(machine, kKeyboard)["state"], "started");
  EXPECT_EQ(Find(machine, kPs2Keyboard)["state"], "started");
}

}  // namespace
}  // namespace pvn::testing
