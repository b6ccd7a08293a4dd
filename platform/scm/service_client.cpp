// The client calls: handles are kept in this process; every call is one
// request to the manager of the running machine over its socket.
#include "platform/scm/service_client.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/machine/client/machine_client.h"
#include "platform/scm/channel.h"

namespace pvn::scm {

namespace {

struct Notification {
  std::optional<machine::MachineClient> client;
  std::thread thread;
};

struct HandleData {
  bool manager = false;
  std::u16string name;
  std::uint32_t access = 0;
  std::mutex mutex;
  std::vector<std::shared_ptr<Notification>> notifications;
};

std::mutex g_mutex;
std::unordered_map<std::uint64_t, std::shared_ptr<HandleData>> g_handles;
std::uint64_t g_next = 0;

std::shared_ptr<HandleData> Find(SC_HANDLE handle) {
  std::lock_guard lock(g_mutex);
  auto found = g_handles.find(handle.value);
  return found == g_handles.end() ? nullptr : found->second;
}

SC_HANDLE Add(std::shared_ptr<HandleData> data) {
  std::lock_guard lock(g_mutex);
  SC_HANDLE handle{++g_next};
  g_handles.emplace(handle.value, std::move(data));
  return handle;
}

std::uint32_t MapServiceAccess(std::uint32_t access) {
  if (access & GENERIC_ALL) access |= SERVICE_ALL_ACCESS;
  if (access & GENERIC_READ)
    access |= SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
              SERVICE_ENUMERATE_DEPENDENTS;
  if (access & GENERIC_EXECUTE)
    access |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
  return access;
}

std::uint32_t MapManagerAccess(std::uint32_t access) {
  if (access & GENERIC_ALL) access |= SC_MANAGER_ALL_ACCESS;
  if (access & (GENERIC_READ | GENERIC_EXECUTE)) access |= SC_MANAGER_CONNECT;
  return access;
}

// One request to the manager of the running machine; RPC_S_SERVER_UNAVAILABLE
// when no machine runs (or it runs without a manager).
win::Error Call(nlohmann::json request, nlohmann::json* answer) {
  request["module"] = detail::kScmModuleName;
  auto client = machine::MachineClient::Connect();
  if (!client) return win::RPC_S_SERVER_UNAVAILABLE;
  auto reply = client->Request(request);
  if (!reply || !reply->is_object() || !reply->contains("win32"))
    return win::RPC_S_SERVER_UNAVAILABLE;
  *answer = reply.take();
  return detail::U32(*answer, "win32");
}

// The service handle `handle` with `right`, or why not.
win::Error ServiceWith(SC_HANDLE handle, std::uint32_t right, std::shared_ptr<HandleData>* data) {
  *data = Find(handle);
  if (!*data || (*data)->manager) return win::ERROR_INVALID_HANDLE;
  if (((*data)->access & right) != right) return win::ERROR_ACCESS_DENIED;
  return win::ERROR_SUCCESS;
}

SERVICE_STATUS_PROCESS StatusFrom(const nlohmann::json& answer) {
  SERVICE_STATUS_PROCESS status{};
  auto found = answer.find("status");
  if (found == answer.end() || !found->is_object()) return status;
  const auto& s = *found;
  status.dwServiceType = detail::U32(s, "type");
  status.dwCurrentState = detail::U32(s, "state");
  status.dwControlsAccepted = detail::U32(s, "accepted");
  status.dwWin32ExitCode = detail::U32(s, "exit");
  status.dwServiceSpecificExitCode = detail::U32(s, "specific");
  status.dwCheckPoint = detail::U32(s, "checkpoint");
  status.dwWaitHint = detail::U32(s, "hint");
  status.dwProcessId = detail::U32(s, "pid");
  return status;
}

void CopyText(const std::string& utf8, char16_t* out, std::size_t capacity) {
  std::u16string text = Utf8ToUtf16(utf8);
  std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(out, text.data(), n * sizeof(char16_t));
  out[n] = u'\0';
}

}  // namespace

win::Error OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                          std::uint32_t desiredAccess, SC_HANDLE* manager) {
  if (!manager) return win::ERROR_INVALID_PARAMETER;
  if ((machineName && *machineName) || (databaseName && *databaseName))
    return win::RPC_S_SERVER_UNAVAILABLE;
  nlohmann::json answer;
  if (win::Error error = Call({{"op", "hello"}}, &answer)) return error;
  auto data = std::make_shared<HandleData>();
  data->manager = true;
  data->access = MapManagerAccess(desiredAccess) | SC_MANAGER_CONNECT;
  *manager = Add(std::move(data));
  return win::ERROR_SUCCESS;
}

