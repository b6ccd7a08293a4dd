// Portvane Console: the administrator's utility for the USB locks.
#include <QApplication>

#include "console/pages/console_pages.h"
#include "console/platform_links.h"
#include "console/resources.h"
#include "console/ui/dialog_services.h"
#include "console/ui/notify_icon.h"
#include "console/usb_pvn_utility_app.h"
#include "platform/desktop/command_line.h"

int main(int argc, char** argv) {
  // The command line is kept as given, before Qt takes its own options out.
  pvn::desktop::SetProcessArguments(argc, argv);
  QApplication application(argc, argv);
  // The program ends when its main window closes, not when it hides.
  application.setQuitOnLastWindowClosed(false);
  application.setWindowIcon(pvn::console::LoadAppIcon());

  pvn::ui::QtDialogServices dialogs;
  pvn::ui::QtNotifyIcon tray;
  pvn::console::PlatformServiceControl services;
  pvn::console::PlatformMachineLink machine;
  pvn::console::PlatformShutdownControl shutdown;
  pvn::console::CUsbPvnUtilityApp app({&dialogs, &tray, &services, &machine, &shutdown},
                                      pvn::console::AddConsolePages);
  app.InitInstance();
  return app.ExitInstance();
}
