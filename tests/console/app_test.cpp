// The start-up sequence: command line, single instance, login, main window.
#include <QProcess>

#include "console/login_dialog.h"
#include "console/pages/console_pages.h"
#include "console/ps_usb_portvane.h"
#include "console/qt_text.h"
#include "console/resources.h"
#include "console/set_password_dialog.h"
#include "console/usb_pvn_utility_app.h"
#include "platform/desktop/top_level_windows.h"
#include "tests/console/support/console_fixture.h"

namespace pvn::testing {
namespace {

using console::CLogin;
using console::CPsUsbPortvane;
using console::CUsbPvnUtilityApp;

class AppTest : public ConsoleTest {
 protected:
  // Runs InitInstance; `onSheet` runs once the main window shows and must end
  // it. Records whether a login prompt and the sheet appeared.
  bool Run(std::function<void(CPsUsbPortvane*)> onSheet,
           std::vector<std::optional<QString>> logins = {}) {
    for (const auto& password : logins) {
      WhenShown<CLogin>([this, password](CLogin* login) {
        ++logins_;
        if (!password) return ClickButton(login, ui::IDCANCEL);
        TypeInto(login, console::IDC_PASSWORD, *password);
        ClickButton(login, ui::IDOK);
      });
    }
    WhenShown<CPsUsbPortvane>([this, onSheet](CPsUsbPortvane* sheet) {
      sheetShown_ = true;
      onSheet(sheet);
    });
    CUsbPvnUtilityApp app(Env(), console::AddConsolePages);
    const bool result = app.InitInstance();
    programPath_ = app.ProgramPath;
    startMode_ = app.StartMode;
    EXPECT_EQ(app.ExitInstance(), 0);
    return result;
  }

  static void Exit(CPsUsbPortvane* sheet) { sheet->OnCommand(console::ID_TASK_EXIT); }

  int logins_ = 0;
  bool sheetShown_ = false;
  std::u16string programPath_;
  int startMode_ = -1;
};

TEST_F(AppTest, LoginThenTheSheetWithItsFourPagesUntilExit) {
  std::vector<QString> tabs;
  QString header;
  EXPECT_FALSE(Run(
      [&](CPsUsbPortvane* sheet) {
        for (int i = 0; i < sheet->GetPageCount(); ++i)
          tabs.push_back(sheet->GetTabControl()->tabText(i));
        header = sheet->Header()->Title() + " / " + sheet->Header()->SubTitle();
        EXPECT_TRUE(console::FindRunningInstance()) << "the main window counts";
        Exit(sheet);
      },
      {kPassword}));
  EXPECT_EQ(logins_, 1);
  EXPECT_TRUE(sheetShown_);
  EXPECT_EQ(tabs, (std::vector<QString>{"Keyboard/Mouse", "Storage", "Option", "Import/Export"}));
  EXPECT_EQ(header, "USB Keyboard/Mouse / Setting USB Keyboard/Mouse Permission");
  EXPECT_FALSE(console::FindRunningInstance()) << "gone with the window";
  EXPECT_EQ(programPath_, u"portvane-console");
}

TEST_F(AppTest, RefusedLoginEndsBeforeAnyMainWindow) {
  EXPECT_FALSE(Run(Exit, {"bad", "worse", "worst"}));
  EXPECT_EQ(logins_, 3);
  EXPECT_FALSE(sheetShown_);
  EXPECT_EQ(dialogs_.MessageBoxes().back().text, "The password is not correct!");

  logins_ = 0;
  EXPECT_FALSE(Run(Exit, {std::nullopt}));
  EXPECT_EQ(logins_, 1);
  EXPECT_FALSE(sheetShown_);
}

TEST_F(AppTest, AutoStartArgumentSkipsTheLoginOnlyWhenAlone) {
  struct Case {
    std::vector<const char*> argv;
    int startMode;
  };
  const Case cases[] = {
      {{"C:\\Program Files\\Portvane\\Portvane Console.exe", "65501"}, 1},
      {{"portvane-console", "65501", "-1"}, 0},
      {{"portvane-console", "65501", "x"}, 0},
      {{"portvane-console", "655010"}, 0},
      {{"portvane-console"}, 0},
  };
  for (const Case& c : cases) {
    SetArguments(c.argv);
    logins_ = 0;
    sheetShown_ = false;
    std::vector<std::optional<QString>> logins;
    if (c.startMode == 0) logins.push_back(QString(kPassword));
    Run(Exit, logins);
    EXPECT_EQ(startMode_, c.startMode) << c.argv.size();
    EXPECT_EQ(logins_, c.startMode == 0 ? 1 : 0);
    EXPECT_TRUE(sheetShown_);
    EXPECT_EQ(console::FromU16(programPath_), QString::fromUtf8(c.argv[0]));
    ResetDriver();
  }
}

TEST_F(AppTest, RunningInstanceIsFoundByTitlePrefix) {
  // The login prompt counts, the password change does not.
  WhenShown<CLogin>([](CLogin* login) {
    EXPECT_TRUE(console::FindRunningInstance());
    login->EndDialog(ui::IDCANCEL);
  });
  CLogin login(dialogs_);
  login.DoModal();
  EXPECT_FALSE(console::FindRunningInstance());

  WhenShown<console::CDlgSetPwd>([](console::CDlgSetPwd* dialog) {
    EXPECT_FALSE(console::FindRunningInstance());
    dialog->EndDialog(ui::IDCANCEL);
  });
  console::CDlgSetPwd setPassword(dialogs_);
  setPassword.DoModal();

  // Another program's dialog titled "Portvane Console..." counts as well;
  // one that merely contains the title does not.
  auto other = desktop::TopLevelWindow::Create(u"#32770", u"My Portvane Console");
  EXPECT_FALSE(console::FindRunningInstance());
  ASSERT_EQ(other->SetTitle(u"Portvane Console (elsewhere)"), win::ERROR_SUCCESS);
  EXPECT_TRUE(console::FindRunningInstance());
  EXPECT_FALSE(Run(Exit)) << "a second start ends at once";
  EXPECT_FALSE(sheetShown_);
  EXPECT_EQ(logins_, 0);
  ResetDriver();
}

// The program itself: a second start while the first one shows its login
// prompt ends at once, silently and with exit code 0.
TEST_F(AppTest, SecondProgramExitsAtOnceWithCodeZero) {
  const QString program = QString::fromStdString((BinDir() / "portvane-console").string());
  QProcess first;
  first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  first.start(program, {});
  ASSERT_TRUE(first.waitForStarted());
  ASSERT_TRUE(WaitFor(
      [] {
        char16_t title[64] = {};
        for (desktop::Hwnd w = desktop::FindWindowExW(0, 0, u"#32770", nullptr); w;
             w = desktop::FindWindowExW(0, w, u"#32770", nullptr)) {
          desktop::GetWindowTextW(w, title, 64);
          if (std::u16string(title) == u"Portvane Console Login") return true;
        }
        return false;
      },
      15000))
      << "the first program shows its login prompt";

  QProcess second;
  second.start(program, {"65501"});
  ASSERT_TRUE(second.waitForFinished(15000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);

  first.kill();
  first.waitForFinished(5000);
  // With the first one gone, a start is no longer refused: it asks for the
  // password and stays.
  QProcess third;
  third.start(program, {});
  ASSERT_TRUE(third.waitForStarted());
  EXPECT_FALSE(third.waitForFinished(1500));
  third.kill();
  third.waitForFinished(5000);
}

}  // namespace
}  // namespace pvn::testing
