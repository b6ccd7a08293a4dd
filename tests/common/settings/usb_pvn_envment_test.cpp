#include "common/settings/usb_pvn_envment.h"

#include <cstring>
#include <vector>

#include "common/settings/registry_layout.h"
#include "common/settings/rmt_param.h"
#include "platform/registry/key.h"
#include "tests/support/temp_prefix.h"

namespace pvn::settings {
namespace {

using Env = CUsbPvnEnvment;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class SettingsStoreTest : public testing::PrefixTest {
 protected:
  void SetUp() override {
    for (auto path : {kAppKeyPath, kPortGateKeyPath, kHidGateKeyPath})
      ASSERT_TRUE(reg::Key::Create(path, reg::KEY_ALL_ACCESS));
  }
  static reg::Value Read(std::u16string_view key, std::u16string_view name) {
    auto k = reg::Key::Open(key, reg::KEY_READ);
    EXPECT_TRUE(k);
    auto v = k->GetValue(name);
    return v ? *v : reg::Value{};
  }
  static void Write(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    auto k = reg::Key::Open(kAppKeyPath, reg::KEY_WRITE);
    ASSERT_TRUE(k);
    ASSERT_EQ(k->SetValue(name, type, data.data(), static_cast<std::uint32_t>(data.size())),
              win::ERROR_SUCCESS);
  }
};

TEST_F(SettingsStoreTest, MissingApplicationKeyMeansDefaultRemoteRecord) {
  ASSERT_EQ(reg::DeleteTree(kAppKeyPath), win::ERROR_SUCCESS);
  RmtParam param = kDefaultRmtParam;
  CaptureStdout();
  EXPECT_FALSE(Env::GetRegBinary(u"Remote", &param, sizeof param));
  EXPECT_EQ(GetCapturedStdout(),
            "CUsbPvnEnvment: GetRegBinary SOFTWARE\\KVR\\Usb Portvane failed. Can't open registry.\n");
  EXPECT_EQ(param.nPort, 10500u);
  EXPECT_STREQ(param.szToken, "50731942");
  EXPECT_EQ(param.bWebSrvEnable, 1u);
}

TEST_F(SettingsStoreTest, RemoteRecordOfWrongSizes) {
  Write(u"Remote", reg::REG_BINARY, std::vector<std::uint8_t>(40, 7));
  RmtParam param = kDefaultRmtParam;
  CaptureStdout();
  EXPECT_FALSE(Env::GetRegBinary(u"Remote", &param, sizeof param));
  EXPECT_EQ(GetCapturedStdout(), "CUsbPvnEnvment: GetRegBinary Remote Output buffer is not enough.\n");
  EXPECT_EQ(std::memcmp(&param, &kDefaultRmtParam, sizeof param), 0);

  RmtParam stored = {0, 8080, "abc", 0, 0};
  std::vector<std::uint8_t> bytes(32);
  std::memcpy(bytes.data(), &stored, 32);
  Write(u"Remote", reg::REG_BINARY, bytes);
  EXPECT_TRUE(Env::GetRegBinary(u"Remote", &param, sizeof param));
  EXPECT_EQ(std::memcmp(&param, &stored, sizeof param), 0);

  // A shorter value fills only the start; the rest keeps what the caller had.
  param = kDefaultRmtParam;
  Write(u"Remote", reg::REG_BINARY, {0, 0, 0, 0, 0x90, 0x1F});
  EXPECT_TRUE(Env::GetRegBinary(u"Remote", &param, sizeof param));
  EXPECT_EQ(param.bWebSrvEnable, 0u);
  EXPECT_EQ(param.nPort, 8080u);  // 0x1F90, low bytes only: 0x00001F90
  EXPECT_STREQ(param.szToken, "50731942");
}

TEST_F(SettingsStoreTest, BinaryReadsNeedWriteAccess) {
  Write(u"Remote", reg::REG_BINARY, std::vector<std::uint8_t>(32, 0));
  Write(u"Stor Enable", reg::REG_DWORD, {1, 0, 0, 0});
  ASSERT_EQ(reg::SetReadOnly(kAppKeyPath, true), win::ERROR_SUCCESS);
  std::uint8_t buffer[32];
  std::uint32_t value = 0;
  EXPECT_TRUE(Env::GetRegDWORD(u"Stor Enable", &value));  // read access is enough here
  EXPECT_EQ(value, 1u);
  CaptureStdout();
  EXPECT_FALSE(Env::GetRegBinary(u"Remote", buffer, sizeof buffer));
  EXPECT_FALSE(Env::SetRegDWORD(u"Stor Enable", 1));
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out,
            "CUsbPvnEnvment: GetRegBinary SOFTWARE\\KVR\\Usb Portvane failed. Can't open registry.\n"
            "CUsbPvnEnvment: SetRegDWORD SOFTWARE\\KVR\\Usb Portvane failed. Can't open registry.\n");
}

TEST_F(SettingsStoreTest, PasswordRoundTripWithoutTerminator) {
  const char16_t digest[] = u"3b9f0e71c2d84a6658e1f0b3a97c2d40";
  ASSERT_TRUE(Env::SetRegString(u"Password", digest));
  auto stored = Read(kAppKeyPath, u"Password");
  EXPECT_EQ(stored.type, reg::REG_SZ);
  EXPECT_EQ(stored.data.size(), 64u);

  char16_t buffer[512];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  std::uint32_t capacity = 512;
  ASSERT_TRUE(Env::GetRegString(u"Password", buffer, &capacity));
  EXPECT_EQ(std::u16string(buffer), digest);
  EXPECT_EQ(buffer[511], 0);  // the whole buffer was cleared
}

TEST_F(SettingsStoreTest, StringLimitComparesBytesWithUnits) {
  Write(u"AppPath", reg::REG_SZ, std::vector<std::uint8_t>(600, 'a'));
  char16_t buffer[512];
  std::uint32_t capacity = 512;
  CaptureStdout();
  EXPECT_FALSE(Env::GetRegString(u"AppPath", buffer, &capacity));
  EXPECT_EQ(GetCapturedStdout(), "CUsbPvnEnvment: GetRegString AppPath Output buffer is not enough.\n");
  EXPECT_EQ(capacity, 600u);

  capacity = 512;
  CaptureStdout();
  EXPECT_FALSE(Env::GetRegString(u"Missing", buffer, &capacity));
  EXPECT_EQ(GetCapturedStdout(),
            "CUsbPvnEnvment: GetRegString Missing failed. Can't open registry value.\n");
}

TEST_F(SettingsStoreTest, AppPathDropsOneTrailingBackslash) {
  struct Case {
    std::u16string stored;
    bool ok;
    std::u16string expected;
  } cases[] = {
      {u"C:\\Program Files\\Lock\\", true, u"C:\\Program Files\\Lock"},
      {u"C:\\", true, u"C:"},
      {u"C:\\Lock\\\\", true, u"C:\\Lock\\"},
      {u"C:\\Lock", true, u"C:\\Lock"},
      {u"", false, u""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Env::SetRegString(u"AppPath", c.stored.c_str()));
    char16_t out[257] = {};
    EXPECT_EQ(Env::GetAppPath(out, 257), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::u16string(out), c.expected);
    }
  }
}

