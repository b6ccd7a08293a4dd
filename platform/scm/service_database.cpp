#include "platform/scm/service_database.h"

#include <filesystem>

#include "platform/base/unicode.h"
#include "platform/fs/windows_path.h"
#include "platform/registry/key.h"

namespace pvn::scm {

namespace {

constexpr std::uint32_t kKernelDriver = 0x1, kFileSystemDriver = 0x2, kOwnProcess = 0x10,
                        kShareProcess = 0x20, kInteractive = 0x100;

std::u16string KeyPath(std::u16string_view name) {
  return std::u16string(kServicesKeyPath) + u"\\" + std::u16string(name);
}

bool ValidName(std::u16string_view name) {
  if (name.empty() || name.size() > 256) return false;
  return name.find_first_of(u"/\\") == std::u16string_view::npos;
}

std::u16string ReadString(const reg::Key& key, std::u16string_view value) {
  auto read = key.GetValue(value);
  if (!read || read->data.size() < 2) return {};
  std::u16string text(read->data.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(read->data[2 * i] | (read->data[2 * i + 1] << 8));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::optional<std::uint32_t> ReadDword(const reg::Key& key, std::u16string_view value) {
  auto read = key.GetValue(value);
  if (!read || read->data.size() != 4) return std::nullopt;
  return static_cast<std::uint32_t>(read->data[0] | (read->data[1] << 8) | (read->data[2] << 16) |
                                    (static_cast<std::uint32_t>(read->data[3]) << 24));
}

bool DisplayNameTaken(std::u16string_view displayName, std::u16string_view except) {
  for (const auto& other : ListServices()) {
    if (EqualsNoCase(other, except)) continue;
    ServiceRecord record;
    if (ReadServiceRecord(other, &record) != win::ERROR_SUCCESS) continue;
    if (EqualsNoCase(record.displayName, displayName) || EqualsNoCase(other, displayName))
      return true;
  }
  return false;
}

// Splits a command line at blanks outside double quotes.
std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> parts;
  std::string current;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) parts.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) parts.push_back(current);
  return parts;
}

std::optional<std::string> HostProgram(const std::string& path) {
  if (path.empty()) return std::nullopt;
  if (path[0] == '/') return path;
  auto host = fs::ToHostPath(Utf8ToUtf16(path));
  if (!host) return std::nullopt;
  return host->string();
}

}  // namespace

bool ValidServiceType(std::uint32_t type) {
  std::uint32_t base = type & ~kInteractive;
  if (base == kKernelDriver || base == kFileSystemDriver) return (type & kInteractive) == 0;
  return base == kOwnProcess || base == kShareProcess;
}

bool ValidStartType(std::uint32_t type, std::uint32_t start) {
  if (start > 4) return false;
  // Boot and system start belong to drivers.
  bool driver = (type & (kKernelDriver | kFileSystemDriver)) != 0;
  return driver || start >= 2;
}

bool ValidErrorControl(std::uint32_t errorControl) {
  return errorControl <= 3;
}

win::Error ReadServiceRecord(std::u16string_view name, ServiceRecord* record) {
  if (!ValidName(name)) return win::ERROR_SERVICE_DOES_NOT_EXIST;
  auto key = reg::Key::Open(KeyPath(name), reg::KEY_READ);
  if (!key) return win::ERROR_SERVICE_DOES_NOT_EXIST;
  auto type = ReadDword(*key, u"Type");
  if (!type) return win::ERROR_SERVICE_DOES_NOT_EXIST;
  record->type = *type;
  record->start = ReadDword(*key, u"Start").value_or(3);
  record->errorControl = ReadDword(*key, u"ErrorControl").value_or(1);
  record->imagePath = ReadString(*key, u"ImagePath");
  record->displayName = ReadString(*key, u"DisplayName");
  // The key's own spelling of the name.
  const std::u16string& path = key->path();
  std::size_t slash = path.rfind(u'\\');
  record->name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  return win::ERROR_SUCCESS;
}

