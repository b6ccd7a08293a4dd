#include "courier/service_agent.h"

#include <mutex>
#include <new>

#include "courier/agent_log.h"

namespace pvn::courier {

char16_t CServiceAgent::m_szServiceName[128] = {};
ServiceBody CServiceAgent::st_m_pfnServiceMain = nullptr;
std::uintptr_t CServiceAgent::st_m_pServiceMainArg = 0;
std::shared_ptr<StopEvent> g_hServiceStopEvent;

namespace {

// The status record is shared by the service thread and the handler on the
// main thread; the lock keeps each change and report whole.
std::mutex g_statusMutex;
scm::SERVICE_STATUS g_status{};
scm::SERVICE_STATUS_HANDLE g_statusHandle;
std::mutex g_eventMutex;

// Sets and reports the status; `g_statusMutex` held.
void ReportLocked(std::uint32_t state, std::uint32_t accepted, std::uint32_t exitCode,
                  std::uint32_t checkPoint, const char* failureMessage) {
  g_status.dwServiceType = scm::SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted = accepted;
  g_status.dwWin32ExitCode = exitCode;
  g_status.dwServiceSpecificExitCode = 0;
  g_status.dwCheckPoint = checkPoint;
  g_status.dwWaitHint = 0;
  if (scm::SetServiceStatus(g_statusHandle, &g_status) != win::ERROR_SUCCESS)
    WriteAgentLog(failureMessage);
}

void Report(std::uint32_t state, std::uint32_t accepted, std::uint32_t exitCode,
            std::uint32_t checkPoint, const char* failureMessage) {
  std::lock_guard lock(g_statusMutex);
  ReportLocked(state, accepted, exitCode, checkPoint, failureMessage);
}

constexpr const char* kEntryStatusError =
    "CServiceAgent: ServiceEntry: SetServiceStatus returned error";

}  // namespace

scm::SERVICE_STATUS CServiceAgent::CurrentStatus() {
  std::lock_guard lock(g_statusMutex);
  return g_status;
}

void CServiceAgent::ServiceEntry(std::uint32_t /*argc*/, char16_t** /*argv*/) {
  scm::SERVICE_STATUS_HANDLE handle;
  if (scm::RegisterServiceCtrlHandlerW(m_szServiceName, &CServiceAgent::ServiceCtrlHandler,
                                       &handle) != win::ERROR_SUCCESS) {
    WriteAgentLog("CServiceAgent: ServiceEntry: RegisterServiceCtrlHandler returned error");
    WriteAgentLog("CServiceAgent: ServiceEntry: Exit");
    return;
  }
  {
    std::lock_guard lock(g_statusMutex);
    g_statusHandle = handle;
    g_status = {};
  }
  Report(scm::SERVICE_START_PENDING, 0, 0, 0, kEntryStatusError);
  WriteAgentLog("CServiceAgent: ServiceEntry: Performing Service Start Operations");

  std::shared_ptr<StopEvent> event(new (std::nothrow) StopEvent);
  if (!event) {
    WriteAgentLog("CServiceAgent: ServiceEntry: CreateEvent(g_hServiceStopEvent) returned error");
    Report(scm::SERVICE_STOPPED, 0, win::ERROR_NOT_ENOUGH_MEMORY, 1, kEntryStatusError);
    WriteAgentLog("CServiceAgent: ServiceEntry: Exit");
    return;
  }
  {
    std::lock_guard lock(g_eventMutex);
    g_hServiceStopEvent = event;
  }
  Report(scm::SERVICE_RUNNING, scm::SERVICE_ACCEPT_STOP, 0, 0, kEntryStatusError);

  if (st_m_pfnServiceMain && st_m_pfnServiceMain(st_m_pServiceMainArg) != 0)
    WriteAgentLog("CServiceAgent: ServiceEntry: st_m_pfnServiceMain returned error");

  WriteAgentLog("CServiceAgent: ServiceEntry: Performing Cleanup Operations");
  {
    std::lock_guard lock(g_eventMutex);
    g_hServiceStopEvent.reset();
  }
  Report(scm::SERVICE_STOPPED, 0, 0, 3, kEntryStatusError);
  WriteAgentLog("CServiceAgent: ServiceEntry: Exit");
}

void CServiceAgent::ServiceCtrlHandler(std::uint32_t control) {
  WriteAgentLog("CServiceAgent: ServiceCtrlHandler: Entry");
  if (control == scm::SERVICE_CONTROL_STOP || control == scm::SERVICE_CONTROL_SHUTDOWN) {
    WriteAgentLog("CServiceAgent: ServiceCtrlHandler: SERVICE_CONTROL_STOP Request.");
    // Only a running service is stopped; a second request is only logged.
    std::lock_guard lock(g_statusMutex);
    if (g_status.dwCurrentState == scm::SERVICE_RUNNING) {
      ReportLocked(scm::SERVICE_STOP_PENDING, 0, 0, 4,
                   "CServiceAgent: ServiceCtrlHandler: SetServiceStatus returned error");
      std::lock_guard eventLock(g_eventMutex);
      if (g_hServiceStopEvent) g_hServiceStopEvent->Set();
    }
  }
  WriteAgentLog("CServiceAgent: ServiceCtrlHandler: Exit");
}

}  // namespace pvn::courier
