#include "platform/desktop/command_line.h"

#include <mutex>

#include "platform/base/unicode.h"

namespace pvn::desktop {

namespace {

std::mutex g_mutex;
std::u16string g_commandLine;

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

}  // namespace

std::u16string QuoteArgument(std::u16string_view argument, bool programName) {
  const bool needsQuotes =
      argument.empty() || argument.find_first_of(u" \t\n\v\"") != std::u16string_view::npos;
  if (programName) {
    // Program names cannot hold quotation marks; they are read verbatim up to
    // the closing one.
    if (!needsQuotes) return std::u16string(argument);
    return u"\"" + std::u16string(argument) + u"\"";
  }
  if (!needsQuotes) return std::u16string(argument);
  std::u16string out = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') {
      out.append(backslashes * 2 + 1, u'\\');
    } else {
      out.append(backslashes, u'\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  // Backslashes before the closing quotation mark are doubled.
  out.append(backslashes * 2, u'\\');
  out.push_back(u'"');
  return out;
}

void SetProcessArguments(int argc, const char* const* argv) {
  std::u16string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line.push_back(u' ');
    line += QuoteArgument(Utf8ToUtf16(argv[i] ? argv[i] : ""), i == 0);
  }
  std::lock_guard lock(g_mutex);
  g_commandLine = std::move(line);
}

std::u16string GetCommandLineW() {
  std::lock_guard lock(g_mutex);
  return g_commandLine;
}

std::vector<std::u16string> CommandLineToArgvW(std::u16string_view line) {
  std::vector<std::u16string> args;
  std::size_t i = 0;
  // Program name.
  std::u16string name;
  if (i < line.size() && line[i] == u'"') {
    ++i;
    while (i < line.size() && line[i] != u'"') name.push_back(line[i++]);
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !IsBlank(line[i])) name.push_back(line[i++]);
  }
  args.push_back(std::move(name));
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::u16string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == u'\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == u'\\') ++n, ++i;
        if (i < line.size() && line[i] == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2) {
            arg.push_back(u'"');
            ++i;
          }
        } else {
          arg.append(n, u'\\');
        }
        continue;
      }
      if (line[i] == u'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg.push_back(u'"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.push_back(line[i++]);
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace pvn::desktop
