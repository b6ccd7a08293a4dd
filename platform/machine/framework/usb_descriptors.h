#pragma once
// A USB device's descriptors as the bus reports them: the device descriptor
// and the whole configuration descriptor (configuration, interfaces with all
// their alternate settings, endpoints and class-specific descriptors), split
// into interfaces for the framework's interface objects.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pvn::machine {

struct UsbInterface {
  std::uint8_t number = 0;  // bInterfaceNumber
  // The 9-byte interface descriptor of each alternate setting, in the order
  // the configuration descriptor lists them.
  std::vector<std::vector<std::uint8_t>> settings;
  std::uint8_t selectedSetting = 0;  // index into `settings`
};

struct UsbDescriptors {
  std::vector<std::uint8_t> device;         // 18 bytes
  std::vector<std::uint8_t> configuration;  // wTotalLength bytes
  std::vector<UsbInterface> interfaces;     // in order of first appearance

  std::uint8_t DeviceClass() const { return device.size() > 4 ? device[4] : 0; }
  // A hub: device class 9 or any interface of class 9.
  bool IsHub() const;
};

// Checks the descriptors and splits the configuration into interfaces. The
// error names what is wrong ("bNumInterfaces is 2 but 1 interface is
// described"); `selected` gives the alternate setting chosen for each
// interface index (0 for those not listed).
std::optional<UsbDescriptors> ParseUsbDescriptors(const std::vector<std::uint8_t>& device,
                                                  const std::vector<std::uint8_t>& configuration,
                                                  const std::vector<std::uint8_t>& selected,
                                                  std::string* error, std::string* field);

}  // namespace pvn::machine
