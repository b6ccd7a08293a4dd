#include "common/settings/whitelist.h"

#include <cstring>
#include <vector>

#include "common/settings/driver_whitelist_writer.h"
#include "common/settings/registry_layout.h"
#include "platform/registry/key.h"
#include "tests/support/temp_prefix.h"

namespace pvn::settings {
namespace {

class WhitelistTest : public testing::PrefixTest {
 protected:
  void SetUp() override {
    for (auto path : {kPortGateKeyPath, kHidGateKeyPath})
      ASSERT_TRUE(reg::Key::Create(path, reg::KEY_ALL_ACCESS));
  }
  static reg::Value Read(std::u16string_view key, std::u16string_view name) {
    auto k = reg::Key::Open(key, reg::KEY_READ);
    auto v = k ? k->GetValue(name) : Result<reg::Value, win::Error>::Fail(0);
    return v ? *v : reg::Value{};
  }
  static WhitelistTable ThreeSticks() {
    WhitelistTable table{};
    SetEntry(table.entries[0], SelectorKind::Storage, "Stick A", "usb\\vid_12ab&pid_34cd&rev_0100");
    SetEntry(table.entries[1], SelectorKind::Storage, "Stick B", "USB\\VID_12AB&PID_34CD\\9F17B2C4");
    SetEntry(table.entries[2], SelectorKind::Storage, "Caf\xe9", "USB\\VID_0781&PID_5567&REV_0100");
    return table;
  }
};

TEST_F(WhitelistTest, EntriesAreCutToTheirFields) {
  WhitelistEntry entry;
  std::memset(&entry, 0x5A, sizeof entry);
  SetEntry(entry, SelectorKind::KeybMous, std::string(200, 'n'), std::string(300, 'i'));
  EXPECT_EQ(entry.kind, 2u);
  EXPECT_EQ(EntryName(entry), std::string(127, 'n'));
  EXPECT_EQ(EntryDeviceId(entry), std::string(255, 'i'));
  EXPECT_EQ(entry.name[127], 0);
  EXPECT_EQ(entry.deviceId[255], 0);

  // A stored entry without terminators is read within its fields.
  std::memset(entry.deviceId, 'x', sizeof entry.deviceId);
  EXPECT_EQ(EntryDeviceId(entry).size(), 256u);
}

TEST_F(WhitelistTest, TableEndsAtTheFirstEmptyEntry) {
  WhitelistTable table = ThreeSticks();
  EXPECT_EQ(UsedEntries(table), 3u);
  SetEntry(table.entries[5], SelectorKind::Storage, "after the end", "X");
  EXPECT_EQ(UsedEntries(table), 3u);
  for (auto& e : table.entries) e.kind = 3;
  EXPECT_EQ(UsedEntries(table), 32u);
}

TEST_F(WhitelistTest, DriverFormKeepsCaseAndZeroesUnusedSlots) {
  WhitelistTable table = ThreeSticks();
  SetEntry(table.entries[5], SelectorKind::Storage, "beyond the end", "NOT WRITTEN");
  DriverWhitelist form = BuildDriverWhitelist(table);
  EXPECT_EQ(std::u16string(form.slots[0]), u"usb\\vid_12ab&pid_34cd&rev_0100");
  EXPECT_EQ(std::u16string(form.slots[1]), u"USB\\VID_12AB&PID_34CD\\9F17B2C4");
  for (std::size_t i = 3; i < kWhitelistEntries; ++i)
    for (char16_t unit : form.slots[i]) ASSERT_EQ(unit, 0) << "slot " << i;
}

TEST_F(WhitelistTest, WriterPutsFullSizeValuesIntoTheRightServiceKey) {
  WhitelistTable table = ThreeSticks();
  ASSERT_TRUE(WriteDriverWhitelist(table, 1, 3));
  auto list = Read(kPortGateKeyPath, u"Stor Whitelist");
  EXPECT_EQ(list.type, reg::REG_BINARY);
  ASSERT_EQ(list.data.size(), 16384u);
  DriverWhitelist expected = BuildDriverWhitelist(table);
  EXPECT_EQ(std::memcmp(list.data.data(), &expected, 16384), 0);
  EXPECT_EQ(Read(kPortGateKeyPath, u"Stor Enable").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));

  // A switch other than 1 is written as 0; kind 2 goes to the other driver.
  ASSERT_TRUE(WriteDriverWhitelist(WhitelistTable{}, 2, 2));
  EXPECT_EQ(Read(kHidGateKeyPath, u"KeybMous Enable").data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Read(kHidGateKeyPath, u"KeybMous Whitelist").data, std::vector<std::uint8_t>(16384, 0));

  ASSERT_TRUE(WriteDriverWhitelist(table, 1, 1));
  EXPECT_EQ(Read(kPortGateKeyPath, u"Port Whitelist").data.size(), 16384u);
  EXPECT_EQ(Read(kPortGateKeyPath, u"Port Enable").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

TEST_F(WhitelistTest, WriterWithoutServiceKeyOrKind) {
  ASSERT_EQ(reg::DeleteTree(kHidGateKeyPath), win::ERROR_SUCCESS);
  EXPECT_FALSE(WriteDriverWhitelist(ThreeSticks(), 1, 2));
  EXPECT_FALSE(reg::Key::Open(kHidGateKeyPath, reg::KEY_READ));  // not created either
  EXPECT_TRUE(WriteDriverWhitelist(ThreeSticks(), 1, 7));         // other kinds write nothing
  EXPECT_TRUE(Read(kPortGateKeyPath, u"Stor Whitelist").data.empty());
}

}  // namespace
}  // namespace pvn::settings
