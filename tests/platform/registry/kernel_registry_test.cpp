#include "platform/registry/kernel_registry.h"

#include <vector>

#include "tests/support/temp_prefix.h"

namespace pvn::reg::kernel {
namespace {

class KernelRegistryTest : public testing::PrefixTest {
 protected:
  void SetUp() override {
    auto key = Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\PvnPortGate", KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    std::vector<std::uint8_t> list(100, 0x41);
    ASSERT_EQ(key->SetValue(u"Port Whitelist", REG_BINARY, list.data(), 100), win::ERROR_SUCCESS);
  }
};

TEST_F(KernelRegistryTest, OpensMachinePathsOnly) {
  Key key;
  EXPECT_EQ(OpenKey(u"\\Registry\\MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PvnPortGate",
                    KEY_READ, &key),
            nt::STATUS_SUCCESS);
  EXPECT_TRUE(key.valid());
  EXPECT_EQ(OpenKey(u"\\registry\\machine\\SYSTEM\\Nope", KEY_READ, &key),
            nt::STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(OpenKey(u"\\Registry\\User\\X", KEY_READ, &key), nt::STATUS_OBJECT_PATH_SYNTAX_BAD);
}

TEST_F(KernelRegistryTest, PartialInformationFitsOrFails) {
  Key key;
  ASSERT_EQ(OpenKey(u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\PvnPortGate",
                    KEY_READ, &key),
            nt::STATUS_SUCCESS);
  std::vector<std::uint8_t> buffer(16 + 100, 0xEE);
  std::uint32_t needed = 0;
  // Exactly the header and the data: fits.
  ASSERT_EQ(QueryValuePartial(key, u"Port Whitelist", buffer.data(), 112, &needed),
            nt::STATUS_SUCCESS);
  EXPECT_EQ(needed, 112u);
  auto* info = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer.data());
  EXPECT_EQ(info->Type, REG_BINARY);
  EXPECT_EQ(info->DataLength, 100u);
  EXPECT_EQ(info->Data[99], 0x41);
  EXPECT_EQ(buffer[112], 0xEE);  // nothing written past the data

  // One byte short: the header is filled, the data is not, and the call fails.
  EXPECT_EQ(QueryValuePartial(key, u"Port Whitelist", buffer.data(), 111, &needed),
            nt::STATUS_BUFFER_OVERFLOW);
  EXPECT_FALSE(nt::NT_SUCCESS(nt::STATUS_BUFFER_OVERFLOW));
  EXPECT_EQ(QueryValuePartial(key, u"Port Whitelist", buffer.data(), 8, &needed),
            nt::STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(QueryValuePartial(key, u"Stor Enable", buffer.data(), 116, &needed),
            nt::STATUS_OBJECT_NAME_NOT_FOUND);
}

}  // namespace
}  // namespace pvn::reg::kernel
