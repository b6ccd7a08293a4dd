#pragma once
// The settings store: stateless operations on the application key
// HKLM\SOFTWARE\KVR\Usb Portvane, shared by the console and the agent.
//
// Every call opens the key it needs, does one read or write and closes it
// again, so what one program writes the other sees at its next read. No call
// creates a key. Failures print one line to standard output and return false;
// callers fall back to their defaults.
#include <cstddef>
#include <cstdint>

#include "common/settings/whitelist.h"

namespace pvn::settings {

class CUsbPvnEnvment {
 public:
  CUsbPvnEnvment() = delete;

  // Reads a string value into `buffer`, which holds `*capacity` UTF-16 units.
  // A stored size in bytes above `*capacity` is refused and reported back in
  // `*capacity`, so the value always fits in half the buffer and comes back
  // terminated. The stored type is not examined.
  static bool GetRegString(const char16_t* name, char16_t* buffer, std::uint32_t* capacity);
  // Reads at most 4 bytes into `*value`.
  static bool GetRegDWORD(const char16_t* name, std::uint32_t* value);
  // Copies the stored bytes to the start of `buffer`; bytes beyond the stored
  // size keep what the caller put there. Needs read and write access.
  static bool GetRegBinary(const char16_t* name, void* buffer, std::uint32_t capacity);

  // REG_SZ of 2 x length bytes, without the terminating zero.
  static bool SetRegString(const char16_t* name, const char16_t* text);
  static bool SetRegDWORD(const char16_t* name, std::uint32_t value);
  static bool SetRegBinary(const char16_t* name, const void* data, std::uint32_t length);

  // `AppPath` without its one trailing backslash, into `out` of `capacity`
  // units. Fails when the value is missing, empty or does not fit.
  static bool GetAppPath(char16_t* out, std::size_t capacity);

  // The lock switches: the application key first, then the driver's service
  // key. The second write happens even when the first failed.
  static void SetStorEnable(std::uint32_t value);
  static void SetKeybMousEnable(std::uint32_t value);

  // The record form (12,416 bytes) into the application key only.
  static void SetStorWhitelist(const WhitelistTable* table);
  static void SetKeybMousWhitelist(const WhitelistTable* table);
};

}  // namespace pvn::settings
