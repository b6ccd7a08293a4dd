#pragma once
// CServiceAgent: the service frame. ServiceEntry is the entry point that the
// dispatcher calls for the service; it reports the states, creates the stop
// event and runs the service body. ServiceCtrlHandler turns a stop or
// shutdown request into STOP_PENDING and sets the stop event.
#include <cstdint>
#include <memory>

#include "courier/stop_event.h"
#include "platform/scm/service_dispatcher.h"

namespace pvn::courier {

using ServiceBody = std::uint32_t (*)(std::uintptr_t argument);

class CServiceAgent {
 public:
  CServiceAgent() = delete;

  static void ServiceEntry(std::uint32_t argc, char16_t** argv);
  static void ServiceCtrlHandler(std::uint32_t control);

  // The service name used in the dispatch table and the handler registration.
  static char16_t m_szServiceName[128];
  static ServiceBody st_m_pfnServiceMain;
  static std::uintptr_t st_m_pServiceMainArg;

  // The status last reported (a copy, taken under the status lock).
  static scm::SERVICE_STATUS CurrentStatus();
};

// Set by the control handler to end the service body; exists while
// ServiceEntry runs.
extern std::shared_ptr<StopEvent> g_hServiceStopEvent;

}  // namespace pvn::courier
