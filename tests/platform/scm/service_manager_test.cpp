// The manager core, driven in-process, with the test service as child.
#include "platform/scm/service_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/registry/key.h"
#include "tests/platform/scm/scm_test_support.h"
#include "tests/support/temp_prefix.h"

namespace pvn::scm {
namespace {

using namespace std::chrono_literals;
using pvn::testing::ReadText;
using pvn::testing::RegisterTestService;

class ServiceManagerTest : public pvn::testing::PrefixTest {
 protected:
  ServiceManagerTest() : manager_(ManagerOptions{2000ms, 2000ms, 1500ms}) {
    journal_ = (prefix_.path() / "journal.txt").string();
  }

  SERVICE_STATUS_PROCESS WaitFor(std::u16string_view name, std::uint32_t mask) {
    SERVICE_STATUS_PROCESS status{};
    EXPECT_EQ(manager_.WaitForState(name, mask, nullptr, &status, 50ms), win::ERROR_SUCCESS);
    return status;
  }

  ServiceManager manager_;
  std::string journal_;
};

TEST_F(ServiceManagerTest, StartControlAndStop) {
  ASSERT_EQ(RegisterTestService(u"Svc", "normal", journal_), win::ERROR_SUCCESS);
  SERVICE_STATUS_PROCESS status{};
  ASSERT_EQ(manager_.Query(u"Svc", &status), win::ERROR_SUCCESS);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, win::ERROR_SERVICE_NEVER_STARTED);

  ASSERT_EQ(manager_.Start(u"svc", {u"one"}), win::ERROR_SUCCESS);
  status = WaitFor(u"Svc", SERVICE_NOTIFY_RUNNING);
  EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
  EXPECT_GT(status.dwProcessId, 0u);
  EXPECT_EQ(manager_.Start(u"Svc", {}), win::ERROR_SERVICE_ALREADY_RUNNING);

