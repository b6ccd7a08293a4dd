// PvnCourier as a service of a manager run in this process, driven with
// pvnsc and curl like an administrator would, and run from a shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/settings/registry_layout.h"
#include "courier/agent_log.h"
#include "courier/service_agent.h"
#include "platform/machine/testing/machine_process.h"
#include "tests/courier/courier_test_support.h"
#include "tests/platform/scm/scm_test_support.h"
#include "tests/support/temp_prefix.h"

namespace pvn::courier {
namespace {

using namespace std::chrono_literals;
using pvn::testing::AgentLogs;
using pvn::testing::LogMessages;
using pvn::testing::ReadSwitch;
using pvn::testing::RunCommand;

std::string Bin(const char* program) {
  return (pvn::testing::BinDir() / program).string();
}

std::vector<std::string> DispatcherFailureLines() {
  return {"Usb Portvane Remote Agent: Main Entry",
          "CServiceAgent: StartServiceCtrlDispatcher returned error",
          "Usb Portvane Remote Agent: Main StartServiceDispatcher returned error",
          "Usb Portvane Remote Agent: Main StartServiceDispatcher returned error.",
          "Usb Portvane Remote Agent: Main: Exit"};
}

TEST(AgentFromShell, LogsTheDispatcherFailureAndExitsZero) {
  pvn::testing::TempPrefix prefix;
  pvn::testing::InstallApplicationKey();
  auto result = RunCommand(Bin("PvnCourier") + " > /dev/null");
  EXPECT_EQ(result.status, 0);
  auto logs = AgentLogs();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(LogMessages(logs[0]), DispatcherFailureLines());

  // A second run writes the next file; with the web service off the agent
  // stops before contacting the manager.
  pvn::testing::WriteRemote(0, 10500, "50731942");
  EXPECT_EQ(RunCommand(Bin("PvnCourier") + " > /dev/null").status, 0);
  logs = AgentLogs();
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(LogMessages(logs[1]),
            std::vector<std::string>{
                "Usb Portvane Remote Agent: The Remote Control Web Service is not enabled. Stop "
                "PvnCourier procedure."});
}

TEST(AgentHandler, StopRequestWhenNotRunningIsOnlyLogged) {
  pvn::testing::TempPrefix prefix;
  pvn::testing::InstallApplicationKey();
  ASSERT_TRUE(OpenAgentLog());
  CServiceAgent::ServiceCtrlHandler(scm::SERVICE_CONTROL_STOP);
  CServiceAgent::ServiceCtrlHandler(scm::SERVICE_CONTROL_INTERROGATE);
  CloseAgentLog();
  auto logs = AgentLogs();
  ASSERT_EQ(logs.size(), 1u);
  // No status report was tried (it would have failed and been logged).
  EXPECT_EQ(LogMessages(logs[0]),
            (std::vector<std::string>{"CServiceAgent: ServiceCtrlHandler: Entry",
                                      "CServiceAgent: ServiceCtrlHandler: SERVICE_CONTROL_STOP "
                                      "Request.",
                                      "CServiceAgent: ServiceCtrlHandler: Exit",
                                      "CServiceAgent: ServiceCtrlHandler: Entry",
                                      "CServiceAgent: ServiceCtrlHandler: Exit"}));
}

// A running machine (pvnhost) on the test's prefix, with PvnCourier
// registered as an administrator would.
class AgentServiceTest : public pvn::testing::PrefixTest {
 protected:
  void SetUp() override {
    pvn::testing::InstallApplicationKey();
    machine_ = std::make_unique<machine::testing::MachineProcess>(pvn::testing::BinDir());
    ASSERT_TRUE(machine_->running()) << machine_->error();
    auto created = Sc("create PvnCourier binpath= " + Bin("PvnCourier") + " start= demand");
    ASSERT_EQ(created.out, "[SC] CreateService SUCCESS\n");
  }
  void TearDown() override { machine_.reset(); }

  pvn::testing::CommandResult Sc(const std::string& arguments) {
    return RunCommand(Bin("pvnsc") + " " + arguments);
  }

  scm::SERVICE_STATUS_PROCESS WaitFor(std::uint32_t state) {
    auto status = pvn::testing::WaitForServiceState(u"PvnCourier", state);
    EXPECT_EQ(status.dwCurrentState, state);
    return status;
  }

