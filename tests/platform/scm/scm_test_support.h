#pragma once
// Shared pieces of the manager's tests: the test service program and a
// service entry that runs it.
#include <fstream>
#include <sstream>
#include <string>

#include <chrono>
#include <thread>
#include "platform/base/unicode.h"

#include "platform/scm/service_client.h"
#include "platform/scm/service_database.h"

namespace pvn::testing {

#ifdef PVN_TEST_SERVICE
inline std::string TestServiceProgram() {
  return PVN_TEST_SERVICE;
}

// Registers `name` running the test service in `mode`, journalling to `journal`.
inline win::Error RegisterTestService(const std::u16string& name, const std::string& mode,
                                      const std::string& journal,
                                      std::uint32_t start = scm::SERVICE_DEMAND_START) {
  scm::ServiceRecord record;
  record.name = name;
  record.type = scm::SERVICE_WIN32_OWN_PROCESS;
  record.start = start;
  record.errorControl = scm::SERVICE_ERROR_NORMAL;
  record.imagePath = Utf8ToUtf16("\"" + TestServiceProgram() + "\" " + mode + " " + journal);
  return scm::CreateServiceRecord(record);
}
#endif

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The status of a service of the running machine once it is in `state`
// (waiting at most `limit`); the last status seen otherwise.
inline scm::SERVICE_STATUS_PROCESS WaitForServiceState(
    const char16_t* name, std::uint32_t state,
    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  using namespace scm;
  SERVICE_STATUS_PROCESS status{};
  SC_HANDLE manager, service;
  if (OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT, &manager)) return status;
  if (OpenServiceW(manager, name, SERVICE_QUERY_STATUS, &service) == win::ERROR_SUCCESS) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::uint32_t needed = 0;
    while (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, &status, sizeof status, &needed) ==
               win::ERROR_SUCCESS &&
           status.dwCurrentState != state && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return status;
}

}  // namespace pvn::testing
