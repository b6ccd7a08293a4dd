#include "platform/scm/scm_requests.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/scm/channel.h"
#include "platform/scm/service_database.h"

namespace pvn::scm {

namespace {

nlohmann::json StatusJson(const SERVICE_STATUS_PROCESS& s) {
  return {{"type", s.dwServiceType},
          {"state", s.dwCurrentState},
          {"accepted", s.dwControlsAccepted},
          {"exit", s.dwWin32ExitCode},
          {"specific", s.dwServiceSpecificExitCode},
          {"checkpoint", s.dwCheckPoint},
          {"hint", s.dwWaitHint},
          {"pid", s.dwProcessId}};
}

std::u16string Text(const nlohmann::json& request, const char* field) {
  auto found = request.find(field);
  if (found == request.end() || !found->is_string()) return {};
  return Utf8ToUtf16(found->get<std::string>());
}

std::optional<std::uint32_t> Number(const nlohmann::json& request, const char* field) {
  // A field that is missing or no 32-bit number means "no change".
  std::uint32_t value = detail::U32(request, field, SERVICE_NO_CHANGE);
  if (value == SERVICE_NO_CHANGE) return std::nullopt;
  return value;
}

}  // namespace

nlohmann::json HandleScmRequest(ServiceManager& manager, const nlohmann::json& request,
                                const std::function<bool()>& cancelled) {
  std::string op = detail::Str(request, "op");
  std::u16string name = Text(request, "name");
  nlohmann::json answer;
  win::Error result = win::ERROR_SUCCESS;
  auto fail = [&result](win::Error error) { result = error; };
  if (op == "hello") {
  } else if (op == "open") {
    ServiceRecord record;
    if (win::Error error = ReadServiceRecord(name, &record))
      fail(error);
    else
      answer["name"] = Utf16ToUtf8(record.name);
  } else if (op == "create") {
    ServiceRecord record;
    record.name = name;
    record.displayName = Text(request, "display");
    record.imagePath = Text(request, "path");
    record.type = Number(request, "type").value_or(0);
    record.start = Number(request, "start").value_or(0xFF);
    record.errorControl = Number(request, "errorControl").value_or(SERVICE_ERROR_NORMAL);
    fail(CreateServiceRecord(record));
  } else if (op == "delete") {
    fail(manager.Delete(name));
  } else if (op == "start") {
    std::vector<std::u16string> arguments;
    if (request.contains("args") && request["args"].is_array())
      for (const auto& arg : request["args"])
        if (arg.is_string()) arguments.push_back(Utf8ToUtf16(arg.get<std::string>()));
    fail(manager.Start(name, arguments));
  } else if (op == "control") {
    SERVICE_STATUS status{};
    fail(manager.Control(name, Number(request, "control").value_or(0), &status));
    answer["status"] = StatusJson(SERVICE_STATUS_PROCESS{
        status.dwServiceType, status.dwCurrentState, status.dwControlsAccepted,
        status.dwWin32ExitCode, status.dwServiceSpecificExitCode, status.dwCheckPoint,
        status.dwWaitHint, 0, 0});
  } else if (op == "query") {
    SERVICE_STATUS_PROCESS status{};
    fail(manager.Query(name, &status));
    answer["status"] = StatusJson(status);
  } else if (op == "wait") {
    SERVICE_STATUS_PROCESS status{};
    std::uint32_t mask = Number(request, "mask").value_or(0);
    // A wait for no state would never end.
    if (mask == 0)
      fail(win::ERROR_INVALID_PARAMETER);
    else
      fail(manager.WaitForState(name, mask, cancelled, &status));
    answer["status"] = StatusJson(status);
  } else if (op == "config") {
    std::u16string path = Text(request, "path"), display = Text(request, "display");
    fail(ChangeServiceRecord(name, Number(request, "type"), Number(request, "start"),
                             Number(request, "errorControl"),
                             request.contains("path") ? &path : nullptr,
                             request.contains("display") ? &display : nullptr));
  } else if (op == "qc") {
    ServiceRecord record;
    if (win::Error error = ReadServiceRecord(name, &record)) {
      fail(error);
    } else {
      answer["type"] = record.type;
      answer["start"] = record.start;
      answer["errorControl"] = record.errorControl;
      answer["path"] = Utf16ToUtf8(record.imagePath);
      answer["display"] = Utf16ToUtf8(record.displayName);
    }
  } else {
    fail(win::ERROR_INVALID_FUNCTION);
  }
  answer["win32"] = result;
  answer["ok"] = result == win::ERROR_SUCCESS;
  return answer;
}

}  // namespace pvn::scm
