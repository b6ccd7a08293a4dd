// The main window against a running machine: device broadcasts become
// balloons, and the restart asked for at the reboot prompt ends the console.
#include "console/platform_links.h"
#include "console/ps_usb_portvane.h"
#include "platform/machine/testing/machine_process.h"
#include "tests/console/support/console_fixture.h"

namespace pvn::testing {
namespace {

using console::CPsUsbPortvane;

class MachineLinkTest : public ConsoleTest {
 protected:
  console::ConsoleEnvironment LinkedEnv() {
    auto env = Env();
    env.machine = &link_;
    env.shutdown = &power_;
    env.services = &services_;
    return env;
  }
  std::unique_ptr<CPsUsbPortvane> MakeSheet() {
    auto sheet = std::make_unique<CPsUsbPortvane>("Portvane Console", LinkedEnv());
    sheet->AddPage(std::make_unique<TestPage>("First"));
    sheet->AddHeaderItem({QPixmap(), "Caption", "Sub-caption", Qt::white, 0});
    return sheet;
  }
  bool BalloonShown(const QString& text) const {
    for (const QString& balloon : tray_.Balloons())
      if (balloon == text) return true;
    return false;
  }

  console::PlatformMachineLink link_;
  console::PlatformShutdownControl power_;
  console::PlatformServiceControl services_;
};

// The sheet opens the agent's service through the machine's Service Control
// Manager and registers for its status changes; without the service it runs
// on without the handles.
TEST_F(MachineLinkTest, AgentServiceHandlesComeFromTheMachinesManager) {
  machine::testing::MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  for (bool registered : {false, true}) {
    if (registered) {
      const auto create = RunCommand((BinDir() / "pvnsc").string() + " create PvnCourier binpath= " +
                                     (BinDir() / "PvnCourier").string() + " start= demand");
      ASSERT_EQ(create.status, 0) << create.out;
    }
    auto sheet = MakeSheet();
    WhenShown<CPsUsbPortvane>([&](CPsUsbPortvane* s) { s->EndDialog(ui::IDOK); });
    sheet->DoModal();
    EXPECT_EQ(sheet->m_bAgentServiceReady, registered);
    EXPECT_EQ(sheet->m_hService != 0, registered);
    EXPECT_EQ(sheet->m_hSCManager != 0, registered);
  }
}

TEST_F(MachineLinkTest, BroadcastsOfTheRunningMachineAndItsRestart) {
  machine::testing::MachineProcess machine(BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  const std::string stick =
      (SourceDir() / "platform/machine/devices/usb-stick-sandisk.json").string();
  auto sheet = MakeSheet();
  dialogs_.AnswerMessageBox(ui::IDYES);
  const int result = [&] {
    WhenShown<CPsUsbPortvane>([&](CPsUsbPortvane* s) {
      s->m_bPlugInNotices = true;
      const auto plug = machine.Run("plug '" + stick + "'");
      ASSERT_EQ(plug.status, 0) << plug.err;
      EXPECT_TRUE(WaitFor([&] { return BalloonShown("New device is inserted."); }));
      EXPECT_TRUE(WaitFor([&] { return BalloonShown("Disk D is inserted."); }));
      // Yes at the prompt restarts the machine, whose notice ends the console.
      s->RequestRebootPrompt();
    });
    return sheet->DoModal();
  }();
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_EQ(dialogs_.MessageBoxes().back().caption, "Reboot");
  // The machine came back from the restart.
  EXPECT_TRUE(WaitFor([&] { return machine.Run("list").status == 0; }, 15000));
}

TEST_F(MachineLinkTest, WithoutAMachineNothingArrivesAndNoRestartHappens) {
  auto sheet = MakeSheet();
  dialogs_.AnswerMessageBox(ui::IDYES);
  WhenShown<CPsUsbPortvane>([&](CPsUsbPortvane* s) {
    s->RequestRebootPrompt();
    ASSERT_TRUE(WaitFor([&] { return !s->m_bRebootPromptPending; }));
    EXPECT_TRUE(s->isVisible()) << "the restart was refused; the console goes on";
    s->EndDialog(ui::IDOK);
  });
  EXPECT_EQ(sheet->DoModal(), ui::IDOK);
}

}  // namespace
}  // namespace pvn::testing
