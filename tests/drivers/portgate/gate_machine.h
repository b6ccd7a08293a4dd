#pragma once
// Helpers for driving a filter driver image through the machine's in-process
// harness: device files written inline, service-key settings, the log.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pvn::testing {

inline constexpr const char* kUsbClassGuid = "{36fc9e60-c465-11cf-8056-444553540000}";
inline constexpr const char* kKeyboardClassGuid = "{4d36e96b-e325-11ce-bfc1-08002be10318}";
inline constexpr const char* kMouseClassGuid = "{4d36e96f-e325-11ce-bfc1-08002be10318}";

// A USB device of the USB class whose one configuration has one interface
// per class code given; `busInstanceId` "null" makes the bus's instance-ID
// query fail, empty keeps the default (the instance path's last component).
// `childInstanceId`, when set, is a disk the device enumerates once started.
std::string UsbDeviceJson(std::string_view instanceId, std::string_view hardwareId,
                          const std::vector<std::uint8_t>& interfaceClasses,
                          std::string_view busInstanceId = {},
                          std::string_view childInstanceId = {});

// A non-USB devnode of the given class with one hardware ID.
std::string PlainDeviceJson(std::string_view instanceId, std::string_view classGuid,
                            std::string_view hardwareId);

// Writes a switch (REG_DWORD) and, unless `entries` is null, a list in the
// driver form (16,384 bytes) into a driver's service key, creating the key.
void WriteLock(std::u16string_view service, std::u16string_view switchName, std::uint32_t value,
               std::u16string_view listName, const std::vector<std::u16string>* entries);

}  // namespace pvn::testing
