#pragma once
// Value types and access rights of the registry, with their Windows values.
#include <cstdint>

namespace pvn::reg {

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr std::uint32_t REG_LINK = 6;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t REG_RESOURCE_LIST = 8;
inline constexpr std::uint32_t REG_QWORD = 11;

inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr std::uint32_t KEY_NOTIFY = 0x0010;
inline constexpr std::uint32_t KEY_CREATE_LINK = 0x0020;
inline constexpr std::uint32_t KEY_WOW64_64KEY = 0x0100;
inline constexpr std::uint32_t KEY_WOW64_32KEY = 0x0200;
inline constexpr std::uint32_t KEY_DELETE = 0x00010000;  // DELETE
inline constexpr std::uint32_t READ_CONTROL = 0x00020000;
inline constexpr std::uint32_t WRITE_DAC = 0x00040000;
inline constexpr std::uint32_t WRITE_OWNER = 0x00080000;
inline constexpr std::uint32_t MAXIMUM_ALLOWED = 0x02000000;
inline constexpr std::uint32_t GENERIC_ALL = 0x10000000;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr std::uint32_t GENERIC_READ = 0x80000000;

inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_WRITE = 0x20006;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// Rights that a read-only key refuses.
inline constexpr std::uint32_t kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | KEY_DELETE | WRITE_DAC | WRITE_OWNER;

// Longest key name component and value name that the registry accepts.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

}  // namespace pvn::reg
