#pragma once
// CUsbPvnUtilityApp: the whole run of the console. InitInstance reads the
// command line, refuses to run a second time on the machine, asks for the
// password and runs the main window until it closes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/console_environment.h"

namespace pvn::console {

class CPsUsbPortvane;

// Puts the pages and their header items into the sheet.
using PageBuilder = std::function<void(CPsUsbPortvane&)>;

class CUsbPvnUtilityApp {
 public:
  CUsbPvnUtilityApp(const ConsoleEnvironment& environment, PageBuilder pages);
  ~CUsbPvnUtilityApp();

  // The program's run; always false, as there is no message loop after it.
  bool InitInstance();
  int ExitInstance();

  // The running application object; the options page builds the
  // start-at-logon entry from its ProgramPath.
  static CUsbPvnUtilityApp* Current();

  // The program path exactly as the process was started.
  std::u16string ProgramPath;
  // 0: normal start with the password; 1: start at logon, no password.
  std::int32_t StartMode = 0;

  // The main window while it runs, else null.
  CPsUsbPortvane* MainWindow() const { return m_pMainWnd; }

 private:
  ConsoleEnvironment m_env;
  PageBuilder m_buildPages;
  CPsUsbPortvane* m_pMainWnd = nullptr;
};

// Whether a dialog whose title begins with the application title runs on
// this machine: the main window, the password prompt or the about box.
bool FindRunningInstance();

// StartMode from the split command line: 1 for exactly one argument
// "65501", else 0.
std::int32_t StartModeOf(const std::vector<std::u16string>& arguments);

}  // namespace pvn::console
