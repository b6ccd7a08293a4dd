#include "tests/drivers/portgate/driver_log.h"

#include <cctype>
#include <cstdlib>

#include "platform/fs/file.h"

namespace pvn::testing {

std::vector<std::string> ReadLogLines(std::u16string_view windowsPath) {
  std::vector<std::string> lines;
  auto bytes = fs::ReadFileBytes(windowsPath);
  if (!bytes) return lines;
  std::string_view rest = *bytes;
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    std::size_t take = end == std::string_view::npos ? rest.size() : end + 2;
    lines.emplace_back(rest.substr(0, take));
    rest.remove_prefix(take);
  }
  return lines;
}

bool HasLogStamp(std::string_view line) {
  constexpr std::string_view kPattern = "dddd/dd/dd dd:dd:dd:dddd   ";
  if (line.size() < kPattern.size()) return false;
  for (std::size_t i = 0; i < kPattern.size(); ++i) {
    bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
    if (kPattern[i] == 'd' ? !digit : line[i] != kPattern[i]) return false;
  }
  auto field = [&](std::size_t at, std::size_t len) {
    return std::atoi(std::string(line.substr(at, len)).c_str());
  };
  int month = field(5, 2), day = field(8, 2), hour = field(11, 2), minute = field(14, 2),
      second = field(17, 2), millis = field(20, 4);
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60 &&
         second < 60 && millis < 1000;
}

std::string AfterStamp(std::string_view line) {
  return std::string(line.size() > kLogStampLength ? line.substr(kLogStampLength) : "");
}

}  // namespace pvn::testing