win::Error OpenServiceW(SC_HANDLE manager, const char16_t* serviceName, std::uint32_t desiredAccess,
                        SC_HANDLE* service) {
  auto data = Find(manager);
  if (!data || !data->manager) return win::ERROR_INVALID_HANDLE;
  if (!serviceName || !service) return win::ERROR_INVALID_PARAMETER;
  nlohmann::json answer;
  if (win::Error error = Call({{"op", "open"}, {"name", Utf16ToUtf8(serviceName)}}, &answer))
    return error;
  auto opened = std::make_shared<HandleData>();
  opened->name = Utf8ToUtf16(detail::Str(answer, "name"));
  opened->access = MapServiceAccess(desiredAccess);
  *service = Add(std::move(opened));
  return win::ERROR_SUCCESS;
}

win::Error CloseServiceHandle(SC_HANDLE handle) {
  std::shared_ptr<HandleData> data;
  {
    std::lock_guard lock(g_mutex);
    auto found = g_handles.find(handle.value);
    if (found == g_handles.end()) return win::ERROR_INVALID_HANDLE;
    data = std::move(found->second);
    g_handles.erase(found);
  }
  std::vector<std::shared_ptr<Notification>> pending;
  {
    std::lock_guard lock(data->mutex);
    pending.swap(data->notifications);
  }
  for (auto& notification : pending) {
    notification->client->Interrupt();
    if (notification->thread.get_id() == std::this_thread::get_id())
      notification->thread.detach();
    else if (notification->thread.joinable())
      notification->thread.join();
  }
  return win::ERROR_SUCCESS;
}

win::Error CreateServiceW(SC_HANDLE manager, const char16_t* serviceName,
                          const char16_t* displayName, std::uint32_t desiredAccess,
                          std::uint32_t serviceType, std::uint32_t startType,
                          std::uint32_t errorControl, const char16_t* binaryPathName,
                          SC_HANDLE* service) {
  auto data = Find(manager);
  if (!data || !data->manager) return win::ERROR_INVALID_HANDLE;
  if (!(data->access & SC_MANAGER_CREATE_SERVICE)) return win::ERROR_ACCESS_DENIED;
  if (!serviceName || !binaryPathName || !service) return win::ERROR_INVALID_PARAMETER;
  nlohmann::json request = {{"op", "create"},
                            {"name", Utf16ToUtf8(serviceName)},
                            {"display", displayName ? Utf16ToUtf8(displayName) : ""},
                            {"type", serviceType},
                            {"start", startType},
                            {"errorControl", errorControl},
                            {"path", Utf16ToUtf8(binaryPathName)}};
  nlohmann::json answer;
  if (win::Error error = Call(request, &answer)) return error;
  auto created = std::make_shared<HandleData>();
  created->name = serviceName;
  created->access = MapServiceAccess(desiredAccess);
  *service = Add(std::move(created));
  return win::ERROR_SUCCESS;
}

win::Error DeleteService(SC_HANDLE service) {
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, SERVICE_DELETE, &data)) return error;
  nlohmann::json answer;
  return Call({{"op", "delete"}, {"name", Utf16ToUtf8(data->name)}}, &answer);
}

win::Error StartServiceW(SC_HANDLE service, std::uint32_t argumentCount,
                         const char16_t* const* arguments) {
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, SERVICE_START, &data)) return error;
  nlohmann::json request = {
      {"op", "start"}, {"name", Utf16ToUtf8(data->name)}, {"args", nlohmann::json::array()}};
  for (std::uint32_t i = 0; arguments && i < argumentCount; ++i)
    if (arguments[i]) request["args"].push_back(Utf16ToUtf8(arguments[i]));
  nlohmann::json answer;
  return Call(request, &answer);
}

win::Error ControlService(SC_HANDLE service, std::uint32_t control, SERVICE_STATUS* status) {
  std::uint32_t right = SERVICE_USER_DEFINED_CONTROL;
  if (control == SERVICE_CONTROL_STOP)
    right = SERVICE_STOP;
  else if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE)
    right = SERVICE_PAUSE_CONTINUE;
  else if (control == SERVICE_CONTROL_INTERROGATE)
    right = SERVICE_INTERROGATE;
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, right, &data)) return error;
  if (!status) return win::ERROR_INVALID_PARAMETER;
  nlohmann::json answer;
  win::Error error =
      Call({{"op", "control"}, {"name", Utf16ToUtf8(data->name)}, {"control", control}}, &answer);
  if (answer.contains("status")) {
    SERVICE_STATUS_PROCESS s = StatusFrom(answer);
    *status = SERVICE_STATUS{s.dwServiceType,
                             s.dwCurrentState,
                             s.dwControlsAccepted,
                             s.dwWin32ExitCode,
                             s.dwServiceSpecificExitCode,
                             s.dwCheckPoint,
                             s.dwWaitHint};
  }
  return error;
}

