#pragma once
// The command line of pvnreg, read the way reg.exe reads its own: an
// operation, positional arguments (key names, file names) and switches that
// are matched without regard to case and may start with '/' or '-'.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pvn::reg::tool {

// A switch an operation accepts, and whether the next argument is its value.
struct SwitchSpec {
  std::string_view name;  // lower case, without the leading '/'
  bool takesValue = false;
};

struct CommandLine {
  std::string operation;  // upper case: "QUERY", "ADD", ...
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> switches;  // name -> value ("" for flags)
  bool help = false;                                         // "/?" was given

  bool Has(std::string_view name) const { return switches.find(name) != switches.end(); }
  std::optional<std::string> Value(std::string_view name) const;
};

// Reads `args` (without the operation) against the switches `specs` allows.
// An argument that is not one of them counts as positional, so host file
// names such as "/tmp/a.reg" pass. Fails on a repeated switch or a missing
// switch value.
std::optional<CommandLine> ParseCommandLine(std::string operation,
                                            const std::vector<std::string>& args,
                                            const std::vector<SwitchSpec>& specs);

// A key name on the command line: "HKLM\..." or "HKEY_LOCAL_MACHINE\...".
struct KeyName {
  std::u16string path;     // below HKEY_LOCAL_MACHINE, as typed
  std::u16string display;  // "HKEY_LOCAL_MACHINE\..." as reg.exe prints it
};
std::optional<KeyName> ParseKeyName(std::string_view arg);

}  // namespace pvn::reg::tool
