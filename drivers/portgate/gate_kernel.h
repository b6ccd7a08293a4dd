#pragma once
// The kernel's names, as the code of both filter drivers uses them. The
// shared code lives in pvn::gate, each driver's own code in its namespace.
#include "platform/machine/kernel/kernel_api.h"

namespace pvn::gate {
using namespace ::pvn::km;  // NTSTATUS, WCHAR, Zw*, Rtl*, ...
}  // namespace pvn::gate
