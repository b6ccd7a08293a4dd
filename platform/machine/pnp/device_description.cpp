#include "platform/machine/pnp/device_description.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <set>

namespace pvn::machine {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxDeviceIdLength = 200;  // a Windows device ID's limit
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxDevnodes = 512;

struct ParseError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw ParseError{path + ": " + what};
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsGuid(std::string_view text) {
  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// Characters a device ID may hold: printable ASCII without blanks, commas
// or (within one component) backslashes.
bool IsIdCharacter(char c) {
  return c > 0x20 && c < 0x7F && c != ',';
}

std::string String(const Json& node, const std::string& path) {
  if (!node.is_string()) Fail(path, "must be a string");
  return node.get<std::string>();
}

std::string NonEmptyText(const Json& node, const std::string& path) {
  std::string text = String(node, path);
  if (text.empty()) Fail(path, "must not be empty");
  if (text.find('\0') != std::string::npos) Fail(path, "must not hold a NUL character");
  return text;
}

std::vector<std::string> IdList(const Json& node, const std::string& path) {
  if (!node.is_array()) Fail(path, "must be an array of strings");
  std::vector<std::string> out;
  for (std::size_t i = 0; i < node.size(); ++i) {
    std::string item = path + "[" + std::to_string(i) + "]";
    std::string id = NonEmptyText(node[i], item);
    if (id.size() > kMaxDeviceIdLength)
      Fail(item, "is longer than " + std::to_string(kMaxDeviceIdLength) + " characters");
    out.push_back(std::move(id));
  }
  return out;
}

std::vector<std::uint8_t> Hex(const Json& node, const std::string& path) {
  auto bytes = ParseHexBytes(String(node, path));
  if (!bytes) Fail(path, "must be hex bytes (pairs of hex digits, blanks between bytes)");
  return *bytes;
}

UsbDescriptors Usb(const Json& node, const std::string& path) {
  if (!node.is_object()) Fail(path, "must be an object");
  for (const auto& [key, value] : node.items())
    if (key != "device_descriptor" && key != "configuration_descriptor" &&
        key != "selected_settings")
      Fail(path + "." + key, "is not a field of a USB description");
  if (!node.contains("device_descriptor")) Fail(path + ".device_descriptor", "is missing");
  if (!node.contains("configuration_descriptor"))
    Fail(path + ".configuration_descriptor", "is missing");
  auto device = Hex(node["device_descriptor"], path + ".device_descriptor");
  auto config = Hex(node["configuration_descriptor"], path + ".configuration_descriptor");
  std::vector<std::uint8_t> selected;
  if (node.contains("selected_settings")) {
    const Json& list = node["selected_settings"];
    std::string where = path + ".selected_settings";
    if (!list.is_array()) Fail(where, "must be an array of alternate-setting indexes");
    for (const auto& item : list) {
      if (!item.is_number_unsigned() || item.get<std::uint64_t>() > 255)
        Fail(where, "must hold numbers from 0 to 255");
      selected.push_back(static_cast<std::uint8_t>(item.get<std::uint64_t>()));
    }
  }
  std::string error, field;
  auto parsed = ParseUsbDescriptors(device, config, selected, &error, &field);
  if (!parsed) Fail(path + "." + field, error);
  return *parsed;
}

void CheckInstanceId(const std::string& id, const std::string& path) {
  if (id.size() > kMaxDeviceIdLength)
    Fail(path, "is longer than " + std::to_string(kMaxDeviceIdLength) + " characters");
  int components = 1;
  char previous = '\\';
  for (char c : id) {
    if (c == '\\') {
      if (previous == '\\') Fail(path, "has an empty component");
      ++components;
    } else if (!IsIdCharacter(c)) {
      Fail(path, "may hold only printable ASCII characters without blanks or commas");
    }
    previous = c;
  }
  if (previous == '\\') Fail(path, "has an empty component");
  if (components != 3) Fail(path, "must be ENUMERATOR\\DEVICE\\INSTANCE (three components)");
}

DeviceDescription Devnode(const Json& node, const std::string& path, int depth,
                          std::set<std::string>& seen) {
  const std::string prefix = path.empty() ? "" : path + ".";
  auto field = [&](const char* name) { return prefix + name; };
  if (!node.is_object()) Fail(path.empty() ? "device" : path, "must be an object");
  if (seen.size() >= kMaxDevnodes)
    Fail(path, "the file describes more than " + std::to_string(kMaxDevnodes) + " devnodes");
  static const std::set<std::string> kFields = {"instance_id",
                                                "class_guid",
                                                "hardware_ids",
                                                "compatible_ids",
                                                "service",
                                                "description",
                                                "bus_reported_description",
                                                "bus_instance_id",
                                                "usb",
                                                "children"};
  for (const auto& [key, value] : node.items())
    if (!kFields.count(key)) Fail(field(key.c_str()), "is not a field of a device description");

  DeviceDescription out;
  if (!node.contains("instance_id")) Fail(field("instance_id"), "is missing");
  out.instanceId = NonEmptyText(node["instance_id"], field("instance_id"));
  CheckInstanceId(out.instanceId, field("instance_id"));
  if (!seen.insert(Upper(out.instanceId)).second)
    Fail(field("instance_id"), "names a devnode already described in this file");

  if (!node.contains("class_guid")) Fail(field("class_guid"), "is missing");
  out.classGuid = String(node["class_guid"], field("class_guid"));
  if (!IsGuid(out.classGuid))
    Fail(field("class_guid"), "must be a GUID in braces, {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}");

  if (node.contains("hardware_ids"))
    out.hardwareIds = IdList(node["hardware_ids"], field("hardware_ids"));
  if (node.contains("compatible_ids"))
    out.compatibleIds = IdList(node["compatible_ids"], field("compatible_ids"));
  if (node.contains("service")) out.service = NonEmptyText(node["service"], field("service"));
  if (node.contains("description"))
    out.description = NonEmptyText(node["description"], field("description"));
  if (node.contains("bus_reported_description"))
    out.busReportedDescription =
        NonEmptyText(node["bus_reported_description"], field("bus_reported_description"));

  // The bus reports the instance path's last component unless told otherwise.
  out.busInstanceId = out.instanceId.substr(out.instanceId.rfind('\\') + 1);
  if (node.contains("bus_instance_id")) {
    const Json& value = node["bus_instance_id"];
    if (value.is_null()) {
      out.busInstanceId.reset();
    } else {
      out.busInstanceId = NonEmptyText(value, field("bus_instance_id"));
      if (out.busInstanceId->size() > kMaxDeviceIdLength)
        Fail(field("bus_instance_id"),
             "is longer than " + std::to_string(kMaxDeviceIdLength) + " characters");
    }
  }

  if (node.contains("usb")) out.usb = Usb(node["usb"], field("usb"));

  if (node.contains("children")) {
    const Json& children = node["children"];
    if (!children.is_array()) Fail(field("children"), "must be an array of device descriptions");
    if (depth >= kMaxDepth && !children.empty())
      Fail(field("children"), "nests deeper than " + std::to_string(kMaxDepth) + " levels");
    for (std::size_t i = 0; i < children.size(); ++i)
      out.children.push_back(
          Devnode(children[i], field("children") + "[" + std::to_string(i) + "]", depth + 1, seen));
  }
  return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> out;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ' || text[i] == '\t' || text[i] == '\n') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    i += 2;
  }
  return out;
}

bool SameInstance(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

Result<DeviceDescription, std::string> ParseDeviceDescription(std::string_view text) {
  using R = Result<DeviceDescription, std::string>;
  Json document;
  try {
    document = Json::parse(text);
  } catch (const Json::parse_error& error) {
    // Turn the byte offset into a line and column a person can find.
    std::size_t at = std::min<std::size_t>(error.byte, text.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i + 1 < at; ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    return R::Fail("not valid JSON (line " + std::to_string(line) + ", column " +
                   std::to_string(column) + ")");
  } catch (const Json::exception& error) {
    // A number too large for any type, for instance.
    return R::Fail(std::string("not valid JSON: ") + error.what());
  }
  try {
    std::set<std::string> seen;
    return R(Devnode(document, "", 0, seen));
  } catch (const ParseError& error) {
    return R::Fail(error.message);
  } catch (const Json::exception& error) {
    return R::Fail(std::string("device: ") + error.what());
  }
}

}  // namespace pvn::machine
