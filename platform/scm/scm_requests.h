#pragma once
// The Service Control Manager's requests, as clients send them to the running
// machine: {"module": "scm", "op": "start", "name": "PvnCourier"}. The answer
// carries "ok" and the Win32 result in "win32", and for some operations a
// "status" or the service's configuration.
#include <functional>

#include <nlohmann/json.hpp>

#include "platform/scm/service_manager.h"

namespace pvn::scm {

// Carries out one request. A "wait" request blocks until the service enters
// one of the states of its "mask" or `cancelled` says so.
nlohmann::json HandleScmRequest(ServiceManager& manager, const nlohmann::json& request,
                                const std::function<bool()>& cancelled);

}  // namespace pvn::scm
