// pvnsc: the Service Control Manager's command-line tool, with sc.exe's
// syntax and output for create, delete, start, stop, query, queryex, qc and
// config. Options are written "name= value", the blank after "=" included.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/scm/service_client.h"

namespace {

using namespace pvn::scm;
using pvn::win::Error;

const char* Message(Error error) {
  static const std::map<Error, const char*> kMessages = {
      {2, "The system cannot find the file specified."},
      {5, "Access is denied."},
      {50, "The request is not supported."},
      {87, "The parameter is incorrect."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {1052, "The requested control is not valid for this service."},
      {1053, "The service did not respond to the start or control request in a timely fashion."},
      {1056, "An instance of the service is already running."},
      {1058,
       "The service cannot be started, either because it is disabled or because it has no "
       "enabled devices associated with it."},
      {1060, "The specified service does not exist as an installed service."},
      {1061, "The service cannot accept control messages at this time."},
      {1062, "The service has not been started."},
      {1063, "The service process could not connect to the service controller."},
      {1067, "The process terminated unexpectedly."},
      {1072, "The specified service has been marked for deletion."},
      {1073, "The specified service already exists."},
      {1077, "No attempts to start the service have been made since the last boot."},
      {1078, "The name is already in use as either a service name or a service display name."},
      {1115, "A system shutdown is in progress."},
      {1722, "The RPC server is unavailable."},
  };
  auto found = kMessages.find(error);
  return found == kMessages.end() ? "Unknown error." : found->second;
}

int Failed(const char* call, Error error) {
  std::printf("[SC] %s FAILED %u:\n\n%s\n\n", call, error, Message(error));
  int code = static_cast<int>(error & 0xFF);
  return code ? code : 1;
}

const char* TypeName(std::uint32_t type) {
  switch (type & ~SERVICE_INTERACTIVE_PROCESS) {
    case SERVICE_KERNEL_DRIVER:
      return "KERNEL_DRIVER";
    case SERVICE_FILE_SYSTEM_DRIVER:
      return "FILE_SYSTEM_DRIVER";
    case SERVICE_WIN32_OWN_PROCESS:
      return "WIN32_OWN_PROCESS";
    case SERVICE_WIN32_SHARE_PROCESS:
      return "WIN32_SHARE_PROCESS";
    default:
      return "";
  }
}

const char* StateName(std::uint32_t state) {
  static const char* kNames[] = {"",        "STOPPED",          "START_PENDING", "STOP_PENDING",
                                 "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  return state <= 7 ? kNames[state] : "";
}

const char* StartName(std::uint32_t start) {
  static const char* kNames[] = {"BOOT_START", "SYSTEM_START", "AUTO_START", "DEMAND_START",
                                 "DISABLED"};
  return start <= 4 ? kNames[start] : "";
}

const char* ErrorControlName(std::uint32_t value) {
  static const char* kNames[] = {"IGNORE", "NORMAL", "SEVERE", "CRITICAL"};
  return value <= 3 ? kNames[value] : "";
}

void PrintStatus(const std::string& name, const SERVICE_STATUS_PROCESS& s, bool withProcess) {
  std::printf("\nSERVICE_NAME: %s \n", name.c_str());
  std::printf("        TYPE               : %x  %s  \n", s.dwServiceType,
              TypeName(s.dwServiceType));
  std::printf("        STATE              : %u  %s \n", s.dwCurrentState,
              StateName(s.dwCurrentState));
  std::printf(
      "                                (%s, %s, %s)\n",
      (s.dwControlsAccepted & SERVICE_ACCEPT_STOP) ? "STOPPABLE" : "NOT_STOPPABLE",
      (s.dwControlsAccepted & SERVICE_ACCEPT_PAUSE_CONTINUE) ? "PAUSABLE" : "NOT_PAUSABLE",
      (s.dwControlsAccepted & SERVICE_ACCEPT_SHUTDOWN) ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN");
  std::printf("        WIN32_EXIT_CODE    : %u  (0x%x)\n", s.dwWin32ExitCode, s.dwWin32ExitCode);
  std::printf("        SERVICE_EXIT_CODE  : %u  (0x%x)\n", s.dwServiceSpecificExitCode,
              s.dwServiceSpecificExitCode);
  std::printf("        CHECKPOINT         : 0x%x\n", s.dwCheckPoint);
  std::printf("        WAIT_HINT          : 0x%x\n", s.dwWaitHint);
  if (withProcess) {
    std::printf("        PID                : %u\n", s.dwProcessId);
    std::printf("        FLAGS              : \n");
  }
}

void Usage() {
  std::printf(
      "DESCRIPTION:\n"
      "        pvnsc is a command line program used for communicating with the\n"
      "        Service Control Manager and services.\n"
      "USAGE:\n"
      "        pvnsc <command> [service name] <option1> <option2>...\n\n"
      "        Commands: create, delete, start, stop, query, queryex, qc, config\n"
      "        create:  type= <own|share|kernel|filesys> start= "
      "<boot|system|auto|demand|disabled>\n"
      "                 error= <normal|severe|critical|ignore> binpath= <path>\n"
      "                 displayname= <name>\n"
      "        config:  start= <auto|demand|disabled|boot|system>\n");
}

// "name= value" pairs after the service name; false on a malformed option.
bool ParseOptions(int argc, char** argv, int first, std::map<std::string, std::string>* options) {
  for (int i = first; i < argc; i += 2) {
    std::string key = argv[i];
    if (key.empty() || key.back() != '=' || i + 1 >= argc) return false;
    for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    (*options)[key] = argv[i + 1];
  }
  return true;
}

bool Lookup(const std::map<std::string, std::uint32_t>& table, const std::string& word,
            std::uint32_t* value) {
  std::string lower = word;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto found = table.find(lower);
  if (found == table.end()) return false;
  *value = found->second;
  return true;
}

const std::map<std::string, std::uint32_t> kTypes = {{"own", SERVICE_WIN32_OWN_PROCESS},
                                                     {"share", SERVICE_WIN32_SHARE_PROCESS},
                                                     {"kernel", SERVICE_KERNEL_DRIVER},
                                                     {"filesys", SERVICE_FILE_SYSTEM_DRIVER}};
const std::map<std::string, std::uint32_t> kStarts = {{"boot", SERVICE_BOOT_START},
                                                      {"system", SERVICE_SYSTEM_START},
                                                      {"auto", SERVICE_AUTO_START},
                                                      {"demand", SERVICE_DEMAND_START},
                                                      {"disabled", SERVICE_DISABLED}};
const std::map<std::string, std::uint32_t> kErrors = {{"ignore", SERVICE_ERROR_IGNORE},
                                                      {"normal", SERVICE_ERROR_NORMAL},
                                                      {"severe", SERVICE_ERROR_SEVERE},
                                                      {"critical", SERVICE_ERROR_CRITICAL}};

// Closes the handles it holds when the command ends.
struct Handles {
  SC_HANDLE manager, service;
  ~Handles() {
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    Usage();
    return 1;
  }
  std::string command = argv[1];
  for (auto& c : command) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string name = argv[2];
  std::u16string wideName = pvn::Utf8ToUtf16(name);
  std::map<std::string, std::string> options;
  if (!ParseOptions(argc, argv, 3, &options)) {
    Usage();
    return 1;
  }

  Handles h;
  std::uint32_t managerAccess =
      command == "create" ? SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT : SC_MANAGER_CONNECT;
  if (Error error = OpenSCManagerW(nullptr, nullptr, managerAccess, &h.manager))
    return Failed("OpenSCManager", error);

  if (command == "create") {
    std::uint32_t type = SERVICE_WIN32_OWN_PROCESS, start = SERVICE_DEMAND_START,
                  errorControl = SERVICE_ERROR_NORMAL;
    if ((options.count("type=") && !Lookup(kTypes, options["type="], &type)) ||
        (options.count("start=") && !Lookup(kStarts, options["start="], &start)) ||
        (options.count("error=") && !Lookup(kErrors, options["error="], &errorControl)) ||
        !options.count("binpath=")) {
      Usage();
      return 1;
    }
    std::u16string path = pvn::Utf8ToUtf16(options["binpath="]);
    std::u16string display = pvn::Utf8ToUtf16(options["displayname="]);
    if (Error error =
            CreateServiceW(h.manager, wideName.c_str(), display.empty() ? nullptr : display.c_str(),
                           SERVICE_ALL_ACCESS, type, start, errorControl, path.c_str(), &h.service))
      return Failed("CreateService", error);
    std::printf("[SC] CreateService SUCCESS\n");
    return 0;
  }

  std::uint32_t access = SERVICE_QUERY_STATUS;
  if (command == "delete")
    access = SERVICE_DELETE;
  else if (command == "start")
    access = SERVICE_START | SERVICE_QUERY_STATUS;
  else if (command == "stop")
    access = SERVICE_STOP;
  else if (command == "config")
    access = SERVICE_CHANGE_CONFIG;
  else if (command == "qc")
    access = SERVICE_QUERY_CONFIG;
  else if (command != "query" && command != "queryex") {
    Usage();
    return 1;
  }
  if (Error error = OpenServiceW(h.manager, wideName.c_str(), access, &h.service))
    return Failed("OpenService", error);

  if (command == "delete") {
    if (Error error = DeleteService(h.service)) return Failed("DeleteService", error);
    std::printf("[SC] DeleteService SUCCESS\n");
  } else if (command == "start") {
    std::vector<std::u16string> arguments;
    for (int i = 3; i < argc; ++i) arguments.push_back(pvn::Utf8ToUtf16(argv[i]));
    std::vector<const char16_t*> pointers;
    for (auto& a : arguments) pointers.push_back(a.c_str());
    if (Error error =
            StartServiceW(h.service, static_cast<std::uint32_t>(pointers.size()), pointers.data()))
      return Failed("StartService", error);
    SERVICE_STATUS_PROCESS status{};
    std::uint32_t needed = 0;
    QueryServiceStatusEx(h.service, SC_STATUS_PROCESS_INFO, &status, sizeof status, &needed);
    PrintStatus(name, status, true);
  } else if (command == "stop") {
    SERVICE_STATUS status{};
    if (Error error = ControlService(h.service, SERVICE_CONTROL_STOP, &status))
      return Failed("ControlService", error);
    SERVICE_STATUS_PROCESS full{};
    std::memcpy(&full, &status, sizeof status);
    PrintStatus(name, full, false);
  } else if (command == "query" || command == "queryex") {
    SERVICE_STATUS_PROCESS status{};
    std::uint32_t needed = 0;
    if (Error error = QueryServiceStatusEx(h.service, SC_STATUS_PROCESS_INFO, &status,
                                           sizeof status, &needed))
      return Failed(command == "query" ? "QueryServiceStatus" : "QueryServiceStatusEx", error);
    PrintStatus(name, status, command == "queryex");
  } else if (command == "config") {
    std::uint32_t type = SERVICE_NO_CHANGE, start = SERVICE_NO_CHANGE,
                  errorControl = SERVICE_NO_CHANGE;
    if ((options.count("type=") && !Lookup(kTypes, options["type="], &type)) ||
        (options.count("start=") && !Lookup(kStarts, options["start="], &start)) ||
        (options.count("error=") && !Lookup(kErrors, options["error="], &errorControl))) {
      Usage();
      return 1;
    }
    bool hasPath = options.count("binpath=") != 0;
    bool hasDisplay = options.count("displayname=") != 0;
    std::u16string path = pvn::Utf8ToUtf16(options["binpath="]);
    std::u16string display = pvn::Utf8ToUtf16(options["displayname="]);
    if (Error error = ChangeServiceConfigW(h.service, type, start, errorControl,
                                           hasPath ? path.c_str() : nullptr,
                                           hasDisplay ? display.c_str() : nullptr))
      return Failed("ChangeServiceConfig", error);
    std::printf("[SC] ChangeServiceConfig SUCCESS\n");
  } else if (command == "qc") {
    ServiceConfig config;
    if (Error error = QueryServiceConfigW(h.service, &config))
      return Failed("QueryServiceConfig", error);
    std::printf("[SC] QueryServiceConfig SUCCESS\n\n");
    std::printf("SERVICE_NAME: %s\n", name.c_str());
    std::printf("        TYPE               : %x  %s \n", config.serviceType,
                TypeName(config.serviceType));
    std::printf("        START_TYPE         : %u   %s\n", config.startType,
                StartName(config.startType));
    std::printf("        ERROR_CONTROL      : %u   %s\n", config.errorControl,
                ErrorControlName(config.errorControl));
    std::printf("        BINARY_PATH_NAME   : %s\n",
                pvn::Utf16ToUtf8(config.binaryPathName).c_str());
    std::printf("        DISPLAY_NAME       : %s\n", pvn::Utf16ToUtf8(config.displayName).c_str());
  }
  return 0;
}
