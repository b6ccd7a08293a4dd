#include "common/settings/whitelist.h"

#include <cstring>

namespace pvn::settings {

namespace {

void CopyField(char* field, std::size_t fieldSize, std::string_view text) {
  std::memset(field, 0, fieldSize);
  std::memcpy(field, text.data(), text.size() < fieldSize ? text.size() : fieldSize - 1);
}

std::string_view Field(const char* field, std::size_t fieldSize) {
  const void* end = std::memchr(field, 0, fieldSize);
  return {field, end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : fieldSize};
}

}  // namespace

std::size_t UsedEntries(const WhitelistTable& table) {
  std::size_t n = 0;
  while (n < kWhitelistEntries && table.entries[n].kind != 0) ++n;
  return n;
}

void SetEntry(WhitelistEntry& entry, SelectorKind kind, std::string_view name,
              std::string_view deviceId) {
  entry.kind = static_cast<std::uint32_t>(kind);
  CopyField(entry.name, sizeof entry.name, name);
  CopyField(entry.deviceId, sizeof entry.deviceId, deviceId);
}

std::string_view EntryName(const WhitelistEntry& entry) {
  return Field(entry.name, sizeof entry.name);
}

std::string_view EntryDeviceId(const WhitelistEntry& entry) {
  return Field(entry.deviceId, sizeof entry.deviceId);
}

}  // namespace pvn::settings