  // curl's status and content type for a command, once the port answers.
  std::string Curl(unsigned port, const std::string& token, const std::string& command) {
    std::string line =
        "curl -s -o /dev/null --retry 20 --retry-connrefused --retry-delay 0 "
        "-w '%{http_code} %{content_type} %{size_download}' -H 'PVN_Token: " +
        token + "' 'http://127.0.0.1:" + std::to_string(port) + "/PVN_SERVICE?PVN_CMD=" + command +
        "'";
    return RunCommand(line).out;
  }

  // The log once its process has written its last line.
  std::string FinalLogText() {
    for (int i = 0; i < 250; ++i) {
      auto logs = AgentLogs();
      if (!logs.empty() && logs.back().find("Main: Exit") != std::string::npos) return logs.back();
      std::this_thread::sleep_for(20ms);
    }
    auto logs = AgentLogs();
    return logs.empty() ? std::string() : logs.back();
  }
  std::vector<std::string> FinalLog() { return LogMessages(FinalLogText()); }

  std::unique_ptr<machine::testing::MachineProcess> machine_;
};

TEST_F(AgentServiceTest, ServesCommandsReportsStatusAndStops) {
  unsigned port = pvn::testing::FreePort();
  pvn::testing::WriteRemote(1, port, "50731942");
  auto key = reg::Key::Open(settings::kPortGateKeyPath, reg::KEY_ALL_ACCESS);
  key->SetDword(u"Stor Enable", 1);

  auto started = Sc("start PvnCourier");
  ASSERT_EQ(started.status, 0) << started.out;
  auto running = WaitFor(scm::SERVICE_RUNNING);

  EXPECT_EQ(Curl(port, "5073194", "STORAGE_OFF"), "404 text/html 0");
  EXPECT_EQ(ReadSwitch(settings::kPortGateKeyPath, u"Stor Enable"), 1);
  EXPECT_EQ(Curl(port, "50731942", "STORAGE_OFF"), "200 text/html 0");
  EXPECT_EQ(ReadSwitch(settings::kAppKeyPath, u"Stor Enable"), 0);
  EXPECT_EQ(ReadSwitch(settings::kPortGateKeyPath, u"Stor Enable"), 0);

  auto queried = Sc("queryex PvnCourier");
  EXPECT_NE(queried.out.find("        TYPE               : 10  WIN32_OWN_PROCESS  \n"
                             "        STATE              : 4  RUNNING \n"
                             "                                (STOPPABLE, NOT_PAUSABLE, "
                             "IGNORES_SHUTDOWN)\n"
                             "        WIN32_EXIT_CODE    : 0  (0x0)\n"),
            std::string::npos)
      << queried.out;
  EXPECT_NE(queried.out.find("PID                : " + std::to_string(running.dwProcessId)),
            std::string::npos);

  auto stopped = Sc("stop PvnCourier");
  EXPECT_EQ(stopped.status, 0) << stopped.out;
  auto status = WaitFor(scm::SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_EQ(status.dwCheckPoint, 3u);
  EXPECT_NE(Sc("query PvnCourier").out.find("STATE              : 1  STOPPED"), std::string::npos);

  auto log = FinalLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "Usb Portvane Remote Agent: Main Entry");
  EXPECT_EQ(log.back(), "Usb Portvane Remote Agent: Main: Exit");
  for (const char* line : {"CServiceAgent: ServiceEntry: Performing Service Start Operations",
                           "CServiceAgent: ServiceCtrlHandler: Entry",
                           "CServiceAgent: ServiceCtrlHandler: SERVICE_CONTROL_STOP Request.",
                           "CServiceAgent: ServiceCtrlHandler: Exit",
                           "CServiceAgent: ServiceEntry: Performing Cleanup Operations",
                           "CServiceAgent: ServiceEntry: Exit"})
    EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
  EXPECT_EQ(
      std::count_if(log.begin(), log.end(),
                    [](const std::string& l) { return l.find("error") != std::string::npos; }),
      0);
  // The cleanup follows the stop request, and the entry's exit follows the cleanup.
  auto at = [&](const char* line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
  EXPECT_LT(at("CServiceAgent: ServiceCtrlHandler: SERVICE_CONTROL_STOP Request."),
            at("CServiceAgent: ServiceEntry: Performing Cleanup Operations"));
  EXPECT_LT(at("CServiceAgent: ServiceEntry: Performing Cleanup Operations"),
            at("CServiceAgent: ServiceEntry: Exit"));
}

TEST_F(AgentServiceTest, InvalidPortLogsTheHelpTextAndStops) {
  pvn::testing::WriteRemote(1, 70000, "50731942");
  ASSERT_EQ(Sc("start PvnCourier").status, 0);
  auto status = WaitFor(scm::SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  std::string all = FinalLogText();
  EXPECT_NE(all.find("CPvnRmtSrv::ServiceMain HttpSrv Creates Failed.\n"), std::string::npos)
      << all;
  EXPECT_NE(all.find("Information! Unable to start web service for remote control..... \n"),
            std::string::npos);
  EXPECT_NE(all.find("5. Run: netsh http add urlacl url=http://*:70000/ user=EVERYONE listen=y+es "
                     "delegate=no\n\r\n\r\nPs. If it still cannot apply, please change to another "
                     "network port.\n"),
            std::string::npos)
      << all;
  EXPECT_EQ(FinalLog().back(), "Usb Portvane Remote Agent: Main: Exit");
}

TEST_F(AgentServiceTest, PortInUseLogsTheHelpTextWithThatPort) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor taken(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
  unsigned port = taken.local_endpoint().port();
  pvn::testing::WriteRemote(1, port, "50731942");
  ASSERT_EQ(Sc("start PvnCourier").status, 0);
  WaitFor(scm::SERVICE_STOPPED);
  std::string all = FinalLogText();
  EXPECT_NE(all.find("CPvnRmtSrv::ServiceMain HttpSrv Creates Failed."), std::string::npos);
  EXPECT_NE(all.find("url=http://*:" + std::to_string(port) + "/ user=EVERYONE"),
            std::string::npos);
}

TEST_F(AgentServiceTest, MissingRemoteUsesTheDefaultsAndARestartStopsTheAgent) {
  // Without a `Remote` value the agent serves port 10500 with the default
  // token; another program may hold that port on this machine, in which
  // case the agent stops with the help text instead.
  ASSERT_EQ(Sc("start PvnCourier").status, 0);
  WaitFor(scm::SERVICE_RUNNING);
  ASSERT_EQ(machine_->Run("reboot").out, "machine restarted\n");
  // It stopped by itself before the restart, and being a demand-start
  // service it was not started again.
  auto status = WaitFor(scm::SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  auto log = FinalLog();
  bool served = std::find(log.begin(), log.end(),
                          "CPvnRmtSrv::ServiceMain HttpSrv Creates Failed.") == log.end();
  if (served) {
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "CServiceAgent: ServiceCtrlHandler: SERVICE_CONTROL_STOP Request."),
              1);
  } else {
    EXPECT_NE(log.end(), std::find_if(log.begin(), log.end(), [](const std::string& l) {
                return l.find("url=http://*:10500/") != std::string::npos;
              }));
  }
}

TEST_F(AgentServiceTest, RebootCommandRestartsTheMachineAndAutomaticAgentStartsAgain) {
  unsigned port = pvn::testing::FreePort();
  pvn::testing::WriteRemote(1, port, "50731942");
  ASSERT_EQ(Sc("config PvnCourier start= auto").out, "[SC] ChangeServiceConfig SUCCESS\n");
  ASSERT_EQ(Sc("start PvnCourier").status, 0);
  auto before = WaitFor(scm::SERVICE_RUNNING);
  EXPECT_EQ(Curl(port, "50731942", "SYS_REBOOT"), "200 text/html 0");

  // The restart stops the agent through its handler; the boot starts it anew.
  for (int i = 0; i < 500 && AgentLogs().size() < 2; ++i) std::this_thread::sleep_for(20ms);
  auto after = WaitFor(scm::SERVICE_RUNNING);
  EXPECT_NE(after.dwProcessId, before.dwProcessId);
  auto logs = AgentLogs();
  ASSERT_EQ(logs.size(), 2u);
  auto first = LogMessages(logs[0]);
  EXPECT_EQ(std::count(first.begin(), first.end(),
                       "CServiceAgent: ServiceCtrlHandler: SERVICE_CONTROL_STOP Request."),
            1);
  EXPECT_EQ(first.back(), "Usb Portvane Remote Agent: Main: Exit");
  EXPECT_EQ(Curl(port, "50731942", "STORAGE_ON"), "200 text/html 0");
}

}  // namespace
}  // namespace pvn::courier
