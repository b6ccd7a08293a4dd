// The client calls and pvnsc against a manager served in this process.
#include "platform/scm/service_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/machine/client/machine_client.h"
#include "platform/machine/testing/machine_process.h"
#include "platform/scm/channel.h"
#include "tests/platform/scm/scm_test_support.h"
#include "tests/support/temp_prefix.h"

namespace pvn::scm {
namespace {

using namespace std::chrono_literals;
using pvn::testing::RunCommand;

// A running machine (pvnhost) on the test's prefix, with its manager.
class ServiceClientTest : public pvn::testing::PrefixTest {
 protected:
  void SetUp() override {
    machine_ = std::make_unique<machine::testing::MachineProcess>(pvn::testing::BinDir());
    ASSERT_TRUE(machine_->running()) << machine_->error();
    journal_ = (prefix_.path() / "journal.txt").string();
  }
  void TearDown() override { machine_.reset(); }

  pvn::testing::CommandResult Sc(const std::string& arguments) {
    return RunCommand((pvn::testing::BinDir() / "pvnsc").string() + " " + arguments);
  }

  std::unique_ptr<machine::testing::MachineProcess> machine_;
  std::string journal_;
};

TEST(ServiceClientWithoutMachine, OpenFails) {
  pvn::testing::TempPrefix prefix;
  SC_HANDLE manager;
  EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT, &manager),
            win::RPC_S_SERVER_UNAVAILABLE);
  auto result = RunCommand((pvn::testing::BinDir() / "pvnsc").string() + " query PvnCourier");
  EXPECT_EQ(result.out, "[SC] OpenSCManager FAILED 1722:\n\nThe RPC server is unavailable.\n\n");
  EXPECT_NE(result.status, 0);
}

TEST_F(ServiceClientTest, ToolCreatesStartsQueriesStopsAndDeletes) {
  std::string binpath =
      "\"\\\"" + pvn::testing::TestServiceProgram() + "\\\" normal " + journal_ + "\"";
  auto created = Sc("create Svc type= own start= demand binpath= " + binpath);
  EXPECT_EQ(created.out, "[SC] CreateService SUCCESS\n");
  EXPECT_EQ(created.status, 0);
  EXPECT_EQ(Sc("create Svc binpath= x").out,
            "[SC] CreateService FAILED 1073:\n\nThe specified service already exists.\n\n");

  auto never = Sc("query Svc");
  EXPECT_EQ(never.out,
            "\nSERVICE_NAME: Svc \n"
            "        TYPE               : 10  WIN32_OWN_PROCESS  \n"
            "        STATE              : 1  STOPPED \n"
            "                                (NOT_STOPPABLE, NOT_PAUSABLE, IGNORES_SHUTDOWN)\n"
            "        WIN32_EXIT_CODE    : 1077  (0x435)\n"
            "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
            "        CHECKPOINT         : 0x0\n"
            "        WAIT_HINT          : 0x0\n");

  auto started = Sc("start Svc");
  EXPECT_EQ(started.status, 0);
  EXPECT_NE(started.out.find("        PID                : "), std::string::npos) << started.out;
  auto status = pvn::testing::WaitForServiceState(u"Svc", SERVICE_RUNNING);
  ASSERT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  auto queried = Sc("queryex svc");
  EXPECT_NE(queried.out.find("        STATE              : 4  RUNNING \n"
                             "                                (STOPPABLE, NOT_PAUSABLE, "
                             "IGNORES_SHUTDOWN)\n"),
            std::string::npos)
      << queried.out;
  EXPECT_NE(queried.out.find("PID                : " + std::to_string(status.dwProcessId) + "\n"),
            std::string::npos);
  EXPECT_EQ(Sc("start Svc").out,
            "[SC] StartService FAILED 1056:\n\nAn instance of the service is already running.\n\n");

  auto stopped = Sc("stop Svc");
  // The test service stops right after its handler: either state may be seen.
  EXPECT_TRUE(stopped.out.find("STATE              : 3  STOP_PENDING") != std::string::npos ||
              stopped.out.find("STATE              : 1  STOPPED") != std::string::npos)
      << stopped.out;
  ASSERT_EQ(pvn::testing::WaitForServiceState(u"Svc", SERVICE_STOPPED).dwCurrentState,
            SERVICE_STOPPED);

  EXPECT_EQ(Sc("config Svc start= auto").out, "[SC] ChangeServiceConfig SUCCESS\n");
  auto config = Sc("qc Svc");
  EXPECT_NE(config.out.find("START_TYPE         : 2   AUTO_START\n"), std::string::npos)
      << config.out;
  EXPECT_EQ(Sc("delete Svc").out, "[SC] DeleteService SUCCESS\n");
  EXPECT_EQ(Sc("query Svc").out,
            "[SC] OpenService FAILED 1060:\n\nThe specified service does not exist as an "
            "installed service.\n\n");
}

