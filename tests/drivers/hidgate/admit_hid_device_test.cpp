#include "drivers/hidgate/admit_hid_device.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drivers/hidgate/load_settings.h"
#include "drivers/portgate/event_log.h"
#include "platform/registry/key.h"
#include "tests/drivers/portgate/driver_log.h"
#include "tests/drivers/portgate/gate_lists.h"
#include "tests/support/temp_prefix.h"

namespace pvn::hidgate {
namespace {

using pvn::testing::AfterStamp;
using pvn::testing::MakeList;
using pvn::testing::ReadLogLines;
using List = std::vector<std::u16string>;

constexpr char16_t kKeyboard[] = u"HID\\VID_12AB&PID_34CD&REV_0100&MI_00";
constexpr char16_t kSecondInterface[] = u"HID\\VID_12AB&PID_34CD&REV_0100&MI_01";
constexpr char16_t kPs2Keyboard[] = u"ACPI\\PNP0303";

struct HidCase {
  const char* name;
  bool lockOn;
  std::optional<List> list;  // nullopt: absent
  std::u16string hardwareId;
  bool admitted;
};

std::ostream& operator<<(std::ostream& out, const HidCase& c) {
  return out << c.name;
}

const HidCase kCases[] = {
    {"lock_on_empty_list_refuses_usb_keyboard", true, List{}, kKeyboard, false},
    {"acpi_keyboard_always_admitted", true, List{}, kPs2Keyboard, true},
    {"acpi_prefix_is_enough", true, List{}, u"ACPI\\VEN_ACME&DEV_0F13", true},
    {"acpi_must_start_the_id", true, List{}, u"HID\\ACPI", false},
    {"shorter_than_acpi_refused", true, List{}, u"ACP", false},
    {"exact_entry_admits", true, List{kKeyboard}, kKeyboard, true},
    {"other_interface_of_listed_device_refused", true, List{kKeyboard}, kSecondInterface, false},
    {"entry_prefix_does_not_admit", true, List{u"HID\\VID_12AB&PID_34CD"}, kKeyboard, false},
    {"instance_path_entry_admits_nothing", true, List{u"HID\\VID_12AB&PID_34CD&MI_00\\7&2A1B"},
     kKeyboard, false},
    {"list_ends_at_first_empty_entry", true, List{u"HID\\VID_0001", u"", kKeyboard}, kKeyboard,
     false},
    {"lock_off_admits_everything", false, List{}, kKeyboard, true},
    {"absent_list_admits_everything", true, std::nullopt, kKeyboard, true},
    {"empty_hardware_id_refused", true, List{kKeyboard}, u"", false},
};

class AdmitHidDeviceTest : public pvn::testing::PrefixTest,
                           public ::testing::WithParamInterface<HidCase> {};

TEST_P(AdmitHidDeviceTest, Decides) {
  const HidCase& c = GetParam();
  auto list = c.list ? MakeList(*c.list) : nullptr;
  DRIVER_CONTEXT context = {c.lockOn, list.get()};

  NTSTATUS status = AdmitHidDevice(&context, c.hardwareId.c_str());

  auto lines = ReadLogLines(u"C:\\Windows\\System32\\Drivers\\usbwlhid.plog");
  if (c.admitted) {
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_TRUE(lines.empty());
  } else {
    EXPECT_EQ(status, STATUS_NOT_SUPPORTED);
    std::string text(c.hardwareId.begin(), c.hardwareId.end());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterStamp(lines[0]),
              "Blocking Device: " + (text.empty() ? std::string(" ") : text) + "\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AdmitHidDeviceTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AdmitHidDevice, WithoutSettingsAdmits) {
  EXPECT_EQ(AdmitHidDevice(nullptr, kKeyboard), STATUS_SUCCESS);
}

class HidSettingsTest : public pvn::testing::PrefixTest {
 protected:
  ~HidSettingsTest() override { ReleaseSettings(&context_); }
  reg::Key ServiceKey() {
    auto key =
        reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\PvnHidGate", reg::KEY_ALL_ACCESS);
    EXPECT_TRUE(key);
    return key.take();
  }
  DRIVER_CONTEXT context_ = {};
};

TEST_F(HidSettingsTest, LoadsTheKeyboardMouseLockFromItsOwnKey) {
  // The storage driver's values are not this driver's.
  auto other =
      reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\PvnPortGate", reg::KEY_ALL_ACCESS);
  ASSERT_TRUE(other);
  other->SetDword(u"KeybMous Enable", 1);

  EXPECT_FALSE(NT_SUCCESS(LoadSettings(&context_)));
  EXPECT_EQ(context_.KeybMousWhitelist, nullptr);

  std::vector<char16_t> form(8192, 0);
  std::u16string entry = u"hid\\vid_12ab&pid_34cd&rev_0100&mi_00";  // as the console may write it
  entry.copy(form.data(), entry.size());
  reg::Key key = ServiceKey();
  key.SetValue(u"KeybMous Whitelist", reg::REG_BINARY, form.data(), 16384);
  key.SetDword(u"KeybMous Enable", 2);
  ASSERT_EQ(LoadSettings(&context_), STATUS_SUCCESS);
  EXPECT_FALSE(context_.KeybMousEnable);  // 2 is off

  key.SetDword(u"KeybMous Enable", 1);
  ASSERT_EQ(LoadSettings(&context_), STATUS_SUCCESS);
  EXPECT_TRUE(context_.KeybMousEnable);
  EXPECT_EQ(AdmitHidDevice(&context_, kKeyboard), STATUS_SUCCESS);
  EXPECT_EQ(AdmitHidDevice(&context_, kSecondInterface), STATUS_NOT_SUPPORTED);

  ReleaseSettings(&context_);
  EXPECT_EQ(context_.KeybMousWhitelist, nullptr);
}

TEST_F(HidSettingsTest, OversizedListIsLeftEmpty) {
  std::vector<char16_t> big(10000, u'H');
  reg::Key key = ServiceKey();
  key.SetValue(u"KeybMous Whitelist", reg::REG_BINARY, big.data(), 20000);
  key.SetDword(u"KeybMous Enable", 1);
  ASSERT_EQ(LoadSettings(&context_), STATUS_SUCCESS);
  ASSERT_NE(context_.KeybMousWhitelist, nullptr);
  EXPECT_EQ(gate::WhitelistEntriesInUse(*context_.KeybMousWhitelist), 0u);
  EXPECT_EQ(AdmitHidDevice(&context_, kKeyboard), STATUS_NOT_SUPPORTED);
}

}  // namespace
}  // namespace pvn::hidgate
