#include "console/password_digest.h"

#include <cstdio>
#include <vector>

#include "common/settings/registry_layout.h"
#include "common/settings/usb_pvn_envment.h"
#include "platform/crypto/crypt_provider.h"

namespace pvn::console {

std::u16string MakePasswordDigest(std::u16string_view text) {
  auto provider = crypto::Provider::Acquire(nullptr, crypto::kBaseProvider.data(),
                                            crypto::PROV_RSA_FULL, crypto::CRYPT_VERIFYCONTEXT);
  if (!provider) return {};
  auto hash = provider->CreateHash(crypto::CALG_MD5);
  if (!hash) return {};
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>(unit >> 8));
  }
  // N bytes of the 2N-byte text: the first half of the characters and the
  // length are what the digest covers.
  if (hash->HashData(bytes.data(), text.size()) != win::ERROR_SUCCESS) return {};
  std::uint8_t value[16];
  std::uint32_t size = sizeof value;
  if (hash->GetHashParam(crypto::HP_HASHVAL, value, &size) != win::ERROR_SUCCESS || size != 16)
    return {};
  std::u16string digest;
  char group[9];
  for (int i = 0; i < 16; i += 4) {
    std::snprintf(group, sizeof group, "%02x%02x%02x%02x", value[i], value[i + 1], value[i + 2],
                  value[i + 3]);
    for (const char* c = group; *c; ++c) digest.push_back(static_cast<char16_t>(*c));
  }
  return digest;
}

std::u16string LoadStoredDigest() {
  char16_t buffer[512] = {};
  std::uint32_t capacity = 512;
  if (!settings::CUsbPvnEnvment::GetRegString(settings::kPasswordValue.data(), buffer, &capacity))
    return std::u16string(kDefaultPasswordDigest);
  return std::u16string(buffer);
}

}  // namespace pvn::console
