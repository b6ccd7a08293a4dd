#include "platform/crypto/crypt_provider.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pvn::crypto {
namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  char two[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    out += two;
  }
  return out;
}

TEST(CryptProviderTest, Md5OfKnownInputs) {
  auto provider =
      Provider::Acquire(nullptr, kBaseProvider.data(), PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  ASSERT_TRUE(provider);
  struct Case {
    std::string input;
    const char* md5;
  };
  const Case cases[] = {{"", "d41d8cd98f00b204e9800998ecf8427e"},
                        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
                        {std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b"}};
  for (const auto& c : cases) {
    auto hash = provider->CreateHash(CALG_MD5);
    ASSERT_TRUE(hash);
    ASSERT_EQ(hash->HashData(c.input.data(), c.input.size()), win::ERROR_SUCCESS);
    std::uint8_t value[16];
    std::uint32_t size = sizeof value;
    ASSERT_EQ(hash->GetHashParam(HP_HASHVAL, value, &size), win::ERROR_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(Hex(value, 16), c.md5);
    EXPECT_EQ(hash->HashData("x", 1), NTE_BAD_HASH_STATE) << "closed after the value was read";
  }
}

TEST(CryptProviderTest, RefusesWhatItDoesNotOffer) {
  EXPECT_EQ(Provider::Acquire(nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT).error(),
            NTE_PROV_TYPE_NOT_DEF);
  EXPECT_FALSE(
      Provider::Acquire(nullptr, u"Some Other Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  EXPECT_FALSE(Provider::Acquire(u"container", nullptr, PROV_RSA_FULL, 0));
  auto provider = Provider::Acquire(nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  ASSERT_TRUE(provider);
  EXPECT_EQ(provider->CreateHash(0x8004).error(), NTE_BAD_ALGID);  // SHA-1 is not offered

  auto hash = provider->CreateHash(CALG_MD5);
  ASSERT_TRUE(hash);
  std::uint8_t small[8];
  std::uint32_t size = sizeof small;
  EXPECT_EQ(hash->GetHashParam(HP_HASHVAL, small, &size), win::ERROR_MORE_DATA);
  EXPECT_EQ(size, 16u);
}

}  // namespace
}  // namespace pvn::crypto
