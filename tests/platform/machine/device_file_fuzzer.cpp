// Device files come from users: the parser must turn anything into a
// description or an error, and a description into a consistent one.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/machine/pnp/device_description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto desc = pvn::machine::ParseDeviceDescription(text);
  if (desc && desc->usb) {
    // What the framework relies on: the interface count agrees with the
    // configuration, and every selected setting exists.
    const auto& usb = *desc->usb;
    if (usb.configuration.size() < 9 || usb.configuration[4] != usb.interfaces.size())
      __builtin_trap();
    for (const auto& itf : usb.interfaces)
      if (itf.selectedSetting >= itf.settings.size() || itf.settings[0].size() != 9)
        __builtin_trap();
  }
  return 0;
}
