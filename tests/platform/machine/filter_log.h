#pragma once
// Reading what the test filter driver logged, and setting its service key.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/fs/prefix.h"
#include "platform/registry/key.h"

namespace pvn::machine::testing {

inline constexpr const char* kUsbClass = "{36fc9e60-c465-11cf-8056-444553540000}";

// The lines of C:\<service>.log, oldest first.
inline std::vector<std::string> FilterLog(const std::string& service = "TestFilter") {
  std::ifstream in(fs::DriveC() / (service + ".log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The log lines written since `mark` lines were there.
inline std::vector<std::string> FilterLogSince(std::size_t mark,
                                               const std::string& service = "TestFilter") {
  auto lines = FilterLog(service);
  return {lines.begin() + std::min(mark, lines.size()), lines.end()};
}

inline void SetFilterValue(const std::u16string& name, const std::u16string& text,
                           const std::u16string& service = u"TestFilter") {
  auto key =
      reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\" + service, reg::KEY_ALL_ACCESS);
  key->SetString(name, text);
}

// Installs the test filter as the installer does: the image in the system
// directory's Drivers folder, a kernel-driver service key, and the class's
// lower filters naming it.
inline void RegisterTestFilter(
    const std::u16string& classGuid = u"{36fc9e60-c465-11cf-8056-444553540000}",
    const std::u16string& service = u"TestFilter") {
  auto drivers = fs::DriveC() / "Windows" / "System32" / "Drivers";
  std::filesystem::create_directories(drivers);
  std::filesystem::copy_file(PVN_TEST_FILTER, drivers / (Utf16ToUtf8(service) + ".sys"),
                             std::filesystem::copy_options::overwrite_existing);
  auto key =
      reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Services\\" + service, reg::KEY_ALL_ACCESS);
  key->SetDword(u"Type", 1);
  key->SetDword(u"Start", 3);
  key->SetString(u"ImagePath", u"\\SystemRoot\\system32\\DRIVERS\\" + service + u".sys",
                 reg::REG_EXPAND_SZ);
  auto cls = reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Control\\Class\\" + classGuid,
                              reg::KEY_ALL_ACCESS);
  std::u16string filters = service + u'\0' + u'\0';
  cls->SetValue(u"LowerFilters", reg::REG_MULTI_SZ, filters.data(),
                static_cast<std::uint32_t>(filters.size() * 2));
}

}  // namespace pvn::machine::testing
