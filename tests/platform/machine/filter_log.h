#pragma once
// Reading what the test filter driver logged, and setting its service key.
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

}  // namespace pvn::machine::testing
