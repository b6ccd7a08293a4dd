#pragma once
// Reading a filter driver's event log back in tests.
#include <string>
#include <string_view>
#include <vector>

namespace pvn::testing {

// The lines of the log file at a Windows path, each with its CR LF (a line
// cut before its CR LF is the last element as it is); empty when the file is
// missing.
std::vector<std::string> ReadLogLines(std::u16string_view windowsPath);

// The length of the "YYYY/MM/DD hh:mm:ss:mmmm   " stamp that begins every line.
inline constexpr std::size_t kLogStampLength = 27;

// True when `line` begins with a well-formed stamp (digits, separators and
// the three blanks in place, fields within their ranges).
bool HasLogStamp(std::string_view line);

// What follows the stamp: "<word> Device: <text>\r\n".
std::string AfterStamp(std::string_view line);

}  // namespace pvn::testing
