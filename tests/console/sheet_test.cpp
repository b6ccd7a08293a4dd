// The main window: hiding into the notification area and coming back, the OK
// rule, the tray menu, device notices, page keys, the reboot prompt and the
// agent-service handles.
#include <QContextMenuEvent>
#include <QMenu>
#include <QTabWidget>

#include "console/about_dialog.h"
#include "console/login_dialog.h"
#include "console/ps_usb_portvane.h"
#include "console/resources.h"
#include "console/set_password_dialog.h"
#include "tests/console/support/console_fixture.h"

namespace pvn::testing {
namespace {

using console::CLogin;
using console::CPsUsbPortvane;

class SheetTest : public ConsoleTest {
 protected:
  // A sheet with three test pages and their header items.
  std::unique_ptr<CPsUsbPortvane> MakeSheet() {
    auto sheet = std::make_unique<CPsUsbPortvane>("Portvane Console", Env());
    const char* titles[] = {"First", "Second", "Third"};
    for (int i = 0; i < 3; ++i) {
      auto page = std::make_unique<TestPage>(titles[i]);
      pages_[i] = page.get();
      sheet->AddPage(std::move(page));
      sheet->AddHeaderItem({QPixmap(), QString("Caption %1").arg(i + 1),
                            QString("Sub-caption %1").arg(i + 1), Qt::white, 0});
    }
    return sheet;
  }

  // Runs the sheet modally; `steps` run once it shows. Returns the sheet's
  // result.
  int Run(CPsUsbPortvane& sheet, std::function<void()> steps) {
    WhenShown<CPsUsbPortvane>([steps](CPsUsbPortvane*) { steps(); });
    return sheet.DoModal();
  }

  // Answers the next password prompt with `password`, or cancels it.
  void AnswerLogin(std::optional<QString> password) {
    WhenShown<CLogin>([this, password](CLogin* login) {
      ++logins_;
      if (!password) return ClickButton(login, ui::IDCANCEL);
      TypeInto(login, console::IDC_PASSWORD, *password);
      ClickButton(login, ui::IDOK);
    });
  }

