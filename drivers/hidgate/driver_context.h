#pragma once
// The keyboard/mouse filter's settings snapshot, the context of its driver
// object. Written once by LoadSettings before any device is added and only
// read afterwards.
#include <cstddef>

#include "drivers/portgate/whitelist_buffer.h"

namespace pvn::hidgate {

using namespace ::pvn::gate;

struct DRIVER_CONTEXT {
  BOOLEAN KeybMousEnable;        // "KeybMous Enable" is exactly 1
  WHITELIST* KeybMousWhitelist;  // "KeybMous Whitelist"; null when the service key did not open
};
static_assert(offsetof(DRIVER_CONTEXT, KeybMousEnable) == 0);
static_assert(offsetof(DRIVER_CONTEXT, KeybMousWhitelist) == 8);
static_assert(sizeof(DRIVER_CONTEXT) == 16);

}  // namespace pvn::hidgate
