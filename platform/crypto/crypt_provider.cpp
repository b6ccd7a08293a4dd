#include "platform/crypto/crypt_provider.h"

#include <openssl/evp.h>

#include <cstring>

namespace pvn::crypto {

struct Hash::State {
  EVP_MD_CTX* ctx = nullptr;
  bool finished = false;
  unsigned char value[16] = {};
  ~State() { EVP_MD_CTX_free(ctx); }
};

Result<Provider, win::Error> Provider::Acquire(const char16_t* container, const char16_t* provider,
                                               std::uint32_t type, std::uint32_t flags) {
  using R = Result<Provider, win::Error>;
  if (type != PROV_RSA_FULL) return R::Fail(NTE_PROV_TYPE_NOT_DEF);
  if (provider && std::u16string_view(provider) != kBaseProvider)
    return R::Fail(NTE_KEYSET_NOT_DEF);
  // Only ephemeral contexts exist: there is no key container store.
  if (container || flags != CRYPT_VERIFYCONTEXT) return R::Fail(NTE_BAD_FLAGS);
  return Provider();
}

Result<Hash, win::Error> Provider::CreateHash(std::uint32_t algorithm) const {
  using R = Result<Hash, win::Error>;
  if (algorithm != CALG_MD5) return R::Fail(NTE_BAD_ALGID);
  auto state = std::make_unique<Hash::State>();
  state->ctx = EVP_MD_CTX_new();
  if (!state->ctx || EVP_DigestInit_ex(state->ctx, EVP_md5(), nullptr) != 1)
    return R::Fail(win::ERROR_NOT_ENOUGH_MEMORY);
  return Hash(std::move(state));
}

Hash::Hash(std::unique_ptr<State> state) : state_(std::move(state)) {}
Hash::Hash(Hash&&) noexcept = default;
Hash& Hash::operator=(Hash&&) noexcept = default;
Hash::~Hash() = default;

win::Error Hash::HashData(const void* data, std::size_t length) {
  if (!state_ || state_->finished) return NTE_BAD_HASH_STATE;
  if (length > 0 && !data) return win::ERROR_INVALID_PARAMETER;
  if (length > 0 && EVP_DigestUpdate(state_->ctx, data, length) != 1) return NTE_BAD_HASH_STATE;
  return win::ERROR_SUCCESS;
}

win::Error Hash::GetHashParam(std::uint32_t param, std::uint8_t* data, std::uint32_t* length) {
  if (!state_ || !length) return win::ERROR_INVALID_PARAMETER;
  if (param == HP_HASHSIZE) {
    if (!data) {
      *length = 4;
      return win::ERROR_SUCCESS;
    }
    if (*length < 4) {
      *length = 4;
      return win::ERROR_MORE_DATA;
    }
    const std::uint32_t size = sizeof state_->value;
    std::memcpy(data, &size, 4);
    *length = 4;
    return win::ERROR_SUCCESS;
  }
  if (param != HP_HASHVAL) return win::ERROR_INVALID_PARAMETER;
  if (!data) {
    *length = sizeof state_->value;
    return win::ERROR_SUCCESS;
  }
  if (*length < sizeof state_->value) {
    *length = sizeof state_->value;
    return win::ERROR_MORE_DATA;
  }
  // Fetching the value closes the hash; later fetches return the same value.
  if (!state_->finished) {
    unsigned int n = 0;
    if (EVP_DigestFinal_ex(state_->ctx, state_->value, &n) != 1 || n != sizeof state_->value)
      return NTE_BAD_HASH_STATE;
    state_->finished = true;
  }
  std::memcpy(data, state_->value, sizeof state_->value);
  *length = sizeof state_->value;
  return win::ERROR_SUCCESS;
}

}  // namespace pvn::crypto
