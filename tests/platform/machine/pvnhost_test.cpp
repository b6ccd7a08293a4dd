// pvnhost as a user drives it: the daemon and its command line.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "platform/machine/client/machine_client.h"
#include "platform/machine/testing/driver_harness.h"
#include "platform/machine/testing/machine_process.h"
#include "tests/platform/machine/filter_log.h"
#include "tests/support/temp_prefix.h"

namespace pvn::machine::testing {
namespace {

using pvn::testing::BinDir;
constexpr const char* kStick = "USB\\VID_0781&PID_5567\\4C530001230817115075";

std::string Quoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

Json FindDevice(const Json& devices, const std::string& instance) {
  for (const auto& device : devices)
    if (device["instance_id"] == instance) return device;
  return nullptr;
}

class PvnhostTest : public pvn::testing::PrefixTest {};

TEST_F(PvnhostTest, CommandsWithoutARunningMachineFailWithOneLine) {
  MachineProcess none(BinDir());  // boots; shut it down to test the absence
  ASSERT_TRUE(none.running()) << none.error();
  auto second = none.Run("boot");
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("a machine is already running on"), std::string::npos) << second.err;
  ASSERT_EQ(none.Run("shutdown").status, 0);
  for (const char* command : {"list", "reboot", "unplug X\\Y\\Z"}) {
    auto result = none.Run(command);
    EXPECT_EQ(result.status, 1) << command;
    EXPECT_EQ(result.err, "pvnhost: the machine is not running (start it with 'pvnhost boot')\n");
  }
  EXPECT_EQ(none.Run("frobnicate").status, 2);
}

TEST_F(PvnhostTest, RefusedStickIsListedAsFailedWithItsProblemAndStatus) {
  RegisterTestFilter();
  SetFilterValue(u"Refuse", u"VID_0781");
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();

  auto plug = machine.Run("plug " + Quoted(CatalogFile("usb-stick-sandisk.json")));
  EXPECT_EQ(plug.status, 0) << plug.err;
  EXPECT_EQ(plug.out, std::string(kStick) + ": failed (problem 10, status 0xC00000BB)\n");

  auto list = machine.Run("list --json");
  ASSERT_EQ(list.status, 0);
  Json devices = Json::parse(list.out);
  ASSERT_TRUE(devices.is_array());
  Json stick = FindDevice(devices, kStick);
  ASSERT_TRUE(stick.is_object());
  EXPECT_EQ(stick["state"], "failed");
  EXPECT_EQ(stick["problem"], 10);
  EXPECT_EQ(stick["status"], "0xC00000BB");
  EXPECT_EQ(stick["class_guid"], "{36fc9e60-c465-11cf-8056-444553540000}");
  EXPECT_EQ(stick["parent"], "USB\\ROOT_HUB30\\4&2A9A5F3C&0&0");
  for (const auto& device : devices) {
    EXPECT_TRUE(device.contains("instance_id") && device.contains("class_guid") &&
                device.contains("state"));
    if (device["state"] == "started") {
      EXPECT_FALSE(device.contains("problem"));
    }
  }

  auto human = machine.Run("list");
  EXPECT_NE(human.out.find("failed (problem 10, 0xC00000BB)"), std::string::npos) << human.out;
  EXPECT_NE(human.out.find("TestFilter"), std::string::npos) << "the drivers are listed too";

  // A bad device file names the field and changes nothing.
  auto bad = prefix_.path() / "bad.json";
  std::ofstream(bad)
      << R"({"instance_id": "USB\\VID_1234&PID_5678\\1", "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}",
                           "usb": {"device_descriptor": "12 01", "configuration_descriptor": ""}})";
  auto refused = machine.Run("plug " + Quoted(bad));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "pvnhost: " + bad.string() + ": usb.device_descriptor: must be 18 bytes, not 2\n");
  EXPECT_EQ(Json::parse(machine.Run("list --json").out), devices);
  EXPECT_EQ(machine.Run("plug /nonexistent.json").err, "pvnhost: cannot read /nonexistent.json\n");
}

TEST_F(PvnhostTest, BroadcastsAndRestartNoticesReachSubscribers) {
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<Json> events;
  auto subscription = BroadcastSubscription::Start([&](const Json& event) {
    std::lock_guard lock(mutex);
    events.push_back(event);
    arrived.notify_all();
  });
  ASSERT_TRUE(subscription) << subscription.error();
  auto waitFor = [&](std::size_t count) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(10), [&] { return events.size() >= count; });
  };

  ASSERT_EQ(machine.Run("plug " + Quoted(CatalogFile("usb-stick-kingston.json"))).status, 0);
  ASSERT_TRUE(waitFor(3));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(events[0]["event"], "arrival");
    EXPECT_EQ(events[0]["class_guid"], "{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_EQ(events[1]["class_guid"], "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    EXPECT_EQ(events[2]["type"], "volume");
    EXPECT_EQ(events[2]["unitmask"], 8);
  }
  ASSERT_EQ(machine.Run("reboot").out, "machine restarted\n");
  ASSERT_TRUE(waitFor(4));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(events[3], (Json{{"event", "notice"}, {"kind", "restart"}}));
  }
  // The subscription outlives the restart: the boot announces the host
  // controller, its root hub, the stick, its disk and volume again.
  ASSERT_TRUE(waitFor(9));
  auto unplug = machine.Run("unplug USB\\\\VID_0951\\&PID_1666\\\\E0D55EA574C8E4B1A95B0B46");
  EXPECT_EQ(unplug.out, "USB\\VID_0951&PID_1666\\E0D55EA574C8E4B1A95B0B46: unplugged\n")
      << unplug.err;
  ASSERT_TRUE(waitFor(12));
  std::lock_guard lock(mutex);
  EXPECT_EQ(events[8]["drive"], "D:");
  EXPECT_EQ(events[9]["event"], "removal");
  EXPECT_EQ(events[9]["drive"], "D:");
  EXPECT_EQ(events[11]["event"], "removal");
  EXPECT_EQ(events[11]["instance_id"], "USB\\VID_0951&PID_1666\\E0D55EA574C8E4B1A95B0B46");
}

TEST_F(PvnhostTest, EventsCommandPrintsBroadcastsUntilShutdown) {
  MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  auto out = prefix_.path() / "events.txt";
  ASSERT_EQ(machine.Run("events > " + Quoted(out) + " &").status, 0);
  auto read = [&] {
    std::ifstream in(out);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  };
  // The subscription takes a moment to be in place: plug the keyboard in
  // until its arrival is seen.
  const std::string ps2 = "ACPI\\\\PNP0303\\\\4\\&1F6B8E4A\\&0";
  std::string text;
  for (int attempt = 0; attempt < 40 && text.find("arrival") == std::string::npos; ++attempt) {
    machine.Run("unplug " + ps2);
    machine.Run("plug " + Quoted(CatalogFile("ps2-keyboard.json")));
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    text = read();
  }
  machine.Run("shutdown");
  for (int i = 0; i < 100 && text.find("machine shutdown") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    text = read();
  }
  EXPECT_NE(text.find("arrival interface {884b96c3-56ef-11d1-bc8c-00a0c91405dd} "
                      "\\\\?\\ACPI#PNP0303#4&1F6B8E4A&0#{884b96c3-56ef-11d1-bc8c-00a0c91405dd}"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("machine shutdown"), std::string::npos) << text;
}

}  // namespace
}  // namespace pvn::machine::testing