TEST_F(SettingsStoreTest, AppPathNeverWritesPastTheCallersBuffer) {
  ASSERT_TRUE(Env::SetRegString(u"AppPath", u"C:\\Program Files\\Usb Portvane\\"));
  char16_t out[32];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_FALSE(Env::GetAppPath(out, 16));  // 29 units and a terminator do not fit in 16
  EXPECT_EQ(out[0], u'#');
  EXPECT_TRUE(Env::GetAppPath(out, 30));  // exactly fits
  EXPECT_EQ(std::u16string(out), u"C:\\Program Files\\Usb Portvane");
  EXPECT_FALSE(Env::GetAppPath(nullptr, 30));
}

TEST_F(SettingsStoreTest, SwitchSetterWritesBothKeysAndReportsAMissingServiceKey) {
  CUsbPvnEnvment::SetStorEnable(1);
  EXPECT_EQ(Read(kAppKeyPath, u"Stor Enable").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(Read(kPortGateKeyPath, u"Stor Enable").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));

  ASSERT_EQ(reg::DeleteTree(kHidGateKeyPath), win::ERROR_SUCCESS);
  CaptureStdout();
  CUsbPvnEnvment::SetKeybMousEnable(0);
  EXPECT_EQ(GetCapturedStdout(),
            "CUsbPvnEnvment: SetRegDWORD SYSTEM\\CurrentControlSet\\Services\\PvnHidGate failed. "
            "Can't open registry.\n");
  EXPECT_EQ(Read(kAppKeyPath, u"KeybMous Enable").data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  std::uint32_t value = 7;
  EXPECT_TRUE(Env::GetRegDWORD(u"KeybMous Enable", &value));
  EXPECT_EQ(value, 0u);
}

TEST_F(SettingsStoreTest, ListSetterLeavesTheServiceKeyAlone) {
  auto service = reg::Key::Open(kPortGateKeyPath, reg::KEY_WRITE);
  ASSERT_TRUE(service);
  std::vector<std::uint8_t> driverForm(16384, 0x11);
  ASSERT_EQ(service->SetValue(u"Stor Whitelist", reg::REG_BINARY, driverForm.data(), 16384),
            win::ERROR_SUCCESS);

  WhitelistTable table{};
  SetEntry(table.entries[0], SelectorKind::Storage, "Stick", "USB\\VID_12AB&PID_34CD\\9F17B2C4");
  CUsbPvnEnvment::SetStorWhitelist(&table);
  auto stored = Read(kAppKeyPath, u"Stor Whitelist");
  EXPECT_EQ(stored.type, reg::REG_BINARY);
  ASSERT_EQ(stored.data.size(), sizeof(WhitelistTable));
  EXPECT_EQ(std::memcmp(stored.data.data(), &table, sizeof table), 0);
  EXPECT_EQ(Read(kPortGateKeyPath, u"Stor Whitelist").data, driverForm);
}

TEST_F(SettingsStoreTest, DwordReadsAtMostFourBytes) {
  Write(u"Big", reg::REG_BINARY, {1, 0, 0, 0, 0});
  std::uint32_t value = 0;
  CaptureStdout();
  EXPECT_FALSE(Env::GetRegDWORD(u"Big", &value));
  EXPECT_EQ(GetCapturedStdout(), "CUsbPvnEnvment: GetRegDWORD Big failed. Can't open registry.\n");
  Write(u"Two", reg::REG_DWORD, {2, 0, 0, 0});
  EXPECT_TRUE(Env::GetRegDWORD(u"Two", &value));
  EXPECT_EQ(value, 2u);
  EXPECT_FALSE(Env::GetRegDWORD(nullptr, &value));
}

}  // namespace
}  // namespace pvn::settings
