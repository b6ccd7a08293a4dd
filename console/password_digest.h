#pragma once
// The administrator password is kept only as a digest: MD5 over the first N
// bytes of the password's UTF-16LE form, N being its length in characters,
// printed as 32 lowercase hexadecimal digits. Stored digests and the built-in
// default were made this way, so the byte count is part of the format.
#include <string>
#include <string_view>

namespace pvn::console {

// In force while no `Password` value can be read; never written.
inline constexpr std::u16string_view kDefaultPasswordDigest = u"3b9f0e71c2d84a6658e1f0b3a97c2d40";

// The digest of `text`, or an empty string when hashing fails.
std::u16string MakePasswordDigest(std::u16string_view text);

// The stored `Password` value, or the default digest when it cannot be read.
std::u16string LoadStoredDigest();

}  // namespace pvn::console
