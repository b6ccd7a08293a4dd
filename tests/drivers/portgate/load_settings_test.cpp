#include "drivers/portgate/load_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/settings/driver_whitelist_writer.h"
#include "drivers/portgate/admit_device.h"
#include "platform/registry/key.h"
#include "tests/support/temp_prefix.h"

namespace pvn::portgate {
namespace {

constexpr char16_t kKey[] = u"SYSTEM\\CurrentControlSet\\Services\\PvnPortGate";

// The driver form of a list: 16,384 bytes, entry i in slot i.
std::vector<std::uint8_t> DriverForm(const std::vector<std::u16string>& entries,
                                     std::size_t size = 16384, std::uint8_t fill = 0) {
  std::vector<std::uint8_t> bytes(size, 0);
  std::fill(bytes.begin() + std::min<std::size_t>(size, 16384), bytes.end(), fill);
  for (std::size_t i = 0; i < entries.size() && i * 512 < size; ++i)
    std::memcpy(bytes.data() + i * 512, entries[i].data(),
                std::min(entries[i].size() * 2, size - i * 512));
  return bytes;
}

class LoadSettingsTest : public pvn::testing::PrefixTest {
 protected:
  ~LoadSettingsTest() override { ReleaseSettings(&context_); }

  reg::Key ServiceKey() {
    auto key = reg::Key::Create(kKey, reg::KEY_ALL_ACCESS);
    EXPECT_TRUE(key);
    return key.take();
  }
  void Set(std::u16string_view name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    ASSERT_EQ(
        ServiceKey().SetValue(name, type, data.data(), static_cast<std::uint32_t>(data.size())),
        win::ERROR_SUCCESS);
  }
  NTSTATUS Load() { return LoadSettings(&context_); }
  std::u16string PortEntry(int i) const { return context_.PortWhitelist->Entries[i]; }
  std::u16string StorEntry(int i) const { return context_.StorWhitelist->Entries[i]; }

