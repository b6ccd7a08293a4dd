#pragma once
// The remote-control protocol's commands: the table, and the parsing of a
// raw request URL into the command and its parameter.
#include <cstdint>
#include <string>
#include <string_view>

namespace pvn::courier {

using RemoteAction = std::uint32_t (*)(std::uint32_t code, const std::string& parameter);

struct RemoteCommand {
  const char* name;
  std::uint32_t code;  // high digit: 2 keyboard/mouse, 3 storage, 5 both, 6 system
  RemoteAction action;
};

// The commands in table order, ended by an entry whose code is 0.
const RemoteCommand* RemoteCommandTable();

// The values of "PVN_CMD" and "PVN_PARAM" in the query of a raw URL (names
// without regard to case, the last of a name counting, values as they stand:
// no decoding, no trimming). False when the URL has no query.
bool ParseRemoteQuery(std::string_view rawUrl, std::string* command, std::string* parameter);

// The table entry named `command` (without regard to case), or null.
const RemoteCommand* FindRemoteCommand(std::string_view command);

}  // namespace pvn::courier
