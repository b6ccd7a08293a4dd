#include "tests/drivers/portgate/gate_machine.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>

#include "platform/registry/key.h"

namespace pvn::testing {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, "%02X ", b);
    text += byte;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

std::string UsbDeviceJson(std::string_view instanceId, std::string_view hardwareId,
                          const std::vector<std::uint8_t>& interfaceClasses,
                          std::string_view busInstanceId, std::string_view childInstanceId) {
  auto count = static_cast<std::uint8_t>(interfaceClasses.size());
  auto total = static_cast<std::uint16_t>(9 + 9 * count);
  std::vector<std::uint8_t> configuration = {9,
                                             2,
                                             static_cast<std::uint8_t>(total & 0xFF),
                                             static_cast<std::uint8_t>(total >> 8),
                                             count,
                                             1,
                                             0,
                                             0x80,
                                             50};
  for (std::uint8_t i = 0; i < count; ++i) {
    configuration.insert(configuration.end(), {9, 4, i, 0, 0, interfaceClasses[i], 0, 0, 0});
  }
  nlohmann::json device = {
      {"instance_id", instanceId},
      {"class_guid", kUsbClassGuid},
      {"hardware_ids", {hardwareId}},
      {"service", "USBSTOR"},
      {"usb",
       {{"device_descriptor", "12 01 00 02 00 00 00 40 AB 12 CD 34 00 01 01 02 03 01"},
        {"configuration_descriptor", Hex(configuration)}}},
  };
  if (busInstanceId == "null") {
    device["bus_instance_id"] = nullptr;
  } else if (!busInstanceId.empty()) {
    device["bus_instance_id"] = busInstanceId;
  }
  if (!childInstanceId.empty()) {
    device["children"] = {{{"instance_id", childInstanceId},
                           {"class_guid", "{4d36e967-e325-11ce-bfc1-08002be10318}"},
                           {"service", "disk"}}};
  }
  return device.dump();
}

std::string PlainDeviceJson(std::string_view instanceId, std::string_view classGuid,
                            std::string_view hardwareId) {
  nlohmann::json device = {{"instance_id", instanceId},
                           {"class_guid", classGuid},
                           {"hardware_ids", {hardwareId}},
                           {"service", "kbdclass"}};
  return device.dump();
}

void WriteLock(std::u16string_view service, std::u16string_view switchName, std::uint32_t value,
               std::u16string_view listName, const std::vector<std::u16string>* entries) {
  auto key = reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(service),
                              reg::KEY_ALL_ACCESS);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->SetDword(switchName, value), win::ERROR_SUCCESS);
  if (!entries) return;
  std::vector<char16_t> form(8192, 0);
  for (std::size_t i = 0; i < entries->size(); ++i) (*entries)[i].copy(&form[i * 256], 255);
  ASSERT_EQ(key->SetValue(listName, reg::REG_BINARY, form.data(), 16384), win::ERROR_SUCCESS);
}

}  // namespace pvn::testing
