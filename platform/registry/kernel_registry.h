#pragma once
// The kernel-side face of the registry, as drivers see it: keys named by
// object path ("\Registry\MACHINE\SYSTEM\...") and values queried into the
// caller's buffer as a partial-information record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/base/ntstatus.h"
#include "platform/registry/key.h"

namespace pvn::reg::kernel {

// The record that a partial-information query fills: three 32-bit fields,
// then the value's bytes. The driver sizes its buffer as the record's size
// (16, with one data byte and padding) plus the data it expects.
struct KEY_VALUE_PARTIAL_INFORMATION {
  std::uint32_t TitleIndex;
  std::uint32_t Type;
  std::uint32_t DataLength;
  std::uint8_t Data[1];
};
static_assert(sizeof(KEY_VALUE_PARTIAL_INFORMATION) == 16);
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Type) == 4);
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, DataLength) == 8);
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12);

inline constexpr std::size_t kPartialInformationHeader = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);

// ZwOpenKey. Only "\Registry\Machine\..." (any case) names keys; anything else
// gives STATUS_OBJECT_PATH_SYNTAX_BAD, a missing key STATUS_OBJECT_NAME_NOT_FOUND
// and a refused write right STATUS_ACCESS_DENIED.
nt::NTSTATUS OpenKey(std::u16string_view objectPath, std::uint32_t access, Key* out);

// ZwQueryValueKey(KeyValuePartialInformation). `*resultLength` receives the
// size the whole record needs. A buffer shorter than the header gives
// STATUS_BUFFER_TOO_SMALL; one that holds the header but not the data gives
// STATUS_BUFFER_OVERFLOW with only the header filled. A missing value gives
// STATUS_OBJECT_NAME_NOT_FOUND.
nt::NTSTATUS QueryValuePartial(const Key& key, std::u16string_view valueName, void* buffer,
                               std::uint32_t length, std::uint32_t* resultLength);

}  // namespace pvn::reg::kernel
