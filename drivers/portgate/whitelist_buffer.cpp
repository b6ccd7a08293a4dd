#include "drivers/portgate/whitelist_buffer.h"

#include <cstring>

#include "drivers/portgate/id_strings.h"

namespace pvn::gate {

namespace {

// Queries `valueName` into the zeroed query record; the record when the query
// succeeded, else null.
const KEY_VALUE_PARTIAL_INFORMATION* QueryValue(HANDLE key, const WCHAR* valueName, PVOID query) {
  std::memset(query, 0, kValueQueryBytes);
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, valueName);
  ULONG resultLength = 0;
  NTSTATUS status = ZwQueryValueKey(key, &name, KeyValuePartialInformation, query, kValueQueryBytes,
                                    &resultLength);
  if (!NT_SUCCESS(status)) return nullptr;
  return static_cast<const KEY_VALUE_PARTIAL_INFORMATION*>(query);
}

// Data bytes the query record can hold after its header.
constexpr ULONG kQueryDataBytes = kValueQueryBytes - offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);

}  // namespace

bool PrepareWhitelist(WHITELIST** list) {
  if (!*list) {
    *list = static_cast<WHITELIST*>(
        ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(WHITELIST), kGatePoolTag));
    if (!*list) return false;
  }
  std::memset(*list, 0, sizeof(WHITELIST));
  return true;
}

void ReleaseWhitelist(WHITELIST** list) {
  if (*list) ExFreePoolWithTag(*list, kGatePoolTag);
  *list = nullptr;
}

bool ReadSwitch(HANDLE key, const WCHAR* valueName, PVOID query) {
  const KEY_VALUE_PARTIAL_INFORMATION* value = QueryValue(key, valueName, query);
  if (!value) return false;
  // The record was zeroed, so a value shorter than four bytes reads as if
  // padded with zeros.
  const UCHAR* data = value->Data;
  ULONG number = static_cast<ULONG>(data[0]) | static_cast<ULONG>(data[1]) << 8 |
                 static_cast<ULONG>(data[2]) << 16 | static_cast<ULONG>(data[3]) << 24;
  return number == 1;
}

void ReadWhitelist(HANDLE key, const WCHAR* valueName, PVOID query, WHITELIST* list) {
  const KEY_VALUE_PARTIAL_INFORMATION* value = QueryValue(key, valueName, query);
  if (value) {
    ULONG length = value->DataLength;
    if (length > kQueryDataBytes) length = kQueryDataBytes;
    if (length > sizeof(WHITELIST)) length = sizeof(WHITELIST);
    std::memcpy(list, value->Data, length);
  }
  // Whatever the value held, the buffer ends in two zero code units.
  list->Terminator[0] = list->Terminator[1] = 0;
  ULONG inUse = WhitelistEntriesInUse(*list);
  for (ULONG i = 0; i < inUse; ++i) UpperCaseAscii(list->Entries[i]);
}

NTSTATUS OpenServiceKey(const WCHAR* keyPath, HANDLE* key) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, keyPath);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  return ZwOpenKey(key, KEY_READ, &attributes);
}

}  // namespace pvn::gate
