#include "common/settings/usb_pvn_envment.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/settings/registry_layout.h"
#include "platform/base/unicode.h"
#include "platform/registry/key.h"

namespace pvn::settings {

namespace {

// Prints one diagnostic line; `format` holds one %s for `argument`.
void Report(const char* format, std::u16string_view argument) {
  std::string line(format);
  auto at = line.find("%s");
  if (at != std::string::npos) line.replace(at, 2, Utf16ToUtf8(argument));
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

Result<reg::Key, win::Error> OpenAppKey(std::uint32_t access) {
  return reg::Key::Open(kAppKeyPath, access);
}

void SetServiceSwitch(std::u16string_view serviceKeyPath, std::u16string_view valueName,
                      std::uint32_t value) {
  auto key = reg::Key::Open(serviceKeyPath, reg::KEY_WRITE);
  if (!key) {
    Report("CUsbPvnEnvment: SetRegDWORD %s failed. Can't open registry.\n", serviceKeyPath);
    return;
  }
  if (key->SetValue(valueName, reg::REG_DWORD, &value, sizeof value) != win::ERROR_SUCCESS)
    Report("CUsbPvnEnvment: SetRegDWORD %s failed. Can't write registry.\n", valueName);
}

}  // namespace

bool CUsbPvnEnvment::GetRegString(const char16_t* name, char16_t* buffer,
                                  std::uint32_t* capacity) {
  if (!name || !buffer || !capacity) return false;
  auto key = OpenAppKey(reg::KEY_READ);
  if (!key) {
    Report("CUsbPvnEnvment: GetRegString %s failed. Can't open registry.\n", kAppKeyPath);
    return false;
  }
  std::uint32_t stored = 0;
  if (key->QueryValue(name, nullptr, nullptr, &stored) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: GetRegString %s failed. Can't open registry value.\n", name);
    return false;
  }
  // Bytes are compared with the count of units: the value then takes at most
  // half of the buffer, which leaves room for the terminator.
  if (stored > *capacity) {
    Report("CUsbPvnEnvment: GetRegString %s Output buffer is not enough.\n", name);
    *capacity = stored;
    return false;
  }
  std::memset(buffer, 0, std::size_t{*capacity} * sizeof(char16_t));
  std::uint32_t size = *capacity * 2;
  if (key->QueryValue(name, nullptr, buffer, &size) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: GetRegString %s failed. Can't open registry.\n", name);
    return false;
  }
  return true;
}

bool CUsbPvnEnvment::GetRegDWORD(const char16_t* name, std::uint32_t* value) {
  if (!name || !value) return false;
  auto key = OpenAppKey(reg::KEY_READ);
  if (!key) {
    Report("CUsbPvnEnvment: GetRegDWORD %s failed. Can't open registry.\n", kAppKeyPath);
    return false;
  }
  std::uint8_t bytes[4] = {};
  std::uint32_t size = sizeof bytes;
  if (key->QueryValue(name, nullptr, bytes, &size) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: GetRegDWORD %s failed. Can't open registry.\n", name);
    return false;
  }
  *value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t{bytes[3]} << 24);
  return true;
}

bool CUsbPvnEnvment::GetRegBinary(const char16_t* name, void* buffer, std::uint32_t capacity) {
  if (!name || !buffer) return false;
  auto key = OpenAppKey(reg::KEY_READ | reg::KEY_WRITE);
  if (!key) {
    Report("CUsbPvnEnvment: GetRegBinary %s failed. Can't open registry.\n", kAppKeyPath);
    return false;
  }
  std::uint32_t stored = 0;
  if (key->QueryValue(name, nullptr, nullptr, &stored) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: GetRegBinary %s failed. Can't open registry.\n", name);
    return false;
  }
  if (capacity < stored) {
    Report("CUsbPvnEnvment: GetRegBinary %s Output buffer is not enough.\n", name);
    return false;
  }
  std::vector<std::uint8_t> scratch(std::size_t{stored} + 4, 0);
  std::uint32_t size = static_cast<std::uint32_t>(scratch.size());
  if (key->QueryValue(name, nullptr, scratch.data(), &size) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: GetRegBinary %s failed. Can't open registry.\n", name);
    return false;
  }
  // The value may have changed between the two queries; never copy more than
  // the caller's capacity.
  if (size > capacity) {
    Report("CUsbPvnEnvment: GetRegBinary %s Output buffer is not enough.\n", name);
    return false;
  }
  std::memcpy(buffer, scratch.data(), size);
  return true;
}

bool CUsbPvnEnvment::SetRegString(const char16_t* name, const char16_t* text) {
  if (!name || !text) return false;
  auto key = OpenAppKey(reg::KEY_READ | reg::KEY_WRITE);
  if (!key) {
    Report("CUsbPvnEnvment: SetRegString %s failed. Can't open registry.\n", kAppKeyPath);
    return false;
  }
  auto bytes = static_cast<std::uint32_t>(WideLength(text) * sizeof(char16_t));
  if (key->SetValue(name, reg::REG_SZ, text, bytes) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: SetRegString %s failed. Can't write registry.\n", name);
    return false;
  }
  return true;
}

bool CUsbPvnEnvment::SetRegDWORD(const char16_t* name, std::uint32_t value) {
  if (!name) return false;
  auto key = OpenAppKey(reg::KEY_WRITE);
  if (!key) {
    Report("CUsbPvnEnvment: SetRegDWORD %s failed. Can't open registry.\n", kAppKeyPath);
    return false;
  }
  if (key->SetValue(name, reg::REG_DWORD, &value, sizeof value) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: SetRegDWORD %s failed. Can't write registry.\n", name);
    return false;
  }
  return true;
}

bool CUsbPvnEnvment::SetRegBinary(const char16_t* name, const void* data, std::uint32_t length) {
  if (!name || !data) return false;
  auto key = OpenAppKey(reg::KEY_READ | reg::KEY_WRITE);
  if (!key) {
    Report("CUsbPvnEnvment: SetRegBinary %s failed. Can't open registry.\n", kAppKeyPath);
    return false;
  }
  if (key->SetValue(name, reg::REG_BINARY, data, length) != win::ERROR_SUCCESS) {
    Report("CUsbPvnEnvment: SetRegBinary %s failed. Can't write registry.\n", name);
    return false;
  }
  return true;
}

bool CUsbPvnEnvment::GetAppPath(char16_t* out, std::size_t capacity) {
  if (!out || capacity == 0) return false;
  char16_t path[512];
  std::uint32_t units = 512;
  if (!GetRegString(kAppPathValue.data(), path, &units)) return false;
  std::size_t length = WideLength(path, 512);
  if (length == 0) return false;
  if (path[length - 1] == u'\\') path[--length] = 0;  // one backslash only
  if (length + 1 > capacity) return false;
  std::memcpy(out, path, (length + 1) * sizeof(char16_t));
  return true;
}

void CUsbPvnEnvment::SetStorEnable(std::uint32_t value) {
  SetRegDWORD(kStorEnableValue.data(), value);
  SetServiceSwitch(kPortGateKeyPath, kStorEnableValue, value);
}

void CUsbPvnEnvment::SetKeybMousEnable(std::uint32_t value) {
  SetRegDWORD(kKeybMousEnableValue.data(), value);
  SetServiceSwitch(kHidGateKeyPath, kKeybMousEnableValue, value);
}

void CUsbPvnEnvment::SetStorWhitelist(const WhitelistTable* table) {
  SetRegBinary(kStorWhitelistValue.data(), table, sizeof(WhitelistTable));
}

void CUsbPvnEnvment::SetKeybMousWhitelist(const WhitelistTable* table) {
  SetRegBinary(kKeybMousWhitelistValue.data(), table, sizeof(WhitelistTable));
}

}  // namespace pvn::settings
