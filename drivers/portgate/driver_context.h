#pragma once
// The host-controller filter's settings snapshot, the context of its driver
// object. Written once by LoadSettings before any device is added and only
// read afterwards, so the decision needs no lock.
#include <cstddef>

#include "drivers/portgate/whitelist_buffer.h"

namespace pvn::portgate {

using namespace ::pvn::gate;

struct DRIVER_CONTEXT {
  BOOLEAN PortEnable;        // "Port Enable" is exactly 1
  WHITELIST* PortWhitelist;  // "Port Whitelist"; null when the service key did not open
  BOOLEAN StorEnable;        // "Stor Enable" is exactly 1
  WHITELIST* StorWhitelist;  // "Stor Whitelist"; null when the service key did not open
};
static_assert(offsetof(DRIVER_CONTEXT, PortEnable) == 0);
static_assert(offsetof(DRIVER_CONTEXT, PortWhitelist) == 8);
static_assert(offsetof(DRIVER_CONTEXT, StorEnable) == 16);
static_assert(offsetof(DRIVER_CONTEXT, StorWhitelist) == 24);
static_assert(sizeof(DRIVER_CONTEXT) == 32);

}  // namespace pvn::portgate