win::Error CreateServiceRecord(const ServiceRecord& record) {
  if (!ValidName(record.name)) return win::ERROR_INVALID_NAME;
  if (!ValidServiceType(record.type) || !ValidStartType(record.type, record.start) ||
      !ValidErrorControl(record.errorControl) || record.imagePath.empty())
    return win::ERROR_INVALID_PARAMETER;
  ServiceRecord existing;
  if (ReadServiceRecord(record.name, &existing) == win::ERROR_SUCCESS)
    return win::ERROR_SERVICE_EXISTS;
  std::u16string displayName = record.displayName.empty() ? record.name : record.displayName;
  if (DisplayNameTaken(displayName, record.name)) return win::ERROR_DUPLICATE_SERVICE_NAME;
  auto key = reg::Key::Create(KeyPath(record.name), reg::KEY_ALL_ACCESS);
  if (!key) return key.error();
  key->SetDword(u"Type", record.type);
  key->SetDword(u"Start", record.start);
  key->SetDword(u"ErrorControl", record.errorControl);
  key->SetString(u"ImagePath", record.imagePath, reg::REG_EXPAND_SZ);
  key->SetString(u"DisplayName", displayName);
  if (record.type & (kOwnProcess | kShareProcess)) key->SetString(u"ObjectName", u"LocalSystem");
  return win::ERROR_SUCCESS;
}

win::Error ChangeServiceRecord(std::u16string_view name, std::optional<std::uint32_t> type,
                               std::optional<std::uint32_t> start,
                               std::optional<std::uint32_t> errorControl,
                               const std::u16string* imagePath, const std::u16string* displayName) {
  ServiceRecord record;
  if (win::Error error = ReadServiceRecord(name, &record)) return error;
  std::uint32_t newType = type.value_or(record.type);
  std::uint32_t newStart = start.value_or(record.start);
  if (!ValidServiceType(newType) || !ValidStartType(newType, newStart) ||
      !ValidErrorControl(errorControl.value_or(record.errorControl)))
    return win::ERROR_INVALID_PARAMETER;
  if (imagePath && imagePath->empty()) return win::ERROR_INVALID_PARAMETER;
  if (displayName && !displayName->empty() && DisplayNameTaken(*displayName, record.name))
    return win::ERROR_DUPLICATE_SERVICE_NAME;
  auto key = reg::Key::Open(KeyPath(record.name), reg::KEY_WRITE);
  if (!key) return key.error();
  if (type) key->SetDword(u"Type", *type);
  if (start) key->SetDword(u"Start", *start);
  if (errorControl) key->SetDword(u"ErrorControl", *errorControl);
  if (imagePath) key->SetString(u"ImagePath", *imagePath, reg::REG_EXPAND_SZ);
  if (displayName && !displayName->empty()) key->SetString(u"DisplayName", *displayName);
  return win::ERROR_SUCCESS;
}

win::Error DeleteServiceRecord(std::u16string_view name) {
  ServiceRecord record;
  if (win::Error error = ReadServiceRecord(name, &record)) return error;
  return reg::DeleteTree(KeyPath(record.name));
}

std::vector<std::u16string> ListServices() {
  auto key = reg::Key::Open(kServicesKeyPath, reg::KEY_READ);
  if (!key) return {};
  auto names = key->SubKeyNames();
  return names ? names.take() : std::vector<std::u16string>{};
}

std::optional<ImageCommand> ResolveImagePath(std::u16string_view imagePath) {
  std::string text = Utf16ToUtf8(imagePath);
  // %SystemRoot% is the one variable service paths use.
  constexpr std::string_view kSystemRoot = "%SystemRoot%";
  for (std::size_t at = 0; (at = text.find(kSystemRoot, at)) != std::string::npos;)
    text.replace(at, kSystemRoot.size(), "C:\\Windows");
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return std::nullopt;
  text.erase(0, start);

  ImageCommand command;
  std::string rest;
  if (text[0] == '"') {
    std::size_t close = text.find('"', 1);
    if (close == std::string::npos) return std::nullopt;
    auto program = HostProgram(text.substr(1, close - 1));
    if (!program) return std::nullopt;
    command.program = *program;
    rest = text.substr(close + 1);
  } else {
    // An unquoted path may hold blanks: the longest leading part that names a
    // file is the program.
    std::size_t end = text.size();
    for (;;) {
      auto program = HostProgram(text.substr(0, end));
      std::error_code ec;
      if (program && std::filesystem::is_regular_file(*program, ec)) {
        command.program = *program;
        rest = text.substr(end);
        break;
      }
      std::size_t blank = text.rfind(' ', end - 1);
      if (blank == std::string::npos || blank == 0) {
        std::size_t first = text.find(' ');
        auto fallback = HostProgram(text.substr(0, first));
        if (!fallback) return std::nullopt;
        command.program = *fallback;
        rest = first == std::string::npos ? std::string() : text.substr(first);
        break;
      }
      end = blank;
    }
  }
  command.arguments = SplitArguments(rest);
  return command;
}

}  // namespace pvn::scm
