#pragma once
// What the console needs from around it: the dialogs it asks the user with,
// the notification-area icon, and its links to the running machine. The
// program passes the real ones; tests pass scripted and recording ones.
#include "console/machine_link.h"
#include "console/service_control.h"
#include "console/shutdown_control.h"
#include "console/ui/dialog_services.h"
#include "console/ui/notify_icon.h"

namespace pvn::console {

struct ConsoleEnvironment {
  ui::DialogServices* dialogs = nullptr;
  ui::NotifyIcon* tray = nullptr;
  ServiceControlManager* services = nullptr;
  MachineLink* machine = nullptr;
  ShutdownControl* shutdown = nullptr;
};

}  // namespace pvn::console
