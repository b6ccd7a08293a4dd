// Device files: every catalog device reads, and a bad file names its fault.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/machine/pnp/device_description.h"
#include "platform/machine/testing/driver_harness.h"

namespace pvn::machine {
namespace {

TEST(DeviceDescriptionTest, EveryCatalogDeviceReads) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testing::CatalogFile(""))) {
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    auto desc = ParseDeviceDescription(text.str());
    ASSERT_TRUE(desc) << desc.error();
    ++files;
  }
  EXPECT_EQ(files, 11);
}

TEST(DeviceDescriptionTest, DefaultsAndAlternateSettings) {
  std::ifstream in(testing::CatalogFile("usb-long-hardware-ids.json"));
  std::stringstream text;
  text << in.rdbuf();
  auto uas = ParseDeviceDescription(text.str());
  ASSERT_TRUE(uas);
  EXPECT_EQ(uas->busInstanceId, "NA7H2RLB") << "the instance path's last component";
  ASSERT_EQ(uas->usb->interfaces.size(), 1u);
  EXPECT_EQ(uas->usb->interfaces[0].settings.size(), 2u);
  EXPECT_EQ(uas->usb->interfaces[0].selectedSetting, 1);
  EXPECT_EQ(uas->usb->interfaces[0].settings[1][7], 0x62) << "the UAS protocol";

  auto bare = ParseDeviceDescription(
      R"({"instance_id": "ROOT\\LEGACY\\0000", "class_guid": "{4D36E97D-E325-11CE-BFC1-08002BE10318}", "bus_instance_id": null})");
  ASSERT_TRUE(bare) << bare.error();
  EXPECT_FALSE(bare->busInstanceId);
  EXPECT_FALSE(bare->usb);
  EXPECT_TRUE(bare->hardwareIds.empty());
}

TEST(DeviceDescriptionTest, ErrorsNameTheFieldAtFault) {
  const std::string id =
      R"("instance_id": "USB\\VID_1\\1", "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}")";
  const std::string dev =
      R"("device_descriptor": "12 01 00 02 00 00 00 40 81 07 67 55 00 01 01 02 03 01")";
  struct Case {
    std::string json;
    std::string error;
  } cases[] = {
      {"{", "not valid JSON (line 1, column 1)"},
      {"{\n  \"instance_id\": \"A\\\\B\\\\C\",\n  oops}", "not valid JSON (line 3, column 3)"},
      {"[]", "device: must be an object"},
      {"[3333333333333e33333333]",
       "not valid JSON: [json.exception.out_of_range.406] number overflow parsing "
       "'3333333333333e33333333'"},
      {R"({"class_guid": "{36fc9e60-c465-11cf-8056-444553540000}"})", "instance_id: is missing"},
      {R"({"instance_id": "USB\\VID_1", "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}"})",
       "instance_id: must be ENUMERATOR\\DEVICE\\INSTANCE (three components)"},
      {R"({"instance_id": "USB\\\\X\\1", "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}"})",
       "instance_id: has an empty component"},
      {R"({"instance_id": "USB\\A B\\1", "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}"})",
       "instance_id: may hold only printable ASCII characters without blanks or commas"},
      {R"({"instance_id": "USB\\A\\1", "class_guid": "36fc9e60"})",
       "class_guid: must be a GUID in braces"},
      {"{" + id + R"(, "hardware_ids": "USB\\X"})", "hardware_ids: must be an array of strings"},
      {"{" + id + R"(, "hardware_ids": ["USB\\X", ""]})", "hardware_ids[1]: must not be empty"},
      {"{" + id + R"(, "hardware_ids": ["USB\\X\u0000Y"]})",
       "hardware_ids[0]: must not hold a NUL character"},
      {"{" + id + R"(, "bus_instance_id": 7})", "bus_instance_id: must be a string"},
      {"{" + id + R"(, "usb": {"device_descriptor": "12 01"}})",
       "usb.configuration_descriptor: is missing"},
      {"{" + id + R"(, "usb": {"device_descriptor": "12 0", "configuration_descriptor": ""}})",
       "usb.device_descriptor: must be hex bytes"},
      {"{" + id +
           R"(, "usb": {"device_descriptor": "1201", "configuration_descriptor": "09 02 09 00 00 01 00 80 32"}})",
       "usb.device_descriptor: must be 18 bytes, not 2"},
      {"{" + id + ", \"usb\": {" + dev +
           R"(, "configuration_descriptor": "09 02 20 00 01 01 00 80 32"}})",
       "usb.configuration_descriptor: wTotalLength is 32 but 9 bytes are given"},
      {"{" + id + ", \"usb\": {" + dev +
           R"(, "configuration_descriptor": "09 02 12 00 02 01 00 80 32 09 04 00 00 00 08 06 50 00"}})",
       "usb.configuration_descriptor: bNumInterfaces is 2 but 1 interface is described"},
      {"{" + id + ", \"usb\": {" + dev +
           R"(, "configuration_descriptor": "09 02 0B 00 00 01 00 80 32 00 04"}})",
       "usb.configuration_descriptor: the descriptor at offset 9 has a bad bLength 0"},
      {"{" + id + ", \"usb\": {" + dev +
           R"(, "configuration_descriptor": "09 02 12 00 01 01 00 80 32 09 04 00 00 00 08 06 50 00", "selected_settings": [1]}})",
       "usb.selected_settings: interface 0 has no alternate setting 1"},
      {"{" + id +
           R"(, "children": [{"instance_id": "USB\\VID_1\\1", "class_guid": "{36fc9e60-c465-11cf-8056-444553540000}"}]})",
       "children[0].instance_id: names a devnode already described in this file"},
      {"{" + id + R"(, "children": [{"instance_id": "USB\\C\\1"}]})",
       "children[0].class_guid: is missing"},
      {"{" + id + R"(, "service": "X", "serial": "1"})",
       "serial: is not a field of a device description"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto result = ParseDeviceDescription(c.json);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().substr(0, c.error.size()), c.error) << result.error();
  }
}

}  // namespace
}  // namespace pvn::machine