  std::vector<QString> MessageTexts() const {
    std::vector<QString> texts;
    for (const auto& box : dialogs_.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  TestPage* pages_[3] = {};
  int logins_ = 0;
};

constexpr char kRunningHere[] = "Portvane Console is running here.";

TEST_F(SheetTest, CancelHidesIntoTheTrayAndTheIconAsksForThePassword) {
  auto sheet = MakeSheet();
  const int result = Run(*sheet, [&] {
    ASSERT_TRUE(tray_.IsAdded());
    EXPECT_EQ(tray_.Calls()[0].data.tip, "Portvane Console");
    EXPECT_EQ(tray_.Calls()[0].data.flags, ui::NIF_MESSAGE | ui::NIF_ICON | ui::NIF_TIP);

    ClickButton(sheet.get(), ui::IDCANCEL);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(sheet->m_bShown);
    ASSERT_EQ(tray_.Balloons(), std::vector<QString>{kRunningHere});
    const auto& balloon = tray_.Calls().back().data;
    EXPECT_EQ(balloon.infoTitle, "Portvane Console");
    EXPECT_EQ(balloon.timeout, 10000u);
    EXPECT_EQ(balloon.id, console::kTrayIconId);
    EXPECT_EQ(balloon.callbackMessage, ui::WM_USER);

    // A left click on the icon shows the window after the password.
    AnswerLogin(kPassword);
    tray_.Click(ui::WM_LBUTTONDOWN);
    EXPECT_EQ(logins_, 1);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->m_bShown);

    // Esc hides as Cancel does; a refused password then ends the program.
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_FALSE(sheet->m_bShown);
    AnswerLogin(std::nullopt);
    tray_.Click(ui::WM_LBUTTONDOWN);
  });
  EXPECT_EQ(result, ui::IDOK);
  EXPECT_EQ(logins_, 2);
  EXPECT_FALSE(tray_.IsAdded()) << "the icon goes with the window";
}

TEST_F(SheetTest, ExitFromTheTrayMenuEndsWithoutAPasswordAlsoWhileHidden) {
  auto sheet = MakeSheet();
  const int result = Run(*sheet, [&] {
    EXPECT_EQ(sheet->WindowProc(console::WM_TRAY_NOTIFY, console::kTrayIconId, ui::WM_MOUSEMOVE),
              0);
    EXPECT_FALSE(tray_.MenuOpen());
    ClickButton(sheet.get(), ui::IDCANCEL);
    tray_.Click(ui::WM_RBUTTONUP);
    ASSERT_TRUE(tray_.MenuOpen());
    std::vector<int> ids;
    for (const auto& item : tray_.LastMenu()) ids.push_back(item.separator ? 0 : item.id);
    EXPECT_EQ(ids, (std::vector<int>{32775, 32772, 0, 32774}));
    EXPECT_TRUE(tray_.ChooseMenuItem(console::ID_TASK_EXIT));
  });
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_EQ(logins_, 0);
}

TEST_F(SheetTest, ShowHideFromTheMenuAndTheShowRequestBothAskForThePassword) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    tray_.Click(ui::WM_RBUTTONUP);
    tray_.ChooseMenuItem(console::ID_TASK_SHOWHIDE);
    EXPECT_FALSE(sheet->m_bShown);
    // The show request sent to the window goes through the same login.
    AnswerLogin(kPassword);
    sheet->WindowProc(console::WM_SHOW_REQUEST, 0, 0);
    EXPECT_EQ(logins_, 1);
    EXPECT_TRUE(sheet->m_bShown && sheet->isVisible());
    // While shown it only brings the window forward.
    sheet->WindowProc(console::WM_SHOW_REQUEST, 0, 0);
    EXPECT_EQ(logins_, 1);
    EXPECT_TRUE(sheet->m_bShown);
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, OkWithNothingPendingOnTheFirstPageHidesAndAppliesIt) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    pages_[0]->onApply = [&] { sheet->RequestRebootPrompt(); };
    EXPECT_FALSE(sheet->IsApplyEnabled());
    ClickButton(sheet.get(), ui::IDOK);
    EXPECT_FALSE(sheet->m_bShown);
    EXPECT_EQ(tray_.Balloons(), std::vector<QString>{kRunningHere});
    EXPECT_EQ(pages_[0]->applies, 1);
    EXPECT_EQ(pages_[1]->applies + pages_[2]->applies, 0);
    EXPECT_TRUE(sheet->IsTimerRunning(console::kRebootTimer));
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, OkOnAnotherPageWithChangesDoesNothing) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    sheet->GetTabControl()->setCurrentIndex(1);
    ClickButton(pages_[1], TestPage::kChangeBox);
    EXPECT_TRUE(sheet->IsApplyEnabled());
    ClickButton(sheet.get(), ui::IDOK);
    EXPECT_TRUE(sheet->m_bShown);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(pages_[0]->applies + pages_[1]->applies + pages_[2]->applies, 0);
    // Changes pending on the first page: OK applies it but keeps the window.
    sheet->GetTabControl()->setCurrentIndex(0);
    ClickButton(sheet.get(), ui::IDOK);
    EXPECT_TRUE(sheet->m_bShown);
    EXPECT_EQ(pages_[0]->applies, 1);
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, ApplyRunsEveryPageAndTwoRebootRequestsGiveOnePrompt) {
  auto sheet = MakeSheet();
  dialogs_.AnswerMessageBox(ui::IDNO);
  Run(*sheet, [&] {
    for (TestPage* page : pages_) page->onApply = [&] { sheet->RequestRebootPrompt(); };
    ClickButton(pages_[0], TestPage::kChangeBox);
    ClickButton(sheet.get(), ui::ID_APPLY_NOW);
    EXPECT_EQ(pages_[0]->applies + pages_[1]->applies + pages_[2]->applies, 3);
    EXPECT_FALSE(sheet->IsApplyEnabled()) << "applied pages are unchanged again";
    EXPECT_TRUE(sheet->m_bRebootPromptPending);
    EXPECT_EQ(sheet->TimerInterval(console::kRebootTimer), 500);
    ASSERT_TRUE(WaitFor([&] { return !sheet->m_bRebootPromptPending; }));
    sheet->EndDialog(ui::IDCANCEL);
  });
  ASSERT_EQ(dialogs_.MessageBoxes().size(), 1u);
  const auto& prompt = dialogs_.MessageBoxes()[0];
  EXPECT_EQ(
      prompt.text,
      "Please reboot your computer for applying your settings.\n Are you want to reboot now?");
  EXPECT_EQ(prompt.caption, "Reboot");
  EXPECT_EQ(prompt.type, ui::MB_YESNO | ui::MB_ICONQUESTION);
  EXPECT_TRUE(shutdown_.exits.empty()) << "No restarts nothing";
}

