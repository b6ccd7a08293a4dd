// Registry scripts come from anywhere: the parser must refuse bad input with
// a line number and never crash or read out of bounds, in either format and
// in both a single-byte and a double-byte ANSI code page.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (unsigned codePage : {1252u, 932u}) {
    auto script = pvn::reg::ParseRegFile(bytes, codePage);
    if (script) {
      if (script->changes.size() != script->lines.size()) __builtin_trap();
    } else if (script.error().line == 0 || script.error().reason.empty()) {
      __builtin_trap();
    }
  }
  return 0;
}
