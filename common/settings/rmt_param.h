#pragma once
// The `Remote` value: the agent's remote-control settings, as the console's
// options page writes them and the agent reads them.
#include <cstddef>
#include <cstdint>

namespace pvn::settings {

struct RmtParam {
  std::uint32_t bWebSrvEnable;  // 1: the agent serves its HTTP endpoint
  std::uint32_t nPort;          // TCP port of the endpoint
  char szToken[16];             // access token, NUL-terminated, zero-padded
  std::uint32_t bAutoStart;     // 1: the console starts at logon
  std::uint32_t bNotifyPlugin;  // 1: the console reports arriving USB devices
};
static_assert(sizeof(RmtParam) == 32);
static_assert(offsetof(RmtParam, bWebSrvEnable) == 0);
static_assert(offsetof(RmtParam, nPort) == 4);
static_assert(offsetof(RmtParam, szToken) == 8);
static_assert(offsetof(RmtParam, bAutoStart) == 24);
static_assert(offsetof(RmtParam, bNotifyPlugin) == 28);

// What every program uses when `Remote` cannot be read.
inline constexpr RmtParam kDefaultRmtParam = {1, 10500, "50731942", 1, 1};

}  // namespace pvn::settings