TEST_F(ServiceClientTest, NotificationsAccessAndStartType) {
  ASSERT_EQ(pvn::testing::RegisterTestService(u"Svc", "normal", journal_), win::ERROR_SUCCESS);
  SC_HANDLE scm, service, readOnly;
  ASSERT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT, &scm), win::ERROR_SUCCESS);
  ASSERT_EQ(OpenServiceW(scm, u"SVC", SERVICE_ALL_ACCESS, &service), win::ERROR_SUCCESS);
  ASSERT_EQ(OpenServiceW(scm, u"Svc", SERVICE_QUERY_STATUS, &readOnly), win::ERROR_SUCCESS);
  SC_HANDLE none;
  EXPECT_EQ(OpenServiceW(scm, u"Nobody", SERVICE_ALL_ACCESS, &none),
            win::ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(StartServiceW(readOnly, 0, nullptr), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateServiceW(scm, u"X", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, u"C:\\x.exe", &none),
            win::ERROR_ACCESS_DENIED);

  struct Seen {
    std::mutex mutex;
    std::condition_variable cv;
    int calls = 0;
    std::uint32_t state = 0;
  } seen;
  SERVICE_NOTIFYW notify{};
  notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
  notify.pContext = &seen;
  notify.pfnNotifyCallback = [](void* parameter) {
    auto* n = static_cast<SERVICE_NOTIFYW*>(parameter);
    auto* s = static_cast<Seen*>(n->pContext);
    std::lock_guard lock(s->mutex);
    ++s->calls;
    s->state = n->ServiceStatus.dwCurrentState;
    s->cv.notify_all();
  };
  auto waitCalls = [&](int calls) {
    std::unique_lock lock(seen.mutex);
    return seen.cv.wait_for(lock, 10s, [&] { return seen.calls >= calls; });
  };
  ASSERT_EQ(NotifyServiceStatusChangeW(service, SERVICE_NOTIFY_RUNNING, &notify),
            win::ERROR_SUCCESS);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(seen.calls, 0);  // not running yet
  ASSERT_EQ(StartServiceW(service, 0, nullptr), win::ERROR_SUCCESS);
  ASSERT_TRUE(waitCalls(1));
  EXPECT_EQ(seen.state, SERVICE_RUNNING);
  EXPECT_EQ(notify.dwNotificationTriggered, SERVICE_NOTIFY_RUNNING);

  ASSERT_EQ(NotifyServiceStatusChangeW(service, SERVICE_NOTIFY_STOPPED, &notify),
            win::ERROR_SUCCESS);
  SERVICE_STATUS status{};
  ASSERT_EQ(ControlService(service, SERVICE_CONTROL_STOP, &status), win::ERROR_SUCCESS);
  ASSERT_TRUE(waitCalls(2));
  EXPECT_EQ(seen.state, SERVICE_STOPPED);

  ASSERT_EQ(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                 nullptr, nullptr),
            win::ERROR_SUCCESS);
  ServiceConfig config;
  ASSERT_EQ(QueryServiceConfigW(service, &config), win::ERROR_SUCCESS);
  EXPECT_EQ(config.startType, SERVICE_AUTO_START);
  EXPECT_EQ(config.serviceType, SERVICE_WIN32_OWN_PROCESS);

  // A pending notification ends with its handle, without a callback.
  ASSERT_EQ(NotifyServiceStatusChangeW(readOnly, SERVICE_NOTIFY_RUNNING, &notify),
            win::ERROR_SUCCESS);
  EXPECT_EQ(CloseServiceHandle(readOnly), win::ERROR_SUCCESS);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(CloseServiceHandle(service), win::ERROR_SUCCESS);
  EXPECT_EQ(CloseServiceHandle(service), win::ERROR_INVALID_HANDLE);
  EXPECT_EQ(CloseServiceHandle(scm), win::ERROR_SUCCESS);
}

TEST_F(ServiceClientTest, RestartStopsServicesAndTellsWhoWaits) {
  ASSERT_EQ(pvn::testing::RegisterTestService(u"Svc", "normal", journal_), win::ERROR_SUCCESS);
  SC_HANDLE scm, service;
  ASSERT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT, &scm), win::ERROR_SUCCESS);
  ASSERT_EQ(OpenServiceW(scm, u"Svc", SERVICE_START | SERVICE_QUERY_STATUS, &service),
            win::ERROR_SUCCESS);
  ASSERT_EQ(StartServiceW(service, 0, nullptr), win::ERROR_SUCCESS);
  ASSERT_EQ(pvn::testing::WaitForServiceState(u"Svc", SERVICE_RUNNING).dwCurrentState,
            SERVICE_RUNNING);

  static std::atomic<int> calls{0};
  calls = 0;
  SERVICE_NOTIFYW notify{};
  notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
  notify.pfnNotifyCallback = [](void*) { ++calls; };
  ASSERT_EQ(NotifyServiceStatusChangeW(service, SERVICE_NOTIFY_STOPPED, &notify),
            win::ERROR_SUCCESS);
  ASSERT_EQ(machine_->Run("reboot").out, "machine restarted\n");
  for (int i = 0; i < 500 && calls == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(calls.load(), 1);
  EXPECT_EQ(notify.dwNotificationStatus, win::ERROR_SUCCESS);
  EXPECT_EQ(notify.ServiceStatus.dwCurrentState, SERVICE_STOPPED);
  EXPECT_NE(pvn::testing::ReadText(journal_).find("control 5\n"), std::string::npos);
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
}

TEST_F(ServiceClientTest, MalformedRequestsLeaveTheManagerServing) {
  const char* requests[] = {
      R"({"module": "scm", "op": 5})",
      R"({"module": "scm", "op": "query", "name": 7})",
      R"({"module": "scm", "op": "control", "name": "x", "control": -1})",
      R"({"module": "scm", "op": "create", "name": "Y", "type": "own"})",
      R"({"module": "scm", "op": "start", "name": "Y", "args": [1, {"a": 2}]})",
      R"({"module": "scm", "op": "wait", "name": "Nobody", "mask": "all"})"};
  for (const char* text : requests) {
    auto client = machine::MachineClient::Connect();
    ASSERT_TRUE(client);
    auto answer = client->Request(nlohmann::json::parse(text));
    ASSERT_TRUE(answer) << text;
    EXPECT_EQ((*answer)["ok"], false) << text;
    EXPECT_NE(detail::U32(*answer, "win32"), 0u) << text;
  }
  SC_HANDLE scm;
  ASSERT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT, &scm), win::ERROR_SUCCESS);
  CloseServiceHandle(scm);
}

}  // namespace
}  // namespace pvn::scm