TEST_F(SheetTest, YesRestartsThroughTheShutdownPrivilegeWhenItIsGranted) {
  struct Case {
    bool tokenOpens, granted;
    std::size_t restarts;
  };
  for (const Case& c : {Case{true, true, 1}, Case{true, false, 0}, Case{false, true, 0}}) {
    shutdown_ = FakeShutdown();
    shutdown_.tokenOpens = c.tokenOpens;
    shutdown_.privilegeGranted = c.granted;
    dialogs_.AnswerMessageBox(ui::IDYES);
    auto sheet = MakeSheet();
    Run(*sheet, [&] {
      sheet->RequestRebootPrompt();
      ASSERT_TRUE(WaitFor([&] { return !sheet->m_bRebootPromptPending; }));
      sheet->EndDialog(ui::IDCANCEL);
    });
    ASSERT_EQ(shutdown_.exits.size(), c.restarts);
    EXPECT_EQ(shutdown_.tokenAccess, 0x28u);
    if (c.restarts) {
      EXPECT_EQ(shutdown_.exits[0].flags, console::EWX_REBOOT);
      EXPECT_EQ(shutdown_.exits[0].reason, 0x80020004u);
    }
  }
}

TEST_F(SheetTest, DeviceNoticesNameTheLowestDriveLetter) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    sheet->m_bPlugInNotices = true;
    struct Case {
      std::uint32_t event, mask;
      const char* notice;
    };
    const Case cases[] = {
        {console::DBT_DEVICEARRIVAL, 1u << 4, "Disk E is inserted."},
        {console::DBT_DEVICEREMOVECOMPLETE, 1u << 4, "Disk E is removed."},
        {console::DBT_DEVICEARRIVAL, (1u << 25) | (1u << 3) | (1u << 7), "Disk D is inserted."},
        {console::DBT_DEVICEARRIVAL, 1u, "Disk A is inserted."},
        {console::DBT_DEVICEARRIVAL, 0, "Disk [ is inserted."},
        {console::DBT_DEVICEARRIVAL, 1u << 26, "Disk [ is inserted."},
    };
    for (const Case& c : cases) {
      tray_.Clear();
      machine_.Volume(c.event, c.mask);
      ASSERT_EQ(tray_.Balloons(), std::vector<QString>{c.notice}) << c.notice;
      const auto& data = tray_.Calls().back().data;
      EXPECT_EQ(data.infoTitle, "Portvane Console");
      EXPECT_EQ(data.timeout, 10000u);
      EXPECT_EQ(data.infoFlags, ui::NIIF_NONE);
    }
    tray_.Clear();
    machine_.Interface(console::DBT_DEVICEARRIVAL);
    machine_.Interface(console::DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(tray_.Balloons(),
              (std::vector<QString>{"New device is inserted.", "Device is removed."}));

    // Other events and device types, and a header of type 0, give nothing.
    tray_.Clear();
    machine_.Raw(0x8001, console::DBT_DEVTYP_VOLUME);
    machine_.Raw(console::DBT_DEVICEARRIVAL, 3);
    machine_.Raw(console::DBT_DEVICEARRIVAL, 0);
    EXPECT_TRUE(tray_.Balloons().empty());

    // Hidden, the notices still come.
    ClickButton(sheet.get(), ui::IDCANCEL);
    tray_.Clear();
    machine_.Volume(console::DBT_DEVICEARRIVAL, 1u << 5);
    EXPECT_EQ(tray_.Balloons(), std::vector<QString>{"Disk F is inserted."});
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, NoDeviceBalloonsWhileNoticesAreOff) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    ASSERT_FALSE(sheet->m_bPlugInNotices);
    machine_.Volume(console::DBT_DEVICEARRIVAL, 1u << 4);
    machine_.Interface(console::DBT_DEVICEARRIVAL);
    EXPECT_TRUE(tray_.Balloons().empty());
    EXPECT_EQ(CPsUsbPortvane::DeviceNotice(), "New device is inserted.");
    ClickButton(sheet.get(), ui::IDCANCEL);
    EXPECT_EQ(tray_.Balloons(), std::vector<QString>{kRunningHere});
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, PageKeysWrapAndUpdateTheHeader) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    auto press = [&](Qt::Key key) {
      QWidget* focus = QApplication::focusWidget();
      QTest::keyClick(focus && sheet->isAncestorOf(focus) ? focus : sheet.get(), key);
    };
    EXPECT_EQ(sheet->Header()->Title(), "Caption 1");
    press(Qt::Key_PageDown);  // back from the first: the last
    EXPECT_EQ(sheet->GetActiveIndex(), 2);
    EXPECT_EQ(sheet->Header()->Title(), "Caption 3");
    EXPECT_EQ(sheet->Header()->SubTitle(), "Sub-caption 3");
    press(Qt::Key_PageUp);  // forward from the last: the first
    EXPECT_EQ(sheet->GetActiveIndex(), 0);
    EXPECT_EQ(sheet->Header()->Title(), "Caption 1");
    press(Qt::Key_PageUp);
    EXPECT_EQ(sheet->GetActiveIndex(), 1);
    // A click on a tab updates the header too.
    sheet->GetTabControl()->setCurrentIndex(2);
    EXPECT_EQ(sheet->Header()->Title(), "Caption 3");
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, HeaderBandSitsAboveTheMovedTabsAndButtons) {
  // The same pages in a plain sheet give the positions before the move.
  ui::PropertySheet plain("Plain");
  for (const char* title : {"First", "Second", "Third"})
    plain.AddPage(std::make_unique<TestPage>(title));
  WhenShown<ui::PropertySheet>([&](ui::PropertySheet* s) {
    if (s == &plain) s->EndDialog(ui::IDCANCEL);
  });
  plain.DoModal();

  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    const QRect band = sheet->Header()->geometry();
    // Across the whole window: the band starts left of the client area and
    // is as wide as the window with its frame.
    EXPECT_EQ(band.topLeft(), QPoint(-1, -1));
    EXPECT_EQ(band.height(), 60);
    EXPECT_GE(band.width(), sheet->width());
    EXPECT_EQ(sheet->height(), plain.height() + 60);
    EXPECT_EQ(sheet->width(), plain.width());
    for (int id : {ui::ID_TAB_CONTROL, ui::IDOK, ui::IDCANCEL, ui::ID_APPLY_NOW}) {
      EXPECT_EQ(sheet->Item(id)->geometry(), plain.Item(id)->geometry().translated(0, 60)) << id;
    }
    EXPECT_EQ(sheet->Item(ui::IDHELP), nullptr);
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, OpensTheAgentServiceAndCreatesEveryPage) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    EXPECT_TRUE(sheet->m_bAgentServiceReady);
    EXPECT_EQ(std::u16string(sheet->m_szAgentServiceName), u"PvnCourier");
    ASSERT_EQ(services_.opens.size(), 2u);
    EXPECT_EQ(services_.opens[0].access, 0xF003Fu);
    EXPECT_EQ(services_.opens[1].access, 0xF01FFu);
    EXPECT_EQ(services_.notifyMask, 9u);
    ASSERT_EQ(services_.notifyRecord, &sheet->m_oServiceNotify);
    EXPECT_EQ(sheet->m_oServiceNotify.dwVersion, 2u);
    EXPECT_EQ(sheet->m_oServiceNotify.pContext, sheet.get());
    EXPECT_TRUE(machine_.interfacesRegistered);
    for (TestPage* page : pages_) EXPECT_EQ(page->inits, 1);
    EXPECT_EQ(sheet->GetActiveIndex(), 0);
    EXPECT_EQ(sheet->windowTitle(), "Portvane Console");
    sheet->EndDialog(ui::IDCANCEL);
  });
  const console::ScHandle service = sheet->m_hService, manager = sheet->m_hSCManager;
  sheet.reset();
  EXPECT_EQ(services_.closed, (std::vector<console::ScHandle>{service, manager}));
}

