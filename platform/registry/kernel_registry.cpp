#include "platform/registry/kernel_registry.h"

#include <cstring>

#include "platform/base/unicode.h"

namespace pvn::reg::kernel {

namespace {

constexpr std::u16string_view kMachineRoot = u"\\Registry\\Machine";

nt::NTSTATUS FromWin32(win::Error err) {
  switch (err) {
    case win::ERROR_SUCCESS:
      return nt::STATUS_SUCCESS;
    case win::ERROR_FILE_NOT_FOUND:
      return nt::STATUS_OBJECT_NAME_NOT_FOUND;
    case win::ERROR_ACCESS_DENIED:
      return nt::STATUS_ACCESS_DENIED;
    case win::ERROR_BAD_PATHNAME:
    case win::ERROR_INVALID_PARAMETER:
      return nt::STATUS_OBJECT_NAME_INVALID;
    case win::ERROR_KEY_DELETED:
      return nt::STATUS_KEY_DELETED;
    case win::ERROR_INVALID_HANDLE:
      return nt::STATUS_INVALID_HANDLE;
    default:
      return nt::STATUS_UNSUCCESSFUL;
  }
}

}  // namespace

nt::NTSTATUS OpenKey(std::u16string_view objectPath, std::uint32_t access, Key* out) {
  if (objectPath.size() < kMachineRoot.size() ||
      !EqualsNoCase(objectPath.substr(0, kMachineRoot.size()), kMachineRoot))
    return nt::STATUS_OBJECT_PATH_SYNTAX_BAD;
  std::u16string_view rest = objectPath.substr(kMachineRoot.size());
  if (!rest.empty()) {
    if (rest[0] != u'\\') return nt::STATUS_OBJECT_NAME_NOT_FOUND;
    rest.remove_prefix(1);
  }
  auto key = Key::Open(rest, access);
  if (!key) return FromWin32(key.error());
  *out = key.take();
  return nt::STATUS_SUCCESS;
}

nt::NTSTATUS QueryValuePartial(const Key& key, std::u16string_view valueName, void* buffer,
                               std::uint32_t length, std::uint32_t* resultLength) {
  if (!resultLength) return nt::STATUS_INVALID_PARAMETER;
  auto value = key.GetValue(valueName);
  if (!value) return FromWin32(value.error());
  auto dataLength = static_cast<std::uint32_t>(value->data.size());
  *resultLength = static_cast<std::uint32_t>(kPartialInformationHeader) + dataLength;
  if (length < kPartialInformationHeader || !buffer) return nt::STATUS_BUFFER_TOO_SMALL;
  KEY_VALUE_PARTIAL_INFORMATION header{0, value->type, dataLength, {0}};
  std::memcpy(buffer, &header, kPartialInformationHeader);
  if (length < *resultLength) return nt::STATUS_BUFFER_OVERFLOW;
  if (dataLength)
    std::memcpy(static_cast<std::uint8_t*>(buffer) + kPartialInformationHeader,
                value->data.data(), dataLength);
  return nt::STATUS_SUCCESS;
}

}  // namespace pvn::reg::kernel
