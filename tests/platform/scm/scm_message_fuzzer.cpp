// What other processes hand the Service Control Manager: message lines on
// its socket and its channels (read field by field), and image paths from the
// service database. The first byte picks which.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/base/unicode.h"
#include "platform/scm/channel.h"
#include "platform/scm/service_database.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Image paths are resolved below a prefix; give them a scratch one.
  static std::string prefix = "/tmp/pvn-scm-fuzz";
  setenv("PVN_PREFIX", prefix.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    auto command = pvn::scm::ResolveImagePath(pvn::Utf8ToUtf16(text));
    if (command && command->program.empty()) __builtin_trap();
    return 0;
  }
  auto message = nlohmann::json::parse(text, nullptr, false);
  for (const char* key : {"op", "name", "path", "display", "state", "control", "error", "args"}) {
    (void)pvn::scm::detail::U32(message, key);
    (void)pvn::scm::detail::Str(message, key);
  }
  return 0;
}
