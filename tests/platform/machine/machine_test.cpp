// The machine as pvnhost runs it: drivers from the class filters in the
// registry, hardware kept in the Enum tree across restarts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/machine/pnp/machine.h"
#include "platform/machine/testing/driver_harness.h"
#include "tests/platform/machine/filter_log.h"
#include "tests/support/temp_prefix.h"

namespace pvn::machine::testing {
namespace {

using namespace std::string_literals;

constexpr const char* kHostController =
    "PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\\3&11583659&0&A0";
constexpr const char* kRootHub = "USB\\ROOT_HUB30\\4&2A9A5F3C&0&0";
constexpr const char* kHub = "USB\\VID_2109&PID_0817\\6&3B4C5D6E&0&2";
constexpr const char* kStick = "USB\\VID_0781&PID_5567\\4C530001230817115075";
constexpr const char* kPs2 = "ACPI\\PNP0303\\4&1F6B8E4A&0";

std::string Catalog(const char* name) {
  std::ifstream in(CatalogFile(name));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class MachineTest : public pvn::testing::PrefixTest {
 protected:
  void TearDown() override { EXPECT_EQ(TakeFrameworkComplaints(), std::vector<std::string>{}); }
};

TEST_F(MachineTest, BootLoadsClassFiltersOncePerBootAndKeepsHardwareAcrossRestarts) {
  RegisterTestFilter();
  Machine machine({});
  machine.Boot();
  ASSERT_EQ(machine.Drivers().size(), 1u);
  EXPECT_EQ(machine.Drivers()[0].state, "loaded");
  EXPECT_EQ(machine.Drivers()[0].image, "C:\\Windows\\System32\\Drivers\\TestFilter.sys");
  // A fresh prefix has a host controller and its root hub, both filtered.
  EXPECT_EQ(machine.Device(kHostController)->filters, std::vector<std::string>{"TestFilter"});
  EXPECT_EQ(machine.Device(kRootHub)->state, DevnodeState::kStarted);

  ASSERT_TRUE(machine.Plug(Catalog("usb-stick-sandisk.json"), ""));
  EXPECT_EQ(machine.Device(kStick)->parent, kRootHub);
  ASSERT_TRUE(machine.Disable(kStick));
  std::size_t mark = FilterLog().size();

  machine.Shutdown();
  EXPECT_TRUE(machine.Devices().empty());
  auto down = FilterLogSince(mark);
  EXPECT_EQ(Count(down, "release"), 0u) << "a shutdown unplugs nothing";
  EXPECT_EQ(Count(down, "d0exit"), 2u);
  EXPECT_EQ(down.back(), "cleanup-driver");

  machine.Boot();
  EXPECT_EQ(Count(FilterLog(), "entry"), 2u) << "DriverEntry runs once per boot";
  auto stick = machine.Device(kStick);
  ASSERT_TRUE(stick) << "plugged devices are present again after a restart";
  EXPECT_EQ(stick->state, DevnodeState::kDisabled) << "and so is their disabled state";
  ASSERT_TRUE(machine.Enable(kStick));
  EXPECT_EQ(machine.Device(kStick)->state, DevnodeState::kStarted);
  EXPECT_EQ(machine.Devices().back().drive, 'D');

  ASSERT_TRUE(machine.Unplug(kStick));
  machine.Shutdown();
  machine.Boot();
  EXPECT_FALSE(machine.Device(kStick)) << "an unplugged device stays gone";
  EXPECT_FALSE(
      reg::Key::Open(u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0781&PID_5567", reg::KEY_READ))
      << "its Enum keys are removed";
}

TEST_F(MachineTest, DriversThatCannotLoadAreReportedAndLeaveDevicesUnfiltered) {
  RegisterTestFilter();
  auto services = u"SYSTEM\\CurrentControlSet\\Services\\";
  // Three more filters of the USB class: image missing, not a kernel driver, failing DriverEntry.
  auto cls = reg::Key::Open(
      u"SYSTEM\\CurrentControlSet\\Control\\Class\\{36fc9e60-c465-11cf-8056-444553540000}",
      reg::KEY_ALL_ACCESS);
  std::u16string filters = u"Missing\0NotKernel\0TestFilter\0"s + u"Failing"s + u'\0' + u'\0';
  cls->SetValue(u"LowerFilters", reg::REG_MULTI_SZ, filters.data(),
                static_cast<std::uint32_t>(filters.size() * 2));
  reg::Key::Create(std::u16string(services) + u"Missing", reg::KEY_ALL_ACCESS)
      ->SetDword(u"Type", 1);
  reg::Key::Create(std::u16string(services) + u"NotKernel", reg::KEY_ALL_ACCESS)
      ->SetDword(u"Type", 16);
  RegisterTestFilter(u"{4d36e96b-e325-11ce-bfc1-08002be10318}", u"Failing");
  reg::Key::Open(std::u16string(services) + u"Failing", reg::KEY_ALL_ACCESS)
      ->SetDword(u"FailEntry", 1);

  Machine machine({});
  machine.Boot();
  std::map<std::string, std::string> states;
  for (const auto& driver : machine.Drivers()) states[driver.service] = driver.state;
  EXPECT_EQ(states, (std::map<std::string, std::string>{{"Missing", "missing"},
                                                        {"NotKernel", "not a kernel driver"},
                                                        {"TestFilter", "loaded"},
                                                        {"Failing", "failed"}}));
  auto drivers = machine.Drivers();
  auto failing = std::find_if(drivers.begin(), drivers.end(),
                              [](const DriverInfo& d) { return d.service == "Failing"; });
  EXPECT_EQ(StatusText(*failing->status), "0xC0000001");
  EXPECT_EQ(machine.Device(kRootHub)->filters, std::vector<std::string>{"TestFilter"});
  ASSERT_TRUE(machine.Plug(Catalog("ps2-keyboard.json"), ""));
  EXPECT_EQ(machine.Device(kPs2)->parent, "") << "devices that are not USB go to the root";
  EXPECT_TRUE(machine.Device(kPs2)->filters.empty());
  EXPECT_EQ(machine.Device(kPs2)->state, DevnodeState::kStarted);
}

TEST_F(MachineTest, ChildrenAppearOnlyBehindAStartedParent) {
  RegisterTestFilter();
  SetFilterValue(u"Refuse", u"VID_2109");
  Machine machine({});
  machine.Boot();
  auto hub = machine.Plug(Catalog("usb3-hub.json"), "");
  ASSERT_TRUE(hub);
  EXPECT_EQ(StatusText(hub->status), "0xC00000BB");
  auto stick = machine.Plug(Catalog("usb-stick-sandisk.json"), kHub);
  ASSERT_TRUE(stick);
  EXPECT_FALSE(stick->enumerated) << "a refused hub enumerates nothing behind it";
  EXPECT_FALSE(machine.Device(kStick));

  // Once the hub is admitted (after a restart reloads the driver), the stick
  // behind it appears.
  SetFilterValue(u"Refuse", u"");
  machine.Shutdown();
  machine.Boot();
  EXPECT_EQ(machine.Device(kHub)->state, DevnodeState::kStarted);
  ASSERT_TRUE(machine.Device(kStick));
  EXPECT_EQ(machine.Device(kStick)->parent, kHub);

  // Unplugging the hub takes the stick with it, for good.
  ASSERT_TRUE(machine.Unplug(kHub));
  EXPECT_FALSE(machine.Device(kStick));
  machine.Shutdown();
  machine.Boot();
  EXPECT_FALSE(machine.Device(kStick));
}

TEST_F(MachineTest, RequestsThatCannotBeDoneChangeNothing) {
  Machine machine({});
  machine.Boot();
  ASSERT_TRUE(machine.Plug(Catalog("usb-stick-sandisk.json"), ""));
  auto before = machine.Devices().size();
  struct Case {
    const char* what;
    Result<Machine::PlugResult, std::string> result;
    const char* error;
  };
  std::string bad = Catalog("usb-mouse.json");
  bad.replace(bad.find("\"class_guid\""), 12, "\"class_guide\"");
  Case cases[] = {
      {"bad file", machine.Plug(bad, ""), "class_guide: is not a field of a device description"},
      {"twice", machine.Plug(Catalog("usb-stick-sandisk.json"), ""), "is already plugged in"},
      {"unknown parent", machine.Plug(Catalog("usb-mouse.json"), "USB\\NO\\SUCH"),
       "no device USB\\NO\\SUCH is present"},
      {"parent not a hub", machine.Plug(Catalog("usb-mouse.json"), kStick), "is not a USB hub"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(c.result);
    EXPECT_NE(c.result.error().find(c.error), std::string::npos) << c.result.error();
  }
  EXPECT_EQ(machine.Devices().size(), before);
  auto disk = machine.Devices().back().instanceId;
  EXPECT_NE(machine.Unplug(disk).error().find("is part of " + std::string(kStick)),
            std::string::npos);
  EXPECT_EQ(machine.Rebalance("USB\\NO\\SUCH").error(), "no device USB\\NO\\SUCH is present");
  ASSERT_TRUE(machine.Disable(kStick));
  EXPECT_NE(machine.Rebalance(kStick).error().find("is disabled, not started"), std::string::npos);
}

}  // namespace
}  // namespace pvn::machine::testing