  DRIVER_CONTEXT context_ = {};
};

TEST_F(LoadSettingsTest, MissingServiceKeyLeavesBothListsAbsent) {
  EXPECT_FALSE(NT_SUCCESS(Load()));
  EXPECT_EQ(context_.PortWhitelist, nullptr);
  EXPECT_EQ(context_.StorWhitelist, nullptr);
  EXPECT_FALSE(context_.PortEnable);
  EXPECT_FALSE(context_.StorEnable);
}

TEST_F(LoadSettingsTest, KeyWithoutValuesGivesEmptyListsAndSwitchesOff) {
  ServiceKey();
  EXPECT_EQ(Load(), STATUS_SUCCESS);
  ASSERT_NE(context_.PortWhitelist, nullptr);
  ASSERT_NE(context_.StorWhitelist, nullptr);
  EXPECT_EQ(WhitelistEntriesInUse(*context_.PortWhitelist), 0u);
  EXPECT_EQ(WhitelistEntriesInUse(*context_.StorWhitelist), 0u);
  EXPECT_FALSE(context_.PortEnable);
  EXPECT_FALSE(context_.StorEnable);
}

TEST_F(LoadSettingsTest, OnlyExactlyOneSwitchesALockOn) {
  struct Case {
    const char* what;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    bool on;
  } cases[] = {
      {"REG_DWORD 1", reg::REG_DWORD, {1, 0, 0, 0}, true},
      {"REG_DWORD 0", reg::REG_DWORD, {0, 0, 0, 0}, false},
      {"REG_DWORD 2", reg::REG_DWORD, {2, 0, 0, 0}, false},
      {"REG_DWORD 0x101", reg::REG_DWORD, {1, 1, 0, 0}, false},
      {"REG_SZ \"1\"", reg::REG_SZ, {'1', 0, 0, 0}, false},
      {"type not checked: REG_BINARY 01 00 00 00", reg::REG_BINARY, {1, 0, 0, 0}, true},
      {"first four bytes only: REG_QWORD 1", reg::REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, true},
      {"short value padded with zeros", reg::REG_BINARY, {1}, true},
      {"empty value", reg::REG_DWORD, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Set(u"Port Enable", c.type, c.data);
    Set(u"Stor Enable", c.type, c.data);
    ReleaseSettings(&context_);
    context_ = {};
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(context_.PortEnable, c.on);
    EXPECT_EQ(context_.StorEnable, c.on);
  }
}

TEST_F(LoadSettingsTest, EveryQueryStartsFromAZeroedBuffer) {
  // A one-byte switch that follows a list: stale list bytes would make it
  // read as something other than 1.
  Set(u"Port Whitelist", reg::REG_BINARY, DriverForm({u"USB\\VID_1111&PID_2222"}));
  Set(u"Stor Enable", reg::REG_BINARY, {1});
  ASSERT_EQ(Load(), STATUS_SUCCESS);
  EXPECT_TRUE(context_.StorEnable);
}

TEST_F(LoadSettingsTest, ListValueSizes) {
  struct Case {
    std::size_t size;
    bool loaded;
  } cases[] = {
      {600, true},     // shorter: the rest of the buffer stays zero
      {16384, true},   // the driver form
      {16388, true},   // taken whole
      {16392, true},   // the most the query buffer holds; its first 16,388 bytes count
      {16393, false},  // too large to query: the list stays empty
      {20000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    // Bytes past the 32 entries are non-zero; the buffer still ends in zeros.
    std::vector<std::u16string> entries(32, std::u16string(255, u'B'));
    entries[0] = u"usb\\vid_1111&pid_2222";
    auto form = DriverForm(entries, c.size, 0x41);
    Set(u"Port Whitelist", reg::REG_BINARY, form);
    Set(u"Stor Whitelist", reg::REG_BINARY, DriverForm({u"USB\\VID_3333"}));
    ReleaseSettings(&context_);
    context_ = {};
    ASSERT_EQ(Load(), STATUS_SUCCESS);

    const WHITELIST& port = *context_.PortWhitelist;
    EXPECT_EQ(port.Terminator[0], 0);
    EXPECT_EQ(port.Terminator[1], 0);
    if (c.loaded) {
      EXPECT_EQ(PortEntry(0), u"USB\\VID_1111&PID_2222");
      // Every entry the value reaches into is in use, at most 32.
      std::size_t reached = (std::min<std::size_t>(c.size, 16384) + 511) / 512;
      EXPECT_EQ(WhitelistEntriesInUse(port), reached);
    } else {
      EXPECT_EQ(WhitelistEntriesInUse(port), 0u);
    }
    // One list's size never affects the other.
    EXPECT_EQ(StorEntry(0), u"USB\\VID_3333");
  }
}

TEST_F(LoadSettingsTest, EntriesUpToTheFirstEmptyOneAreUpperCased) {
  Set(u"Stor Whitelist", reg::REG_BINARY,
      DriverForm({u"usb\\vid_12ab&pid_34cd&rev_0100", u"usb\\vid_12ab&pid_34cd\\9f17b2c4",
                  u"hid\\vid_\u00e9", u"", u"usb\\after_the_end"}));
  ASSERT_EQ(Load(), STATUS_SUCCESS);
  EXPECT_EQ(StorEntry(0), u"USB\\VID_12AB&PID_34CD&REV_0100");
  EXPECT_EQ(StorEntry(1), u"USB\\VID_12AB&PID_34CD\\9F17B2C4");
  EXPECT_EQ(StorEntry(2), u"HID\\VID_\u00e9");
  EXPECT_EQ(StorEntry(4), u"usb\\after_the_end");
  EXPECT_EQ(WhitelistEntriesInUse(*context_.StorWhitelist), 3u);
}

TEST_F(LoadSettingsTest, ReleaseMarksListsAbsent) {
  ServiceKey();
  ASSERT_EQ(Load(), STATUS_SUCCESS);
  ReleaseSettings(&context_);
  EXPECT_EQ(context_.PortWhitelist, nullptr);
  EXPECT_EQ(context_.StorWhitelist, nullptr);
}

// What the console's storage page writes is what this driver enforces.
TEST_F(LoadSettingsTest, ListWrittenByTheConsoleAdmitsItsStickOnly) {
  ServiceKey();
  settings::WhitelistTable table = {};
  settings::SetEntry(table.entries[0], settings::SelectorKind::Storage, "My stick",
                     "usb\\vid_12ab&pid_34cd\\9f17b2c4");
  ASSERT_TRUE(settings::WriteDriverWhitelist(table, 1, 3));
  ASSERT_EQ(Load(), STATUS_SUCCESS);
  ASSERT_TRUE(context_.StorEnable);

  UCHAR storage = 8;
  INTERFACE_CLASSES interfaces = {1, [](PVOID c, UCHAR) { return *static_cast<UCHAR*>(c); },
                                  &storage};
  EXPECT_EQ(AdmitDevice(context_, u"USB\\VID_12AB&PID_34CD&REV_0100", u"9F17B2C4", interfaces),
            STATUS_SUCCESS);
  EXPECT_EQ(AdmitDevice(context_, u"USB\\VID_12AB&PID_34CD&REV_0100", u"0000B2C4", interfaces),
            STATUS_NOT_SUPPORTED);
}

}  // namespace
}  // namespace pvn::portgate
