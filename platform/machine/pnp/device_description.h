#pragma once
// A device file: the JSON description of one device and the devnodes its
// function driver enumerates once it has started.
//
//   {
//     "instance_id": "USB\\VID_0781&PID_5567\\4C530001230817115075",
//     "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}",
//     "hardware_ids": ["USB\\VID_0781&PID_5567&REV_0100", "USB\\VID_0781&PID_5567"],
//     "compatible_ids": ["USB\\Class_08&SubClass_06&Prot_50", "USB\\Class_08"],
//     "service": "USBSTOR",
//     "description": "USB Mass Storage Device",
//     "bus_reported_description": "Cruzer Blade",
//     "bus_instance_id": "4C530001230817115075",        (null: the bus query fails)
//     "usb": {"device_descriptor": "12 01 ...", "configuration_descriptor": "09 02 ...",
//             "selected_settings": [0]},
//     "children": [ { ...a devnode... } ]
//   }
//
// Only instance_id and class_guid are required; a field not given is absent.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/machine/framework/usb_descriptors.h"

namespace pvn::machine {

struct DeviceDescription {
  std::string instanceId;  // device instance path, as written
  std::string classGuid;   // "{...}", as written
  std::vector<std::string> hardwareIds;
  std::vector<std::string> compatibleIds;
  std::optional<std::string> service;
  std::optional<std::string> description;
  std::optional<std::string> busReportedDescription;
  // What IRP_MN_QUERY_ID(BusQueryInstanceID) answers; nullopt: the query fails.
  std::optional<std::string> busInstanceId;
  std::optional<UsbDescriptors> usb;  // absent: not a USB device
  std::vector<DeviceDescription> children;
};

// Parses and checks a device file. The error names the field at fault, e.g.
// "children[0].usb.configuration_descriptor: wTotalLength is 32 but 25 bytes
// are given", or says where the JSON text is broken.
Result<DeviceDescription, std::string> ParseDeviceDescription(std::string_view json);

// Hex bytes: pairs of hex digits, blanks between bytes allowed.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);

// True when both name the same device instance path (compared without
// regard to case, as Windows compares them).
bool SameInstance(std::string_view a, std::string_view b);

}  // namespace pvn::machine
