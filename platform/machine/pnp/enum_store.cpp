#include "platform/machine/pnp/enum_store.h"

#include "platform/base/unicode.h"
#include "platform/machine/pnp/setup_classes.h"
#include "platform/registry/key.h"

namespace pvn::machine::enumstore {

namespace {

constexpr std::u16string_view kEnum = u"SYSTEM\\CurrentControlSet\\Enum";

std::u16string KeyPath(const std::string& instance) {
  return std::u16string(kEnum) + u"\\" + Utf8ToUtf16(instance);
}

std::vector<std::uint8_t> MultiSz(const std::vector<std::string>& items) {
  std::u16string joined;
  for (const auto& item : items) {
    joined += Utf8ToUtf16(item);
    joined.push_back(u'\0');
  }
  joined.push_back(u'\0');
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(joined.data());
  return {bytes, bytes + joined.size() * sizeof(char16_t)};
}

std::string ReadString(const reg::Key& key, std::u16string_view name) {
  auto value = key.GetValue(name);
  if (!value || (value->type != reg::REG_SZ && value->type != reg::REG_EXPAND_SZ)) return {};
  std::u16string text(value->data.size() / 2, u'\0');
  std::copy(value->data.begin(), value->data.begin() + text.size() * 2,
            reinterpret_cast<std::uint8_t*>(text.data()));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return Utf16ToUtf8(text);
}

}  // namespace

bool TreeExists() {
  return reg::Key::Open(kEnum, reg::KEY_READ).ok();
}

void Record(const DeviceDescription& device) {
  bool created = false;
  auto key = reg::Key::Create(KeyPath(device.instanceId), reg::KEY_ALL_ACCESS, &created);
  if (!key || !created) return;
  if (!device.hardwareIds.empty()) {
    auto data = MultiSz(device.hardwareIds);
    key->SetValue(u"HardwareID", reg::REG_MULTI_SZ, data.data(),
                  static_cast<std::uint32_t>(data.size()));
  }
  if (!device.compatibleIds.empty()) {
    auto data = MultiSz(device.compatibleIds);
    key->SetValue(u"CompatibleIDs", reg::REG_MULTI_SZ, data.data(),
                  static_cast<std::uint32_t>(data.size()));
  }
  key->SetString(u"ClassGUID", Utf8ToUtf16(device.classGuid));
  if (std::string name = ClassName(device.classGuid); !name.empty())
    key->SetString(u"Class", Utf8ToUtf16(name));
  if (device.service) key->SetString(u"Service", Utf8ToUtf16(*device.service));
  if (device.description) key->SetString(u"DeviceDesc", Utf8ToUtf16(*device.description));
  key->SetDword(u"ConfigFlags", 0);
}

void RecordConnection(const DeviceDescription& device, const std::string& text,
                      const std::string& parent, std::uint32_t sequence) {
  Record(device);
  auto key = reg::Key::Open(KeyPath(device.instanceId), reg::KEY_ALL_ACCESS);
  if (!key) return;
  key->SetString(u"MachineDescription", Utf8ToUtf16(text));
  key->SetString(u"MachineParent", Utf8ToUtf16(parent));
  key->SetDword(u"MachineSequence", sequence);
}

std::uint32_t ConfigFlags(const std::string& instance) {
  auto key = reg::Key::Open(KeyPath(instance), reg::KEY_READ);
  if (!key) return 0;
  std::uint32_t type = 0, value = 0, size = sizeof value;
  if (key->QueryValue(u"ConfigFlags", &type, &value, &size) != win::ERROR_SUCCESS ||
      type != reg::REG_DWORD)
    return 0;
  return value;
}

void SetConfigFlags(const std::string& instance, std::uint32_t flags) {
  if (auto key = reg::Key::Open(KeyPath(instance), reg::KEY_ALL_ACCESS))
    key->SetDword(u"ConfigFlags", flags);
}

void Forget(const std::string& instance) {
  std::u16string path = KeyPath(instance);
  reg::DeleteTree(path);
  // Drop the device and enumerator keys that no instance is left in.
  for (int level = 0; level < 2; ++level) {
    path.resize(path.rfind(u'\\'));
    auto key = reg::Key::Open(path, reg::KEY_READ);
    if (!key) return;
    auto names = key->SubKeyNames();
    auto values = key->Values();
    if (!names || !names->empty() || !values || !values->empty()) return;
    reg::DeleteKey(path);
  }
}

std::vector<StoredConnection> Connections() {
  std::vector<StoredConnection> out;
  auto root = reg::Key::Open(kEnum, reg::KEY_READ);
  if (!root) return out;
  auto enumerators = root->SubKeyNames();
  if (!enumerators) return out;
  for (const auto& enumerator : *enumerators) {
    auto enumKey = root->OpenSubKey(enumerator, reg::KEY_READ);
    if (!enumKey) continue;
    auto devices = enumKey->SubKeyNames();
    if (!devices) continue;
    for (const auto& device : *devices) {
      auto deviceKey = enumKey->OpenSubKey(device, reg::KEY_READ);
      if (!deviceKey) continue;
      auto instances = deviceKey->SubKeyNames();
      if (!instances) continue;
      for (const auto& instance : *instances) {
        auto key = deviceKey->OpenSubKey(instance, reg::KEY_READ);
        if (!key) continue;
        StoredConnection stored;
        stored.description = ReadString(*key, u"MachineDescription");
        if (stored.description.empty()) continue;
        stored.parent = ReadString(*key, u"MachineParent");
        std::uint32_t type = 0, size = sizeof stored.sequence;
        key->QueryValue(u"MachineSequence", &type, &stored.sequence, &size);
        out.push_back(std::move(stored));
      }
    }
  }
  return out;
}

}  // namespace pvn::machine::enumstore
