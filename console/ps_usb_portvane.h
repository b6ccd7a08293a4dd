#pragma once
// CPsUsbPortvane: the console's main window. A property sheet with a header
// band above its tabs, an icon in the notification area that it hides into,
// balloons for devices that come and go, the reboot prompt after driver
// settings were applied, and the handles of the agent service.
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "console/console_environment.h"
#include "console/dialog_header.h"
#include "console/ui/property_sheet.h"

namespace pvn::console {

// Messages of the main window beyond the standard ones.
inline constexpr std::uint32_t WM_TRAY_NOTIFY = ui::WM_USER;       // icon callback
inline constexpr std::uint32_t WM_SHOW_REQUEST = ui::WM_USER + 1;  // show the window
inline constexpr std::uint32_t kTrayIconId = 143;
inline constexpr int kHideTimer = 1;
inline constexpr int kRebootTimer = 2;

class CPsUsbPortvane : public ui::PropertySheet, private MachineLink::Sink {
 public:
  CPsUsbPortvane(const QString& caption, const ConsoleEnvironment& environment);
  ~CPsUsbPortvane() override;

  // Pages in tab order, each followed by its header item.
  void AddPage(std::unique_ptr<ui::PropertyPage> page) {
    ui::PropertySheet::AddPage(std::move(page));
  }
  void AddHeaderItem(const tagCPropSheetItem& item) { m_arrHeaderItems.push_back(item); }

  // The window procedure for the messages the sheet handles itself:
  // the show request, device changes, the tray callback, timers, help,
  // commands and system commands. Returns the message's result.
  std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

  // Hides into the notification area, or shows again after the password.
  void ToggleMainWindow();
  // Called by the pages after they applied driver settings.
  void RequestRebootPrompt();
  void UpdateHeader();

  bool OnCommand(int id) override;
  void OnSysCommand(std::uint32_t command) override;

  // Read by the pages and by tests.
  bool m_bShown = true;
  bool m_bRebootPromptPending = false;
  bool m_bPlugInNotices = false;
  bool m_bAgentServiceReady = false;
  char16_t m_szAgentServiceName[256] = {};
  ScHandle m_hSCManager = 0;
  ScHandle m_hService = 0;
  ServiceNotify m_oServiceNotify;

  CDialogHeader* Header() const { return m_pHeader; }
  const std::vector<tagCPropSheetItem>& HeaderItems() const { return m_arrHeaderItems; }
  bool IsTimerRunning(int id) const;
  int TimerInterval(int id) const;
  // The text of the last device notice.
  static QString DeviceNotice();

 protected:
  bool OnInitDialog() override;
  void OnDestroy() override;
  void OnTabSelChange(int index) override;
  bool PreTranslateKeyDown(std::uint32_t virtualKey) override;

 private:
  void OnDeviceChange(std::uint32_t event, const DeviceBroadcastHeader* record) override;
  void OnSessionEnd() override;

  void CreateHeaderBand();
  bool UpdateTrayIcon(std::uint32_t operation);
  void ShowDeviceNotice();
  std::intptr_t OnTrayNotify(std::uint32_t mouseMessage);
  void OnTimer(int id);
  void OnOKRule();
  void OpenAgentService();
  void CloseAgentService();
  void RestartMachine();
  void SetTimer(int id, int milliseconds);
  void KillTimer(int id);

  ConsoleEnvironment m_env;
  QString m_strTitle;
  ui::MenuTemplate m_menuTray;
  QString m_strAppPath;
  CDialogHeader* m_pHeader = nullptr;
  std::vector<tagCPropSheetItem> m_arrHeaderItems;
  std::map<int, std::unique_ptr<QTimer>> m_timers;
  bool m_bLoginOpen = false;
  bool m_bAttached = false;
  bool m_bEnding = false;
};

}  // namespace pvn::console
