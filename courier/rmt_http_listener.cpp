#include "courier/rmt_http_listener.h"

#include <string_view>

#include "common/settings/usb_pvn_envment.h"
#include "courier/remote_command.h"
#include "platform/power/power.h"
#include "platform/text/code_page.h"

namespace pvn::courier {

namespace {

constexpr std::string_view kTokenHeader = "PVN_Token";
constexpr std::string_view kServicePath = "/PVN_SERVICE";

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

void Restart() {
  power::HANDLE token = nullptr;
  if (!power::OpenProcessToken(power::GetCurrentProcess(),
                               power::TOKEN_ADJUST_PRIVILEGES | power::TOKEN_QUERY, &token))
    return;
  power::TOKEN_PRIVILEGES enable{1, {{{0, 0}, power::SE_PRIVILEGE_ENABLED}}};
  bool enabled =
      power::LookupPrivilegeValueW(nullptr, power::SE_SHUTDOWN_NAME, &enable.Privileges[0].Luid) &&
      power::AdjustTokenPrivileges(token, power::FALSE, &enable, 0, nullptr, nullptr) &&
      power::GetLastError() == win::ERROR_SUCCESS;  // not ERROR_NOT_ALL_ASSIGNED
  power::CloseHandle(token);
  if (enabled) power::InitiateSystemShutdownW(nullptr, nullptr, 0, power::TRUE, power::TRUE);
}

}  // namespace

bool TokensEqual(std::u16string_view presented, std::u16string_view expected) {
  // Every unit of the longer string is visited whatever the contents, so the
  // time taken tells nothing about where the tokens differ.
  std::size_t length = presented.size() > expected.size() ? presented.size() : expected.size();
  unsigned difference = presented.size() != expected.size() ? 1u : 0u;
  for (std::size_t i = 0; i < length; ++i) {
    char16_t a = i < presented.size() ? presented[i] : 0;
    char16_t b = i < expected.size() ? expected[i] : 0;
    difference |= static_cast<unsigned>(a ^ b);
  }
  return difference == 0;
}

std::uint32_t CPvnRmtHttpListener::OnHttpRequest(CHttpService* service,
                                                 const http::HTTP_REQUEST* request) {
  if (CheckRequest(request) && request->Verb == http::HttpVerbGET &&
      HandleCommand(service, request))
    return 1;
  service->SendResponse(request->RequestId, 404, "Not Found");
  return 1;
}

bool CPvnRmtHttpListener::CheckRequest(const http::HTTP_REQUEST* request) const {
  std::u16string presented;
  const auto& headers = request->Headers;
  for (std::uint16_t i = 0; i < headers.UnknownHeaderCount; ++i) {
    const http::HTTP_UNKNOWN_HEADER& header = headers.pUnknownHeaders[i];
    if (!header.pName ||
        !EqualsNoCase(std::string_view(header.pName, header.NameLength), kTokenHeader))
      continue;
    if (header.pRawValue && header.RawValueLength > 0)
      presented = text::AnsiToWide(std::string_view(header.pRawValue, header.RawValueLength));
    break;
  }
  if (!TokensEqual(presented, m_strAccessToken)) return false;
  if (!request->pRawUrl || request->RawUrlLength < kServicePath.size()) return false;
  return EqualsNoCase(std::string_view(request->pRawUrl, kServicePath.size()), kServicePath);
}

bool CPvnRmtHttpListener::HandleCommand(CHttpService* service, const http::HTTP_REQUEST* request) {
  if (!request->pRawUrl) return false;
  std::string command, parameter;
  if (!ParseRemoteQuery(std::string_view(request->pRawUrl, request->RawUrlLength), &command,
                        &parameter))
    return false;
  if (command.empty()) return false;
  const RemoteCommand* entry = FindRemoteCommand(command);
  if (!entry) return false;
  entry->action(entry->code, parameter);
  service->SendResponse(request->RequestId, 200, "OK");
  return true;
}

std::uint32_t CPvnRmtHttpListener::RunCommand(std::uint32_t code,
                                              const std::string& /*parameter*/) {
  using settings::CUsbPvnEnvment;
  switch (code) {
    case 0x21:
      CUsbPvnEnvment::SetKeybMousEnable(1);
      break;
    case 0x22:
      CUsbPvnEnvment::SetKeybMousEnable(0);
      break;
    case 0x31:
      CUsbPvnEnvment::SetStorEnable(1);
      break;
    case 0x32:
      CUsbPvnEnvment::SetStorEnable(0);
      break;
    case 0x51:
      CUsbPvnEnvment::SetKeybMousEnable(1);
      CUsbPvnEnvment::SetStorEnable(1);
      break;
    case 0x52:
      CUsbPvnEnvment::SetKeybMousEnable(0);
      CUsbPvnEnvment::SetStorEnable(0);
      break;
    case 0x62:
      Restart();
      break;
    default:
      break;
  }
  return 1;
}

}  // namespace pvn::courier