TEST_F(SheetTest, AgentServiceFailuresLeaveTheSheetWorking) {
  struct Case {
    bool manager, installed;
    win::Error notify;
  };
  for (const Case& c : {Case{false, true, 0}, Case{true, false, 0},
                        Case{true, true, win::ERROR_SERVICE_NOT_ACTIVE}}) {
    services_ = FakeServiceControl();
    services_.managerAvailable = c.manager;
    services_.serviceInstalled = c.installed;
    services_.notifyResult = c.notify;
    auto sheet = MakeSheet();
    Run(*sheet, [&] {
      EXPECT_FALSE(sheet->m_bAgentServiceReady);
      if (!c.installed) {
        EXPECT_EQ(sheet->m_hSCManager, 0u) << "the manager is closed again";
        EXPECT_EQ(services_.closed.size(), 1u);
      }
      sheet->EndDialog(ui::IDCANCEL);
    });
  }
}

TEST_F(SheetTest, MissingAppPathLeavesTheSheetUsableWithoutAgentHandles) {
  RemoveAppPath();
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    EXPECT_EQ(MessageTexts(), std::vector<QString>{"Cannot find Portvane Console Application "
                                                   "Path. Close this application"});
    EXPECT_EQ(dialogs_.MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(dialogs_.MessageBoxes()[0].type, ui::MB_ICONERROR | ui::MB_OK);
    EXPECT_TRUE(services_.opens.empty());
    EXPECT_FALSE(sheet->m_bAgentServiceReady);
    EXPECT_FALSE(machine_.interfacesRegistered);
    EXPECT_EQ(pages_[0]->inits, 1);
    EXPECT_EQ(pages_[1]->inits + pages_[2]->inits, 0) << "pages start when first shown";
    // Still usable: pages open on demand, volumes are noticed, it hides.
    sheet->GetTabControl()->setCurrentIndex(2);
    EXPECT_EQ(pages_[2]->inits, 1);
    sheet->m_bPlugInNotices = true;
    machine_.Volume(console::DBT_DEVICEARRIVAL, 1u << 4);
    EXPECT_EQ(tray_.Balloons(), std::vector<QString>{"Disk E is inserted."});
    ClickButton(sheet.get(), ui::IDCANCEL);
    EXPECT_FALSE(sheet->m_bShown);
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, HideSwitchHidesOneSecondAfterTheStartAndAsksOnReturn) {
  SetArguments({"portvane-console", "-1"});
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    EXPECT_TRUE(sheet->IsTimerRunning(console::kHideTimer));
    EXPECT_EQ(sheet->TimerInterval(console::kHideTimer), 1000);
    ASSERT_TRUE(WaitFor([&] { return !sheet->m_bShown; }));
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(sheet->IsTimerRunning(console::kHideTimer));
    AnswerLogin(kPassword);
    tray_.Click(ui::WM_LBUTTONDOWN);
    EXPECT_EQ(logins_, 1);
    EXPECT_TRUE(sheet->m_bShown);
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, HideSwitchIsFoundAnywhereInTheRawCommandLine) {
  struct Case {
    std::vector<const char*> argv;
    bool hides;
  };
  const Case cases[] = {
      {{"portvane-console", "65501", "-1"}, true},
      {{"/opt/x -1/portvane-console"}, true},  // inside the quoted program path
      {{"portvane-console", "-12"}, true},
      {{"portvane-console", "--1"}, false},
      {{"portvane-console", "x-1"}, false},
  };
  for (const Case& c : cases) {
    SetArguments(c.argv);
    auto sheet = MakeSheet();
    Run(*sheet, [&] {
      EXPECT_EQ(sheet->IsTimerRunning(console::kHideTimer), c.hides) << c.argv.back();
      sheet->EndDialog(ui::IDCANCEL);
    });
  }
}

TEST_F(SheetTest, WindowMenuOpensTheAboutBoxAndThePasswordChange) {
  auto sheet = MakeSheet();
  Run(*sheet, [&] {
    // A right click on the band opens the window menu.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20),
                            sheet->Header()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(sheet->Header(), &click);
    QMenu* menu = sheet->SystemMenu();
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    QStringList items;
    for (QAction* action : menu->actions()) items << action->text();
    EXPECT_EQ(items,
              (QStringList{"&Close", "", "&About Portvane Console...", "Login &Password..."}));
    menu->close();

    WhenShown<console::CDlgAbout>([](console::CDlgAbout* about) {
      EXPECT_EQ(about->windowTitle(), "Portvane Console");
      EXPECT_EQ(about->Controls().Text(console::IDC_ABOUT_LINE1),
                "Portvane Console, Version 1.00.3101");
      ClickButton(about, ui::IDOK);
    });
    menu->actions()[2]->trigger();

    WhenShown<console::CDlgSetPwd>([](console::CDlgSetPwd* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Change Login Password");
      ClickButton(dialog, ui::IDCANCEL);
    });
    menu->actions()[3]->trigger();
    // Other system commands go on to the window: Close hides it.
    menu->actions()[0]->trigger();
    EXPECT_FALSE(sheet->m_bShown);
    sheet->EndDialog(ui::IDCANCEL);
  });
}

TEST_F(SheetTest, EndOfTheSessionEndsTheProgramWhateverIsOpen) {
  auto sheet = MakeSheet();
  const int result = Run(*sheet, [&] {
    WhenShown<console::CDlgAbout>([&](console::CDlgAbout*) { machine_.EndSession(); });
    tray_.Click(ui::WM_RBUTTONUP);
    tray_.ChooseMenuItem(console::ID_TASK_ABOUT);  // returns when the session ends
  });
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_EQ(machine_.sink, nullptr) << "detached with the window";
}

}  // namespace
}  // namespace pvn::testing
