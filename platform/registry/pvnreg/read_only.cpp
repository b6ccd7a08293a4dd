// pvnreg readonly KEY [/on | /off]
//
// Shows, sets or clears the key's read-only mark, which stands in for an ACL
// that denies writing: while it is set, opening the key for writing fails
// with "Access is denied", as does creating subkeys or deleting the key.
#include "platform/registry/key.h"
#include "platform/registry/pvnreg/command_line.h"
#include "platform/registry/pvnreg/console.h"
#include "platform/registry/pvnreg/operations.h"

namespace pvn::reg::tool {

int ReadOnly(const Args& args) {
  constexpr std::string_view kOperation = "READONLY";
  auto line = ParseCommandLine(std::string(kOperation), args, {{"on"}, {"off"}});
  if (!line || line->positional.size() != 1 || (line->Has("on") && line->Has("off")))
    return SyntaxError(kOperation);
  auto name = ParseKeyName(line->positional[0]);
  if (!name) return InvalidKeyName(kOperation);

  if (!line->Has("on") && !line->Has("off")) {
    auto readOnly = IsReadOnly(name->path);
    if (!readOnly) return RegistryError(readOnly.error());
    Out("\n" + Utf8(name->display) + "\n    " + (*readOnly ? "read-only" : "writable") + "\n\n");
    return kExitSuccess;
  }
  if (win::Error err = SetReadOnly(name->path, line->Has("on"))) return RegistryError(err);
  Out(std::string(kCompleted) + "\n");
  return kExitSuccess;
}

}  // namespace pvn::reg::tool
