#include "platform/machine/framework/usb_descriptors.h"

#include <algorithm>

namespace pvn::machine {

namespace {

constexpr std::uint8_t kDeviceDescriptorType = 1;
constexpr std::uint8_t kConfigurationDescriptorType = 2;
constexpr std::uint8_t kInterfaceDescriptorType = 4;
constexpr std::uint8_t kHubClass = 9;

std::nullopt_t Fail(std::string* error, std::string* field, const char* where, std::string what) {
  *error = std::move(what);
  *field = where;
  return std::nullopt;
}

}  // namespace

bool UsbDescriptors::IsHub() const {
  if (DeviceClass() == kHubClass) return true;
  for (const auto& itf : interfaces)
    for (const auto& setting : itf.settings)
      if (setting.size() > 5 && setting[5] == kHubClass) return true;
  return false;
}

std::optional<UsbDescriptors> ParseUsbDescriptors(const std::vector<std::uint8_t>& device,
                                                  const std::vector<std::uint8_t>& configuration,
                                                  const std::vector<std::uint8_t>& selected,
                                                  std::string* error, std::string* field) {
  const char* kDevice = "device_descriptor";
  const char* kConfig = "configuration_descriptor";
  if (device.size() != 18)
    return Fail(error, field, kDevice, "must be 18 bytes, not " + std::to_string(device.size()));
  if (device[0] != 18 || device[1] != kDeviceDescriptorType)
    return Fail(error, field, kDevice, "must begin with bLength 18 and bDescriptorType 1");
  if (configuration.size() < 9 || configuration[0] != 9 ||
      configuration[1] != kConfigurationDescriptorType)
    return Fail(error, field, kConfig,
                "must begin with a 9-byte configuration descriptor (bLength 9, bDescriptorType 2)");
  std::size_t total = configuration[2] | configuration[3] << 8;
  if (total != configuration.size())
    return Fail(error, field, kConfig,
                "wTotalLength is " + std::to_string(total) + " but " +
                    std::to_string(configuration.size()) + " bytes are given");

  UsbDescriptors out;
  out.device = device;
  out.configuration = configuration;
  for (std::size_t at = 9; at < configuration.size();) {
    std::size_t length = configuration[at];
    if (length < 2 || at + length > configuration.size())
      return Fail(error, field, kConfig,
                  "the descriptor at offset " + std::to_string(at) + " has a bad bLength " +
                      std::to_string(length));
    if (configuration[at + 1] == kInterfaceDescriptorType) {
      if (length < 9)
        return Fail(error, field, kConfig,
                    "the interface descriptor at offset " + std::to_string(at) +
                        " is shorter than 9 bytes");
      std::vector<std::uint8_t> setting(configuration.begin() + at, configuration.begin() + at + 9);
      std::uint8_t number = setting[2];
      auto it = std::find_if(out.interfaces.begin(), out.interfaces.end(),
                             [&](const UsbInterface& i) { return i.number == number; });
      if (it == out.interfaces.end()) {
        out.interfaces.push_back(UsbInterface{number, {}, 0});
        it = out.interfaces.end() - 1;
      }
      it->settings.push_back(std::move(setting));
    }
    at += length;
  }
  std::size_t declared = configuration[4];
  if (declared != out.interfaces.size())
    return Fail(error, field, kConfig,
                "bNumInterfaces is " + std::to_string(declared) + " but " +
                    std::to_string(out.interfaces.size()) + " interface" +
                    (out.interfaces.size() == 1 ? " is" : "s are") + " described");
  if (selected.size() > out.interfaces.size())
    return Fail(error, field, "selected_settings",
                "lists " + std::to_string(selected.size()) +
                    " interfaces but the configuration has " +
                    std::to_string(out.interfaces.size()));
  for (std::size_t i = 0; i < selected.size(); ++i) {
    if (selected[i] >= out.interfaces[i].settings.size())
      return Fail(error, field, "selected_settings",
                  "interface " + std::to_string(i) + " has no alternate setting " +
                      std::to_string(selected[i]));
    out.interfaces[i].selectedSetting = selected[i];
  }
  return out;
}

}  // namespace pvn::machine
