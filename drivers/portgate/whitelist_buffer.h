#pragma once
// The drivers' side of a whitelist: the service-key values in the driver form
// (32 entries of 256 UTF-16 code units) read into a list buffer that keeps two
// zero code units after the last entry, so every entry is followed by a
// terminator. Entries in use run from entry 0 to the first empty one, at most
// 32; they are upper-cased when loaded.
#include <cstddef>

#include "drivers/portgate/gate_kernel.h"

namespace pvn::gate {

inline constexpr ULONG kWhitelistEntries = 32;
inline constexpr ULONG kWhitelistEntryUnits = 256;

struct WHITELIST {
  WCHAR Entries[kWhitelistEntries][kWhitelistEntryUnits];
  WCHAR Terminator[2];
};
static_assert(sizeof(WHITELIST) == 16388);
static_assert(offsetof(WHITELIST, Entries[1]) == 512);
static_assert(offsetof(WHITELIST, Terminator) == 16384);

// A value query record big enough for a whole list buffer: the record's
// 16-byte size (header plus one data byte, padded) plus 16,388 bytes. A value
// with more data than that cannot be queried at all.
inline constexpr ULONG kValueQueryBytes = 16404;
static_assert(kValueQueryBytes == sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(WHITELIST));

inline constexpr ULONG kGatePoolTag = PoolTag("PvnG");

// The number of entries in use: entries 0 up to the first empty one, at most 32.
inline ULONG WhitelistEntriesInUse(const WHITELIST& list) {
  ULONG count = 0;
  while (count < kWhitelistEntries && list.Entries[count][0] != 0) ++count;
  return count;
}

// The list buffer `*list` zeroed, allocated from non-paged pool when there is
// none yet. False when no pool is left (the list stays absent).
bool PrepareWhitelist(WHITELIST** list);
// Releases the list buffer and marks it absent.
void ReleaseWhitelist(WHITELIST** list);

// Queries a switch value; true exactly when the query succeeds and its first
// four data bytes, read as an unsigned little-endian number, are 1. The type
// is not checked. `query` is a kValueQueryBytes buffer.
bool ReadSwitch(HANDLE key, const WCHAR* valueName, PVOID query);

// Queries a list value into the zeroed `list`: the value's data, at most the
// 16,388 bytes of the buffer, lands at its start. A missing value, a failed
// query or a value too large for the query buffer leaves the list empty.
// The entries in use are upper-cased.
void ReadWhitelist(HANDLE key, const WCHAR* valueName, PVOID query, WHITELIST* list);

// Opens a service key ("\Registry\MACHINE\...") for reading.
NTSTATUS OpenServiceKey(const WCHAR* keyPath, HANDLE* key);

}  // namespace pvn::gate
