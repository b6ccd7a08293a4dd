// pvnreg: the registry console tool, with reg.exe's syntax, output and exit
// codes, on HKEY_LOCAL_MACHINE of the machine prefix.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/registry/pvnreg/console.h"
#include "platform/registry/pvnreg/operations.h"
#include "platform/registry/pvnreg/usage.h"

namespace {

using namespace pvn::reg::tool;

bool IsHelp(const std::string& arg) {
  return arg == "/?" || arg == "-?" || arg == "--help";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    Err("ERROR: Invalid syntax.\n");
    Out(OverviewUsage());
    return kExitFailure;
  }
  if (IsHelp(args[0])) {
    Out(OverviewUsage());
    return kExitSuccess;
  }
  std::string operation = args[0];
  std::transform(operation.begin(), operation.end(), operation.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (OperationUsage(operation).empty()) {
    Err("ERROR: Invalid argument/option - '" + args[0] + "'.\nType \"PVNREG /?\" for usage.\n");
    return kExitFailure;
  }
  args.erase(args.begin());
  if (std::any_of(args.begin(), args.end(), IsHelp)) {
    Out(OperationUsage(operation));
    return kExitSuccess;
  }
  if (operation == "QUERY") return Query(args);
  if (operation == "ADD") return Add(args);
  if (operation == "DELETE") return Delete(args);
  if (operation == "EXPORT") return Export(args);
  if (operation == "IMPORT") return Import(args);
  return ReadOnly(args);
}
