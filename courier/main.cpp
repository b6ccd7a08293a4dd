// PvnCourier: the remote-control agent, an own-process service.
#include <cstdint>
#include <cstring>

#include "courier/agent_log.h"
#include "courier/rmt_srv.h"
#include "courier/service_agent.h"
#include "platform/scm/service_dispatcher.h"

namespace {

constexpr char16_t kServiceName[] = u"Usb Portvane";

}  // namespace

int main() {
  using namespace pvn::courier;
  OpenAgentLog();

  pvn::settings::RmtParam param = ReadRmtParam();
  if (param.bWebSrvEnable == 0) {
    WriteAgentLog(
        "Usb Portvane Remote Agent: The Remote Control Web Service is not enabled. Stop "
        "PvnCourier procedure.");
    CloseAgentLog();
    return 0;
  }
  WriteAgentLog("Usb Portvane Remote Agent: Main Entry");

  std::memset(CServiceAgent::m_szServiceName, 0, sizeof CServiceAgent::m_szServiceName);
  std::memcpy(CServiceAgent::m_szServiceName, kServiceName, sizeof kServiceName);
  const pvn::scm::SERVICE_TABLE_ENTRYW table[] = {
      {CServiceAgent::m_szServiceName, &CServiceAgent::ServiceEntry},
      {nullptr, nullptr},
  };
  CServiceAgent::st_m_pfnServiceMain = &CPvnRmtSrv::ServiceMain;
  CServiceAgent::st_m_pServiceMainArg = 0;

  if (pvn::scm::StartServiceCtrlDispatcherW(table) != pvn::win::ERROR_SUCCESS) {
    WriteAgentLog("CServiceAgent: StartServiceCtrlDispatcher returned error");
    WriteAgentLog("Usb Portvane Remote Agent: Main StartServiceDispatcher returned error");
    WriteAgentLog("Usb Portvane Remote Agent: Main StartServiceDispatcher returned error.");
  }
  WriteAgentLog("Usb Portvane Remote Agent: Main: Exit");
  CloseAgentLog();
  return 0;
}
