#include "platform/registry/pvnreg/command_line.h"

#include <algorithm>
#include <cctype>

#include "platform/base/unicode.h"
#include "platform/registry/key.h"

namespace pvn::reg::tool {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::optional<std::string> CommandLine::Value(std::string_view name) const {
  auto it = switches.find(name);
  if (it == switches.end()) return std::nullopt;
  return it->second;
}

std::optional<CommandLine> ParseCommandLine(std::string operation,
                                            const std::vector<std::string>& args,
                                            const std::vector<SwitchSpec>& specs) {
  CommandLine line;
  line.operation = std::move(operation);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool switchLike = arg.size() > 1 && (arg[0] == '/' || arg[0] == '-');
    if (switchLike && arg.substr(1) == "?") {
      line.help = true;
      continue;
    }
    const SwitchSpec* spec = nullptr;
    if (switchLike) {
      std::string name = Lower(std::string_view(arg).substr(1));
      auto it = std::find_if(specs.begin(), specs.end(),
                             [&](const SwitchSpec& s) { return s.name == name; });
      if (it != specs.end()) spec = &*it;
    }
    if (!spec) {
      line.positional.push_back(arg);
      continue;
    }
    std::string value;
    if (spec->takesValue) {
      if (i + 1 >= args.size()) return std::nullopt;
      value = args[++i];
    }
    if (!line.switches.emplace(std::string(spec->name), std::move(value)).second)
      return std::nullopt;
  }
  return line;
}

std::optional<KeyName> ParseKeyName(std::string_view arg) {
  std::size_t slash = arg.find('\\');
  std::string root = Lower(arg.substr(0, slash));
  if (root != "hklm" && root != "hkey_local_machine") return std::nullopt;
  std::u16string path =
      slash == std::string_view::npos ? std::u16string() : Utf8ToUtf16(arg.substr(slash + 1));
  if (!SplitKeyPath(path)) return std::nullopt;
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  KeyName name{path, u"HKEY_LOCAL_MACHINE"};
  if (!path.empty()) name.display += u"\\" + path;
  return name;
}

}  // namespace pvn::reg::tool
