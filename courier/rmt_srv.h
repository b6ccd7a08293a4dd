#pragma once
// CPvnRmtSrv::ServiceMain: the service body. It reads the remote-control
// settings, serves the endpoint until the stop event is set and shuts the
// listener down again.
#include <cstdint>

#include "common/settings/rmt_param.h"

namespace pvn::courier {

class CPvnRmtSrv {
 public:
  CPvnRmtSrv() = delete;
  // Always 0.
  static std::uint32_t ServiceMain(std::uintptr_t argument);
};

// The `Remote` record, or the defaults when it cannot be read.
settings::RmtParam ReadRmtParam();

// The text logged when the port cannot be registered; %d is the port.
extern const char16_t kPortHelpText[];

}  // namespace pvn::courier