win::Error QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, void* buffer,
                                std::uint32_t bufferSize, std::uint32_t* bytesNeeded) {
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, SERVICE_QUERY_STATUS, &data)) return error;
  if (infoLevel != SC_STATUS_PROCESS_INFO) return win::ERROR_INVALID_LEVEL;
  if (bytesNeeded) *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
  if (!buffer || bufferSize < sizeof(SERVICE_STATUS_PROCESS)) return win::ERROR_INSUFFICIENT_BUFFER;
  nlohmann::json answer;
  if (win::Error error = Call({{"op", "query"}, {"name", Utf16ToUtf8(data->name)}}, &answer))
    return error;
  SERVICE_STATUS_PROCESS status = StatusFrom(answer);
  std::memcpy(buffer, &status, sizeof status);
  return win::ERROR_SUCCESS;
}

win::Error QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  if (!status) return win::ERROR_INVALID_PARAMETER;
  SERVICE_STATUS_PROCESS full{};
  std::uint32_t needed = 0;
  if (win::Error error =
          QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, &full, sizeof full, &needed))
    return error;
  std::memcpy(status, &full, sizeof *status);
  return win::ERROR_SUCCESS;
}

win::Error ChangeServiceConfigW(SC_HANDLE service, std::uint32_t serviceType,
                                std::uint32_t startType, std::uint32_t errorControl,
                                const char16_t* binaryPathName, const char16_t* displayName) {
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, SERVICE_CHANGE_CONFIG, &data)) return error;
  nlohmann::json request = {{"op", "config"},
                            {"name", Utf16ToUtf8(data->name)},
                            {"type", serviceType},
                            {"start", startType},
                            {"errorControl", errorControl}};
  if (binaryPathName) request["path"] = Utf16ToUtf8(binaryPathName);
  if (displayName) request["display"] = Utf16ToUtf8(displayName);
  nlohmann::json answer;
  return Call(request, &answer);
}

win::Error QueryServiceConfigW(SC_HANDLE service, ServiceConfig* config) {
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, SERVICE_QUERY_CONFIG, &data)) return error;
  if (!config) return win::ERROR_INVALID_PARAMETER;
  nlohmann::json answer;
  if (win::Error error = Call({{"op", "qc"}, {"name", Utf16ToUtf8(data->name)}}, &answer))
    return error;
  config->serviceType = detail::U32(answer, "type");
  config->startType = detail::U32(answer, "start");
  config->errorControl = detail::U32(answer, "errorControl");
  CopyText(detail::Str(answer, "path"), config->binaryPathName, std::size(config->binaryPathName));
  CopyText(detail::Str(answer, "display"), config->displayName, std::size(config->displayName));
  return win::ERROR_SUCCESS;
}

win::Error NotifyServiceStatusChangeW(SC_HANDLE service, std::uint32_t notifyMask,
                                      SERVICE_NOTIFYW* notifyBuffer) {
  std::shared_ptr<HandleData> data;
  if (win::Error error = ServiceWith(service, SERVICE_QUERY_STATUS, &data)) return error;
  if (!notifyBuffer || notifyBuffer->dwVersion != SERVICE_NOTIFY_STATUS_CHANGE ||
      !notifyBuffer->pfnNotifyCallback || notifyMask == 0)
    return win::ERROR_INVALID_PARAMETER;
  auto notification = std::make_shared<Notification>();
  auto client = machine::MachineClient::Connect();
  if (!client) return win::RPC_S_SERVER_UNAVAILABLE;
  notification->client.emplace(client.take());
  if (!notification->client->Send({{"module", detail::kScmModuleName},
                                   {"op", "wait"},
                                   {"name", Utf16ToUtf8(data->name)},
                                   {"mask", notifyMask}}))
    return win::RPC_S_SERVER_UNAVAILABLE;
  std::lock_guard lock(data->mutex);
  Notification* raw = notification.get();
  notification->thread = std::thread([raw, notifyMask, notifyBuffer] {
    // A closed handle interrupts the wait: no callback then.
    auto answer = raw->client->Receive();
    if (!answer || !answer->is_object() || !answer->contains("win32")) return;
    win::Error error = detail::U32(*answer, "win32");
    if (error == win::ERROR_CANCELLED) return;
    SERVICE_STATUS_PROCESS status = StatusFrom(*answer);
    notifyBuffer->dwNotificationStatus = error;
    notifyBuffer->ServiceStatus = status;
    notifyBuffer->dwNotificationTriggered = NotifyBitOf(status.dwCurrentState) & notifyMask;
    notifyBuffer->pfnNotifyCallback(notifyBuffer);
  });
  data->notifications.push_back(std::move(notification));
  return win::ERROR_SUCCESS;
}

}  // namespace pvn::scm
