#pragma once
// Shared pieces of the manager's tests: the test service program and a
// service entry that runs it.
#include <fstream>
#include <sstream>
#include <string>

#include "platform/base/unicode.h"
#include "platform/scm/service_database.h"

namespace pvn::testing {

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

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace pvn::testing