  SERVICE_STATUS after{};
  EXPECT_EQ(manager_.Control(u"Svc", SERVICE_CONTROL_INTERROGATE, &after), win::ERROR_SUCCESS);
  EXPECT_EQ(after.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(manager_.Control(u"Svc", SERVICE_CONTROL_PAUSE, &after),
            win::ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(manager_.Control(u"Svc", SERVICE_CONTROL_SHUTDOWN, &after),
            win::ERROR_INVALID_SERVICE_CONTROL);
  // The handler has run when the call returns: the status is its report.
  ASSERT_EQ(manager_.Control(u"Svc", SERVICE_CONTROL_STOP, &after), win::ERROR_SUCCESS);
  EXPECT_TRUE(after.dwCurrentState == SERVICE_STOP_PENDING ||
              after.dwCurrentState == SERVICE_STOPPED);

  status = WaitFor(u"Svc", SERVICE_NOTIFY_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_EQ(status.dwProcessId, 0u);
  EXPECT_EQ(manager_.Control(u"Svc", SERVICE_CONTROL_STOP, &after), win::ERROR_SERVICE_NOT_ACTIVE);
  // The dispatcher returned once the service had stopped.
  for (int i = 0; i < 100 && ReadText(journal_).find("dispatcher 0") == std::string::npos; ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ReadText(journal_), "main 2 with arguments\ncontrol 4\ncontrol 1\ndispatcher 0\n");

  // It can run again.
  ASSERT_EQ(manager_.Start(u"Svc", {}), win::ERROR_SUCCESS);
  WaitFor(u"Svc", SERVICE_NOTIFY_RUNNING);
}

TEST_F(ServiceManagerTest, StartFailures) {
  ASSERT_EQ(RegisterTestService(u"Silent", "no-dispatch", journal_), win::ERROR_SUCCESS);
  ASSERT_EQ(RegisterTestService(u"Early", "exit-early", journal_), win::ERROR_SUCCESS);
  ASSERT_EQ(RegisterTestService(u"Off", "normal", journal_, SERVICE_DISABLED), win::ERROR_SUCCESS);
  EXPECT_EQ(manager_.Start(u"Silent", {}), win::ERROR_SERVICE_REQUEST_TIMEOUT);
  EXPECT_EQ(WaitFor(u"Silent", SERVICE_NOTIFY_STOPPED).dwWin32ExitCode, win::ERROR_PROCESS_ABORTED);
  EXPECT_EQ(manager_.Start(u"Early", {}), win::ERROR_PROCESS_ABORTED);
  EXPECT_EQ(manager_.Start(u"Off", {}), win::ERROR_SERVICE_DISABLED);
  EXPECT_EQ(manager_.Start(u"Nobody", {}), win::ERROR_SERVICE_DOES_NOT_EXIST);

  ServiceRecord missing;
  missing.name = u"Missing";
  missing.type = SERVICE_WIN32_OWN_PROCESS;
  missing.start = SERVICE_DEMAND_START;
  missing.imagePath = u"C:\\nowhere\\agent.exe";
  ASSERT_EQ(CreateServiceRecord(missing), win::ERROR_SUCCESS);
  EXPECT_EQ(manager_.Start(u"Missing", {}), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(ServiceManagerTest, ProcessEndingWhileRunningIsAStopWithAnError) {
  ASSERT_EQ(RegisterTestService(u"Crash", "crash", journal_), win::ERROR_SUCCESS);
  ASSERT_EQ(manager_.Start(u"Crash", {}), win::ERROR_SUCCESS);
  auto status = WaitFor(u"Crash", SERVICE_NOTIFY_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, win::ERROR_PROCESS_ABORTED);
}

TEST_F(ServiceManagerTest, ShutdownStopsServicesAndEndsTheDeafOnes) {
  ASSERT_EQ(RegisterTestService(u"Auto", "normal", journal_, SERVICE_AUTO_START),
            win::ERROR_SUCCESS);
  std::string deafJournal = journal_ + ".deaf";
  ASSERT_EQ(RegisterTestService(u"Deaf", "deaf", deafJournal, SERVICE_AUTO_START),
            win::ERROR_SUCCESS);
  ASSERT_EQ(RegisterTestService(u"Manual", "normal", journal_ + ".manual"), win::ERROR_SUCCESS);
  manager_.StartAutomatic();
  WaitFor(u"Auto", SERVICE_NOTIFY_RUNNING);
  WaitFor(u"Deaf", SERVICE_NOTIFY_RUNNING);
  SERVICE_STATUS_PROCESS manual{};
  manager_.Query(u"Manual", &manual);
  EXPECT_EQ(manual.dwWin32ExitCode, win::ERROR_SERVICE_NEVER_STARTED);

  auto begun = std::chrono::steady_clock::now();
  manager_.ShutdownAll();
  auto took = std::chrono::steady_clock::now() - begun;
  SERVICE_STATUS_PROCESS status{};
  manager_.Query(u"Auto", &status);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  manager_.Query(u"Deaf", &status);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, win::ERROR_PROCESS_ABORTED);  // ended after the time-out
  EXPECT_GE(took, 1500ms);
  EXPECT_NE(ReadText(journal_).find("control 5\n"), std::string::npos);
  EXPECT_NE(ReadText(deafJournal).find("control 5\n"), std::string::npos);
}

TEST_F(ServiceManagerTest, DeleteWaitsForTheServiceToStop) {
  ASSERT_EQ(RegisterTestService(u"Gone", "normal", journal_), win::ERROR_SUCCESS);
  ASSERT_EQ(manager_.Start(u"Gone", {}), win::ERROR_SUCCESS);
  WaitFor(u"Gone", SERVICE_NOTIFY_RUNNING);
  ASSERT_EQ(manager_.Delete(u"Gone"), win::ERROR_SUCCESS);
  EXPECT_EQ(manager_.Delete(u"Gone"), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  ServiceRecord record;
  EXPECT_EQ(ReadServiceRecord(u"Gone", &record), win::ERROR_SUCCESS);
  SERVICE_STATUS status{};
  ASSERT_EQ(manager_.Control(u"Gone", SERVICE_CONTROL_STOP, &status), win::ERROR_SUCCESS);
  for (int i = 0; i < 200 && ReadServiceRecord(u"Gone", &record) == win::ERROR_SUCCESS; ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ReadServiceRecord(u"Gone", &record), win::ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST(ServiceDispatcher, ProgramStartedOutsideTheManagerCannotConnect) {
  pvn::testing::TempPrefix prefix;
  auto result = pvn::testing::RunCommand("env -u PVN_SERVICE_CHANNEL " +
                                         pvn::testing::TestServiceProgram() + " normal");
  EXPECT_EQ(result.out, "dispatcher 1063\n");
  EXPECT_EQ(result.status, 0);
}

}  // namespace
}  // namespace pvn::scm
