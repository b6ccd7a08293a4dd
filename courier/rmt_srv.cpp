#include "courier/rmt_srv.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "common/settings/registry_layout.h"
#include "common/settings/usb_pvn_envment.h"
#include "courier/agent_log.h"
#include "courier/http_service.h"
#include "courier/rmt_http_listener.h"
#include "courier/service_agent.h"
#include "platform/base/unicode.h"
#include "platform/fs/windows_path.h"
#include "platform/text/code_page.h"

namespace pvn::courier {

const char16_t kPortHelpText[] =
    u"Information! Unable to start web service for remote control..... \n"
    u"Please recheck your service port number or change your permission!\n\n"
    u"How to reserve the service port for Usb Portvane, please run the below commands...\n"
    u"1. Open the Start menu and click in the Search box.\n"
    u"2. Type \"cmd\" into the search box. You will see the cmd (Command Prompt).\n"
    u"3. Hover the mouse over the cmd program and right-click.\n"
    u"4. Select \"Run as administrator\".\n"
    u"5. Run: netsh http add urlacl url=http://*:%d/ user=EVERYONE listen=y+es delegate=no\n"
    u"\r\n\r\nPs. If it still cannot apply, please change to another network port.";

namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(3000);

std::u16string FormatHelpText(std::uint32_t port) {
  std::u16string text = kPortHelpText;
  std::string digits = std::to_string(port);
  std::size_t at = text.find(u"%d");
  if (at != std::u16string::npos) text.replace(at, 2, std::u16string(digits.begin(), digits.end()));
  return text;
}

}  // namespace

settings::RmtParam ReadRmtParam() {
  // A stored record shorter than 32 bytes fills only its leading fields; the
  // rest keep the defaults.
  settings::RmtParam param = settings::kDefaultRmtParam;
  if (!settings::CUsbPvnEnvment::GetRegBinary(settings::kRemoteValue.data(), &param, sizeof param))
    param = settings::kDefaultRmtParam;
  return param;
}

std::uint32_t CPvnRmtSrv::ServiceMain(std::uintptr_t /*argument*/) {
  char16_t appPath[512] = {};
  settings::CUsbPvnEnvment::GetAppPath(appPath, std::size(appPath));
  fs::SetCurrentDirectory(appPath);

  settings::RmtParam oRmtParam = ReadRmtParam();
  if (oRmtParam.bWebSrvEnable == 0) {
    WriteAgentLog("CPvnRmtSrv::ServiceMain the oRmtParam.bWebSrvEnable is disabled.");
    return 0;
  }

  auto service = std::make_unique<CHttpService>();
  auto listener = std::make_unique<CPvnRmtHttpListener>();
  std::size_t tokenLength = strnlen(oRmtParam.szToken, sizeof oRmtParam.szToken);
  listener->SetAccessToken(Utf8ToUtf16(std::string_view(oRmtParam.szToken, tokenLength)));

  if (!service->Start(oRmtParam.nPort, listener.get())) {
    WriteAgentLog("CPvnRmtSrv::ServiceMain HttpSrv Creates Failed.");
    std::string help = text::WideToAnsi(FormatHelpText(oRmtParam.nPort));
    WriteAgentLog(help.c_str());
    return 0;
  }

  // The stop event ends the wait at once; the period only bounds each wait.
  std::shared_ptr<StopEvent> stop = g_hServiceStopEvent;
  while (stop && !stop->Wait(kPollPeriod)) {
  }

  service->Stop();
  service.reset();
  listener.reset();
  return 0;
}

}  // namespace pvn::courier
