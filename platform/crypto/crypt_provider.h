#pragma once
// The legacy cryptographic API's hashing calls (CryptAcquireContextW,
// CryptCreateHash, CryptHashData, CryptGetHashParam), with MD5 as the one
// algorithm. Contexts and hash objects are released by their destructors, as
// CryptReleaseContext and CryptDestroyHash would.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/base/result.h"
#include "platform/base/win32_error.h"

namespace pvn::crypto {

inline constexpr std::uint32_t PROV_RSA_FULL = 1;
inline constexpr std::uint32_t CRYPT_VERIFYCONTEXT = 0xF0000000;
inline constexpr std::uint32_t CALG_MD5 = 0x00008003;
inline constexpr std::uint32_t HP_HASHVAL = 0x0002;
inline constexpr std::uint32_t HP_HASHSIZE = 0x0004;

inline constexpr std::u16string_view kBaseProvider = u"Microsoft Base Cryptographic Provider v1.0";

// NTE_* results as Win32 error values.
inline constexpr win::Error NTE_BAD_ALGID = 0x80090008;
inline constexpr win::Error NTE_BAD_FLAGS = 0x80090009;
inline constexpr win::Error NTE_BAD_TYPE = 0x8009000A;
inline constexpr win::Error NTE_BAD_HASH_STATE = 0x8009000C;
inline constexpr win::Error NTE_KEYSET_NOT_DEF = 0x80090019;
inline constexpr win::Error NTE_PROV_TYPE_NOT_DEF = 0x80090017;

class Hash;

class Provider {
 public:
  // CryptAcquireContextW without a key container: only the base provider
  // (or a null name, meaning the type's default) with PROV_RSA_FULL and
  // CRYPT_VERIFYCONTEXT is offered.
  static Result<Provider, win::Error> Acquire(const char16_t* container, const char16_t* provider,
                                              std::uint32_t type, std::uint32_t flags);
  // CryptCreateHash without a key.
  Result<Hash, win::Error> CreateHash(std::uint32_t algorithm) const;

 private:
  Provider() = default;
};

class Hash {
 public:
  Hash(Hash&&) noexcept;
  Hash& operator=(Hash&&) noexcept;
  ~Hash();

  // CryptHashData. After the value was fetched, further data is refused.
  win::Error HashData(const void* data, std::size_t length);
  // CryptGetHashParam for HP_HASHVAL (16 bytes) and HP_HASHSIZE (a 32-bit
  // count). A buffer that is too small gives ERROR_MORE_DATA and the size
  // needed; a null buffer only reports the size.
  win::Error GetHashParam(std::uint32_t param, std::uint8_t* data, std::uint32_t* length);

 private:
  friend class Provider;
  struct State;
  explicit Hash(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace pvn::crypto
