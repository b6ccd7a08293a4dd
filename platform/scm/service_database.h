#pragma once
// The service database: one key per service below
// HKLM\SYSTEM\CurrentControlSet\Services, with the values Type, Start,
// ErrorControl, ImagePath and DisplayName.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/win32_error.h"
#include "platform/scm/service_types.h"

namespace pvn::scm {

inline constexpr std::u16string_view kServicesKeyPath = u"SYSTEM\\CurrentControlSet\\Services";

struct ServiceRecord {
  std::u16string name;  // the key's name as created
  std::uint32_t type = 0;
  std::uint32_t start = 0;
  std::uint32_t errorControl = 0;
  std::u16string imagePath;
  std::u16string displayName;
};

// ERROR_SERVICE_DOES_NOT_EXIST when there is no key or it has no Type.
win::Error ReadServiceRecord(std::u16string_view name, ServiceRecord* record);
// ERROR_SERVICE_EXISTS, ERROR_DUPLICATE_SERVICE_NAME (display name taken),
// ERROR_INVALID_NAME or ERROR_INVALID_PARAMETER for values out of range.
win::Error CreateServiceRecord(const ServiceRecord& record);
// Fields given as nullopt stay as they are.
win::Error ChangeServiceRecord(std::u16string_view name, std::optional<std::uint32_t> type,
                               std::optional<std::uint32_t> start,
                               std::optional<std::uint32_t> errorControl,
                               const std::u16string* imagePath, const std::u16string* displayName);
win::Error DeleteServiceRecord(std::u16string_view name);
std::vector<std::u16string> ListServices();

// Whether a type/start/error-control combination is one the manager accepts.
bool ValidServiceType(std::uint32_t type);
bool ValidStartType(std::uint32_t type, std::uint32_t start);
bool ValidErrorControl(std::uint32_t errorControl);

// The program an image path names and its arguments: a host path (starting
// with '/') or a Windows path, quoted or not, with %SystemRoot% expanded.
struct ImageCommand {
  std::string program;  // host path
  std::vector<std::string> arguments;
};
std::optional<ImageCommand> ResolveImagePath(std::u16string_view imagePath);

}  // namespace pvn::scm
