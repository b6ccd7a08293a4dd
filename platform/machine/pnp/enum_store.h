#pragma once
// The registry's record of the hardware: SYSTEM\CurrentControlSet\Enum holds
// one key per devnode the machine has enumerated (instance path as key path)
// with the properties Windows keeps there (HardwareID, CompatibleIDs,
// ClassGUID, Class, Service, DeviceDesc, ConfigFlags). A device plugged in as
// such also carries the machine's own values MachineDescription (its device
// file), MachineParent (the hub it is plugged into, empty at the root) and
// MachineSequence (plug order), from which the next boot rebuilds the tree.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/machine/pnp/device_description.h"

namespace pvn::machine::enumstore {

inline constexpr std::uint32_t CONFIGFLAG_DISABLED = 0x1;

struct StoredConnection {
  std::string description;  // the device file text
  std::string parent;
  std::uint32_t sequence = 0;
};

bool TreeExists();
// Creates the devnode's key with its properties when it does not exist yet.
void Record(const DeviceDescription& device);
void RecordConnection(const DeviceDescription& device, const std::string& text,
                      const std::string& parent, std::uint32_t sequence);
std::uint32_t ConfigFlags(const std::string& instance);
void SetConfigFlags(const std::string& instance, std::uint32_t flags);
// Deletes the devnode's key, and its device and enumerator keys once empty.
void Forget(const std::string& instance);
std::vector<StoredConnection> Connections();

}  // namespace pvn::machine::enumstore
