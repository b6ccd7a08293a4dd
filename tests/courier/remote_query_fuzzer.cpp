// A raw request URL, as a client may send it, to command and parameter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "courier/remote_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view url(reinterpret_cast<const char*>(data), size);
  std::string command, parameter;
  if (pvn::courier::ParseRemoteQuery(url, &command, &parameter)) {
    // What was taken lies inside the URL.
    if (command.size() > url.size() || parameter.size() > url.size()) __builtin_trap();
    (void)pvn::courier::FindRemoteCommand(command);
  }
  return 0;
}
