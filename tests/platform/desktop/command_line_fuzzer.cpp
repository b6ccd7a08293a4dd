// Splitting never fails on any command line, and every argument list, quoted
// as the process's command line is rebuilt, splits back into itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/desktop/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::u16string line = pvn::Utf8ToUtf16(text);
  const auto split = pvn::desktop::CommandLineToArgvW(line);
  if (split.empty()) __builtin_trap();

  // The same bytes as an argument list, one argument a line.
  std::vector<std::u16string> arguments;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    arguments.push_back(pvn::Utf8ToUtf16(text.substr(start, end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  // A program name cannot hold a quotation mark.
  if (arguments[0].find(u'"') != std::u16string::npos) return 0;
  std::u16string rebuilt;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i) rebuilt.push_back(u' ');
    rebuilt += pvn::desktop::QuoteArgument(arguments[i], i == 0);
  }
  if (pvn::desktop::CommandLineToArgvW(rebuilt) != arguments) __builtin_trap();
  return 0;
}
