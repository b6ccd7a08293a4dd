#include "drivers/portgate/admit_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/portgate/event_log.h"
#include "tests/drivers/portgate/driver_log.h"
#include "tests/drivers/portgate/gate_lists.h"
#include "tests/support/temp_prefix.h"

namespace pvn::portgate {
namespace {

using pvn::testing::AfterStamp;
using pvn::testing::HasLogStamp;
using pvn::testing::MakeList;
using pvn::testing::ReadLogLines;
using List = std::vector<std::u16string>;

constexpr char16_t kStick[] = u"USB\\VID_12AB&PID_34CD&REV_0100";
constexpr char16_t kStickRev2[] = u"USB\\VID_12AB&PID_34CD&REV_0200";
constexpr char16_t kStickPath[] = u"USB\\VID_12AB&PID_34CD\\9F17B2C4";
constexpr char16_t kHub[] = u"USB\\VID_05E3&PID_0610&REV_9323";
constexpr char16_t kRootHub[] = u"USB\\ROOT_HUB30&VID8086&PID7AE0&REV0011";

// The interface classes of a test device, counting how many were asked for.
struct Interfaces {
  std::vector<UCHAR> classes;
  int fetched = 0;

  static UCHAR ClassOf(PVOID self, UCHAR index) {
    auto* me = static_cast<Interfaces*>(self);
    ++me->fetched;
    return me->classes.at(index);
  }
  INTERFACE_CLASSES View() {
    return {static_cast<ULONG>(classes.size()), &Interfaces::ClassOf, this};
  }
};

struct AdmitCase {
  const char* name;
  bool portOn;
  std::optional<List> port;  // nullopt: absent, as when the service key did not open
  bool storOn;
  std::optional<List> stor;
  std::vector<UCHAR> classes;
  std::u16string hardwareId;
  std::u16string instanceId;
  bool admitted;
};

std::ostream& operator<<(std::ostream& out, const AdmitCase& c) {
  return out << c.name;
}

const List kNone = {};
const List kFiller = {u"USB\\VID_0001&PID_0001", u"USB\\VID_0002&PID_0002",
                      u"USB\\VID_0003&PID_0003", u"USB\\VID_0004&PID_0004",
                      u"USB\\VID_0005&PID_0005"};

List FullListEndingWith(std::u16string last) {
  List list;
  for (int i = 0; i < 31; ++i)
    list.push_back(u"USB\\VID_FFFF&PID_" + std::u16string(4, u'A' + i % 26));
  list.push_back(std::move(last));
  return list;
}

List WithGapBefore(std::u16string entry) {
  List list = kFiller;  // entries 0 to 4
  list.push_back(u"");  // entry 5 empty: the list ends here
  list.push_back(std::move(entry));
  return list;
}

constexpr bool kOn = true;
constexpr bool kOff = false;
constexpr bool kAdmit = true;
constexpr bool kRefuse = false;

// clang-format off
const AdmitCase kCases[] = {
  // name                                     port lock         storage lock              classes   hardware ID  instance ID  verdict
  // Which lock governs: the first interface of class 8 or 9.
  {"storage_lock_empty_list_refuses_stick",   kOff, kNone,      kOn, kNone,               {8},      kStick,      u"9F17B2C4", kRefuse},
  {"storage_lock_leaves_hubs_alone",          kOff, kNone,      kOn, kNone,               {9},      kHub,        u"5&1A2B",   kAdmit},
  {"port_lock_empty_list_refuses_root_hub",   kOn,  kNone,      kOff, kNone,              {9},      kRootHub,    u"0",        kRefuse},
  {"hid_then_storage_is_storage",             kOff, kNone,      kOn, kNone,               {3, 8},   kStick,      u"9F17B2C4", kRefuse},
  {"hid_and_vendor_only_always_admitted",     kOn,  kNone,      kOn, kNone,               {3, 0xFF}, kStick,     u"X",        kAdmit},
  {"hub_first_is_judged_by_port_rules",       kOff, kNone,      kOn, kNone,               {9, 8},   kStick,      u"X",        kAdmit},
  {"hub_first_admitted_by_port_entry",        kOn,  List{kStick}, kOn, kNone,             {9, 8},   kStick,      u"X",        kAdmit},
  {"no_interfaces_admitted",                  kOn,  kNone,      kOn, kNone,               {},       kStick,      u"9F17B2C4", kAdmit},
  // Switches and lists.
  {"storage_lock_off_ignores_list",           kOff, kNone,      kOff, kNone,              {8},      kStick,      u"9F17B2C4", kAdmit},
  {"absent_port_list_disables_both_locks",    kOn,  std::nullopt, kOn, kNone,             {8},      kStick,      u"S",        kAdmit},
  {"absent_storage_list_disables_both_locks", kOn,  kNone,      kOn, std::nullopt,        {9},      kHub,        u"S",        kAdmit},
  // Hardware-ID entries.
  {"storage_hardware_id_entry_admits",        kOff, kNone,      kOn, List{kStick},        {8},      kStick,      u"S",        kAdmit},
  {"other_revision_refused",                  kOff, kNone,      kOn, List{kStick},        {8},      kStickRev2,  u"S",        kRefuse},
  {"hub_hardware_id_entry_admits",            kOn,  List{kHub}, kOff, kNone,              {9},      kHub,        u"5&1A2B",   kAdmit},
  {"entry_32_is_examined",                    kOff, kNone,      kOn, FullListEndingWith(kStick), {8}, kStick,    u"S",        kAdmit},
  {"list_ends_at_first_empty_entry",          kOff, kNone,      kOn, WithGapBefore(kStick), {8},    kStick,      u"S",        kRefuse},
  {"non_ascii_letters_compared_unchanged",    kOff, kNone,      kOn, List{u"USB\\VID_12AB&PID_\u00c9"},
                                                                                          {8},      u"USB\\VID_12AB&PID_\u00e9", u"S", kRefuse},
  {"empty_hardware_id_equals_no_entry",       kOff, kNone,      kOn, List{kStick},        {8},      u"",         u"",         kRefuse},
  // Instance-ID entries: the serial after the entry's last backslash, whole.
  {"instance_path_admits_its_serial",         kOff, kNone,      kOn, List{kStickPath},    {8},      kStickRev2,  u"9F17B2C4", kAdmit},
  {"instance_path_refuses_serial_suffix",     kOff, kNone,      kOn, List{kStickPath},    {8},      kStickRev2,  u"B2C4",     kRefuse},
  {"instance_path_refuses_serial_infix",      kOff, kNone,      kOn, List{kStickPath},    {8},      kStickRev2,  u"17B2",     kRefuse},
  {"instance_path_refuses_longer_serial",     kOff, kNone,      kOn, List{u"USB\\VID_12AB&PID_34CD\\B2C4"},
                                                                                          {8},      kStickRev2,  u"9F17B2C4", kRefuse},
  {"bare_serial_entry_admits_that_serial",    kOff, kNone,      kOn, List{u"9F17B2C4"},   {8},      kStickRev2,  u"9F17B2C4", kAdmit},
  {"entry_ending_in_backslash_admits_no_serial", kOff, kNone,   kOn, List{u"USB\\VID_12AB\\"}, {8}, kStickRev2,  u"X",        kRefuse},
  {"missing_instance_id_admits_nothing_by_itself", kOff, kNone, kOn, List{kStickPath},    {8},      kStickRev2,  u"",         kRefuse},
  {"missing_instance_id_still_admitted_by_hardware_id", kOff, kNone, kOn, List{kStickPath, kStick},
                                                                                          {8},      kStick,      u"",         kAdmit},
  {"port_mode_ignores_instance_ids",          kOn,  List{u"USB\\VID_05E3&PID_0610\\5&1A2B"}, kOff, kNone,
                                                                                          {9},      kHub,        u"5&1A2B",   kRefuse},
};
// clang-format on

class AdmitDeviceTest : public pvn::testing::PrefixTest,
                        public ::testing::WithParamInterface<AdmitCase> {};

TEST_P(AdmitDeviceTest, Decides) {
  const AdmitCase& c = GetParam();
  auto port = c.port ? MakeList(*c.port) : nullptr;
  auto stor = c.stor ? MakeList(*c.stor) : nullptr;
  DRIVER_CONTEXT context = {c.portOn, port.get(), c.storOn, stor.get()};
  Interfaces interfaces{c.classes};

  NTSTATUS status =
      AdmitDevice(context, c.hardwareId.c_str(), c.instanceId.c_str(), interfaces.View());

  auto lines = pvn::testing::ReadLogLines(gate::EventLogFile());
  if (c.admitted) {
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_TRUE(lines.empty());
  } else {
    EXPECT_EQ(status, STATUS_NOT_SUPPORTED);
    // Latin-1 text here, whose CP1252 bytes are its code units.
    std::string text(c.hardwareId.begin(), c.hardwareId.end());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(HasLogStamp(lines[0]));
    EXPECT_EQ(AfterStamp(lines[0]),
              "Blocking Device: " + (text.empty() ? std::string(" ") : text) + "\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AdmitDeviceTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AdmitDeviceInterfaces, FetchesClassesOnlyAsFarAsTheDecisionNeeds) {
  auto port = MakeList({kHub});
  auto stor = MakeList({});
  DRIVER_CONTEXT context = {TRUE, port.get(), FALSE, stor.get()};

  Interfaces hubFirst{{9, 8, 3, 3}};
  EXPECT_EQ(AdmitDevice(context, kHub, u"", hubFirst.View()), STATUS_SUCCESS);
  EXPECT_EQ(hubFirst.fetched, 1);

  Interfaces storageThird{{3, 0xFF, 8, 9}};
  context.StorEnable = FALSE;
  EXPECT_EQ(AdmitDevice(context, kStick, u"", storageThird.View()), STATUS_SUCCESS);
  EXPECT_EQ(storageThird.fetched, 3);

  // Without both lists nothing is looked at.
  Interfaces untouched{{8}};
  context.StorWhitelist = nullptr;
  EXPECT_EQ(AdmitDevice(context, kStick, u"", untouched.View()), STATUS_SUCCESS);
  EXPECT_EQ(untouched.fetched, 0);
}

}  // namespace
}  // namespace pvn::portgate
