#pragma once
// Writes a whitelist in the driver form, with its switch, into the service
// key of the driver that enforces it. Both whitelist pages call this in their
// apply step, after the settings store has stored the record form.
#include <cstdint>

#include "common/settings/whitelist.h"

namespace pvn::settings {

// Slot i receives the device identity of entry i widened byte by byte (the C
// library's conversion in the default locale); empty entries give zero slots.
DriverWhitelist BuildDriverWhitelist(const WhitelistTable& table);

// Kind 1: "Port Whitelist"/"Port Enable" and kind 3: "Stor Whitelist"/
// "Stor Enable" under PvnPortGate; kind 2: "KeybMous Whitelist"/
// "KeybMous Enable" under PvnHidGate. The list is REG_BINARY of 16,384 bytes,
// the switch REG_DWORD 1 when `switchValue` is 1, else 0. Any other kind
// writes nothing and succeeds. False only when the key cannot be opened.
bool WriteDriverWhitelist(const WhitelistTable& table, std::uint32_t switchValue,
                          std::uint32_t kind);

}  // namespace pvn::settings
