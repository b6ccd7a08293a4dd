#pragma once
// HKEY_LOCAL_MACHINE, with the semantics of the Win32 registry calls that the
// programs make. Paths are relative to HKEY_LOCAL_MACHINE ("SOFTWARE\KVR"),
// names are matched without regard to case, and each call is one transaction.
//
//   auto key = reg::Key::Open(u"SOFTWARE\\KVR\\Usb Portvane", reg::KEY_READ);
//   if (!key) return key.error();            // ERROR_FILE_NOT_FOUND, ...
//   std::uint32_t type, size = sizeof buffer;
//   key->QueryValue(u"AppPath", &type, buffer, &size);
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/base/win32_error.h"
#include "platform/registry/registry_types.h"

namespace pvn::reg {

namespace detail {
class Database;
}

struct Value {
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;
};

class Key {
 public:
  Key() = default;  // not open
  Key(Key&&) noexcept = default;
  Key& operator=(Key&&) noexcept = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() = default;  // closing releases nothing but the handle

  // RegOpenKeyExW(HKEY_LOCAL_MACHINE, path). A key with the read-only mark
  // refuses write rights with ERROR_ACCESS_DENIED. An empty path is the root.
  static Result<Key, win::Error> Open(std::u16string_view path, std::uint32_t access);
  // RegCreateKeyExW: opens the key, creating it and missing parents.
  static Result<Key, win::Error> Create(std::u16string_view path, std::uint32_t access,
                                        bool* created = nullptr);
  Result<Key, win::Error> OpenSubKey(std::u16string_view path, std::uint32_t access) const;
  Result<Key, win::Error> CreateSubKey(std::u16string_view path, std::uint32_t access,
                                       bool* created = nullptr) const;

  bool valid() const { return db_ != nullptr; }
  std::uint32_t access() const { return access_; }
  // Path below HKEY_LOCAL_MACHINE, in the spelling the keys were created with.
  const std::u16string& path() const { return path_; }

  // RegQueryValueExW. `type`, `data` and `size` may each be null. Without
  // `data`, only the type and the stored size are returned. A buffer smaller
  // than the value gives ERROR_MORE_DATA with the needed size in `*size`. No
  // terminator is added to strings stored without one.
  win::Error QueryValue(std::u16string_view name, std::uint32_t* type, void* data,
                        std::uint32_t* size) const;
  Result<Value, win::Error> GetValue(std::u16string_view name) const;

  // RegSetValueExW: stores exactly `size` bytes with the given type.
  win::Error SetValue(std::u16string_view name, std::uint32_t type, const void* data,
                      std::uint32_t size);
  win::Error SetDword(std::u16string_view name, std::uint32_t value);
  // REG_SZ (or REG_EXPAND_SZ) with its terminating zero, as most programs write it.
  win::Error SetString(std::u16string_view name, std::u16string_view text,
                       std::uint32_t type = REG_SZ);
  win::Error DeleteValue(std::u16string_view name);

  // RegEnumKeyExW (sorted without regard to case) and RegEnumValueW
  // (creation order); ERROR_NO_MORE_ITEMS past the end.
  win::Error EnumKey(std::uint32_t index, std::u16string* name) const;
  win::Error EnumValue(std::uint32_t index, std::u16string* name, Value* value = nullptr) const;
  Result<std::vector<std::u16string>, win::Error> SubKeyNames() const;
  struct NamedValue {
    std::u16string name;
    Value value;
  };
  Result<std::vector<NamedValue>, win::Error> Values() const;

 private:
  std::shared_ptr<detail::Database> db_;
  std::int64_t id_ = 0;
  std::uint32_t access_ = 0;
  std::u16string path_;

  friend Result<Key, win::Error> OpenOrCreate(const Key* base, std::u16string_view path,
                                              std::uint32_t access, bool create, bool* created);
};

// RegDeleteKeyExW: the key must have no subkeys (ERROR_ACCESS_DENIED otherwise,
// as on Windows) and must not carry the read-only mark.
win::Error DeleteKey(std::u16string_view path);
// RegDeleteTreeW on the key, then the key itself.
win::Error DeleteTree(std::u16string_view path);

// The read-only mark, standing in for an ACL that denies writing: while it is
// set, opening the key with any write right gives ERROR_ACCESS_DENIED.
win::Error SetReadOnly(std::u16string_view path, bool readOnly);
Result<bool, win::Error> IsReadOnly(std::u16string_view path);

// Splits "A\B\C" into components; empty components are refused.
Result<std::vector<std::u16string>, win::Error> SplitKeyPath(std::u16string_view path);

}  // namespace pvn::reg
