#pragma once
// A fresh machine prefix with the application key, a known password, and the
// console's surroundings replaced by scripted and recording stand-ins.
#include <QString>
#include <functional>

#include "console/console_environment.h"
#include "console/ui/property_sheet.h"
#include "console/ui/recording_notify_icon.h"
#include "console/ui/scripted_dialog_services.h"
#include "tests/console/support/fakes.h"
#include "tests/console/support/ui_driver.h"
#include "tests/support/temp_prefix.h"

namespace pvn::testing {

inline constexpr char kPassword[] = "Secret-42";

class ConsoleTest : public PrefixTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  console::ConsoleEnvironment Env() {
    return {&dialogs_, &tray_, &services_, &machine_, &shutdown_};
  }
  // Stores `password`'s digest as the `Password` value, as the console does.
  static void StorePassword(const QString& password);
  static void RemoveAppPath();
  // The process's command line, as main records it.
  static void SetArguments(std::vector<const char*> argv);

  ui::ScriptedDialogServices dialogs_;
  ui::RecordingNotifyIcon tray_;
  FakeServiceControl services_;
  FakeMachineLink machine_;
  FakeShutdown shutdown_;
};

// A page with one check box (kChangeBox) whose click marks the page changed.
// It counts its initialisations and applies, and can run an extra action on
// apply (the whitelist pages ask for the reboot prompt there).
class TestPage : public ui::PropertyPage {
 public:
  static constexpr int kChangeBox = 2000;
  explicit TestPage(const char* title);

  bool OnInitDialog() override;
  bool OnApply() override;
  bool OnCommand(int id) override;

  int inits = 0;
  int applies = 0;
  std::function<void()> onApply;
  bool acceptApply = true;
};

}  // namespace pvn::testing
