#pragma once
// The two forms of a whitelist.
//
// Record form: what the console keeps, the application key stores and the
// configuration file carries. 32 entries of kind, ANSI name and ANSI device
// identity; the first entry of kind 0 ends the table.
//
// Driver form: what the drivers read from their service keys. 32 slots of 256
// UTF-16 code units holding the device identities only.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pvn::settings {

// The list a whitelist entry belongs to, and the kind the selector lists.
enum class SelectorKind : std::uint32_t {
  Port = 1,      // USB hubs
  KeybMous = 2,  // keyboards and mice
  Storage = 3,   // USB mass storage
};

inline constexpr std::size_t kWhitelistEntries = 32;
inline constexpr std::size_t kEntryNameBytes = 128;
inline constexpr std::size_t kEntryDeviceIdBytes = 256;
inline constexpr std::size_t kDriverSlotUnits = 256;

struct WhitelistEntry {
  std::uint32_t kind;                  // SelectorKind, or 0 for an empty entry
  char name[kEntryNameBytes];          // display name, ANSI, NUL-terminated
  char deviceId[kEntryDeviceIdBytes];  // hardware ID or instance ID, ANSI, NUL-terminated
};
static_assert(sizeof(WhitelistEntry) == 388);
static_assert(offsetof(WhitelistEntry, kind) == 0);
static_assert(offsetof(WhitelistEntry, name) == 4);
static_assert(offsetof(WhitelistEntry, deviceId) == 132);

struct WhitelistTable {
  WhitelistEntry entries[kWhitelistEntries];
};
static_assert(sizeof(WhitelistTable) == 12416);

struct DriverWhitelist {
  char16_t slots[kWhitelistEntries][kDriverSlotUnits];
};
static_assert(sizeof(DriverWhitelist) == 16384);
static_assert(offsetof(DriverWhitelist, slots[1]) == 512);

// Entries in use: from entry 0 up to the first of kind 0, at most 32.
std::size_t UsedEntries(const WhitelistTable& table);

// Fills an entry, cutting the texts to their fields (127 and 255 bytes) and
// zero-padding the rest.
void SetEntry(WhitelistEntry& entry, SelectorKind kind, std::string_view name,
              std::string_view deviceId);

// The texts of an entry, never reading past their fields even when a stored
// entry lacks its terminator.
std::string_view EntryName(const WhitelistEntry& entry);
std::string_view EntryDeviceId(const WhitelistEntry& entry);

}  // namespace pvn::settings
