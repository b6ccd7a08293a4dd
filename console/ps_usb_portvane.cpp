#include "console/ps_usb_portvane.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <algorithm>
#include <cstdio>

#include "common/settings/usb_pvn_envment.h"
#include "console/about_dialog.h"
#include "console/login_dialog.h"
#include "console/qt_text.h"
#include "console/resources.h"
#include "console/set_password_dialog.h"
#include "platform/desktop/command_line.h"

namespace pvn::console {

namespace {

// The current device notice, shared by the whole program.
char16_t g_szDeviceNotice[1024];

void SetNotice(const char* text) {
  std::fill(std::begin(g_szDeviceNotice), std::end(g_szDeviceNotice), u'\0');
  for (std::size_t i = 0; text[i] && i + 1 < std::size(g_szDeviceNotice); ++i)
    g_szDeviceNotice[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
}

// The status-change notification needs a callback; the sheet takes no action
// on it.
void OnAgentStatusChange(void*) {}

constexpr std::uint32_t kRebootReason =
    SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG;
static_assert(kRebootReason == 0x80020004);

}  // namespace

CPsUsbPortvane::CPsUsbPortvane(const QString& caption, const ConsoleEnvironment& environment)
    : ui::PropertySheet(caption), m_env(environment) {}

CPsUsbPortvane::~CPsUsbPortvane() {
  CloseAgentService();
}

QString CPsUsbPortvane::DeviceNotice() {
  return FromU16(g_szDeviceNotice);
}

bool CPsUsbPortvane::OnInitDialog() {
  ui::PropertySheet::OnInitDialog();
  // Broadcasts to top-level windows (volumes, the end of the session) reach
  // the window from now on.
  if (m_env.machine) {
    m_env.machine->Attach(this);
    m_bAttached = true;
  }

  // System menu with the about box, and the password change beside it.
  SystemMenu();
  const QString about = LoadString(IDS_ABOUTBOX);
  if (!about.isEmpty()) {
    AppendSystemMenuSeparator();
    AppendSystemMenu(IDM_ABOUTBOX, about);
    AppendSystemMenu(IDM_LOGINPASSWORD, "Login &Password...");
  }

  CreateHeaderBand();
  UpdateHeader();

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  m_menuTray = TaskMenu();
  m_strTitle = LoadString(IDS_APP_TITLE);
  if (m_env.tray) {
    m_env.tray->SetMouseSink(
        [this](std::uint32_t mouse) { WindowProc(WM_TRAY_NOTIFY, kTrayIconId, mouse); });
  }
  UpdateTrayIcon(ui::NIM_ADD);

  if (desktop::GetCommandLineW().find(u" -1") != std::u16string::npos) SetTimer(kHideTimer, 1000);

  char16_t appPath[260] = {};
  if (!settings::CUsbPvnEnvment::GetAppPath(appPath, std::size(appPath))) {
    m_env.dialogs->MessageBox(this,
                              "Cannot find Portvane Console Application Path. Close this "
                              "application",
                              "Error", ui::MB_ICONERROR | ui::MB_OK);
    return true;
  }
  m_strAppPath = FromU16(appPath);

  if (m_env.machine)
    m_env.machine->RegisterDeviceInterfaceNotification(this, kUsbDeviceInterfaceClass);

  OpenAgentService();

  for (int i = 0; i < GetPageCount(); ++i) SetActivePage(i);
  SetActivePage(0);

  SetWindowText(m_strTitle);
  return true;
}

void CPsUsbPortvane::CreateHeaderBand() {
  m_pHeader = ui::Adopt(std::make_unique<CDialogHeader>(), this);
  const int band = m_pHeader->ComputeBandHeight();
  setFixedSize(width(), height() + band);
  m_pHeader->setGeometry(-1, -1, frameGeometry().width(), band);
  m_pHeader->show();
  // Desktops often keep Alt+Space for themselves: the window menu also opens
  // with a right click on the band.
  m_pHeader->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(m_pHeader, &QWidget::customContextMenuRequested, this,
                   [this](const QPoint& at) { ShowSystemMenu(m_pHeader->mapToGlobal(at)); });
  // The pages live inside the tab control and move with it.
  for (int id : {ui::ID_TAB_CONTROL, ui::IDOK, ui::IDCANCEL, ui::IDHELP, ui::ID_APPLY_NOW}) {
    if (QWidget* control = Item(id)) control->move(control->x(), control->y() + band);
  }
  m_pHeader->update();
}

void CPsUsbPortvane::UpdateHeader() {
  const int index = GetActiveIndex();
  if (!m_pHeader || index < 0 || index >= static_cast<int>(m_arrHeaderItems.size())) return;
  const tagCPropSheetItem& item = m_arrHeaderItems[index];
  m_pHeader->SetIcon(item.hIcon);
  m_pHeader->SetTitle(item.strCaption);
  m_pHeader->SetSubTitle(item.strSubCaption);
  m_pHeader->SetAlignment(item.nAlignment);
  m_pHeader->SetBackground(item.crBackground);
}

void CPsUsbPortvane::OnTabSelChange(int) {
  UpdateHeader();
}

bool CPsUsbPortvane::PreTranslateKeyDown(std::uint32_t virtualKey) {
  if (virtualKey == ui::VK_F1) return WindowProc(ui::WM_HELP, 0, 0) != 0;
  const int count = GetPageCount();
  if (count <= 1 || (virtualKey != ui::VK_NEXT && virtualKey != ui::VK_PRIOR)) return false;
  const int index = GetActiveIndex();
  // Page Up moves forward, Page Down back, both wrapping.
  const int next = virtualKey == ui::VK_PRIOR ? (index + 1) % count : (index + count - 1) % count;
  SetActivePage(next);
  UpdateHeader();
  return false;
}

std::intptr_t CPsUsbPortvane::WindowProc(std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
  switch (message) {
    case WM_SHOW_REQUEST:
      // Showing the window always goes through the password, as from the
      // notification area; a visible window is only brought to the front.
      if (!m_bShown) {
        ToggleMainWindow();
      } else {
        showNormal();
        raise();
        activateWindow();
      }
      return 0;
    case ui::WM_DEVICECHANGE:
      OnDeviceChange(static_cast<std::uint32_t>(wParam),
                     reinterpret_cast<const DeviceBroadcastHeader*>(lParam));
      return 1;
    case WM_TRAY_NOTIFY:
      return OnTrayNotify(static_cast<std::uint32_t>(lParam));
    case ui::WM_TIMER:
      OnTimer(static_cast<int>(wParam));
      return 0;
    case ui::WM_HELP:
      return 1;  // no help
    case ui::WM_COMMAND:
      return OnCommand(static_cast<int>(wParam & 0xFFFF)) ? 0 : 1;
    case ui::WM_SYSCOMMAND:
      OnSysCommand(static_cast<std::uint32_t>(wParam));
      return 0;
    default:
      return 0;
  }
}

bool CPsUsbPortvane::OnCommand(int id) {
  switch (id) {
    case ui::IDCANCEL:
    case ID_TASK_SHOWHIDE:
      ToggleMainWindow();
      return true;
    case ui::IDOK:
      OnOKRule();
      return true;
    case ID_TASK_ABOUT: {
      CDlgAbout about(this);
      about.DoModal();
      return true;
    }
    case ID_TASK_EXIT:
      EndDialog(ui::IDCANCEL);
      return true;
    default:
      return ui::PropertySheet::OnCommand(id);
  }
}

void CPsUsbPortvane::OnSysCommand(std::uint32_t command) {
  switch (command & 0xFFF0) {
    case IDM_ABOUTBOX: {
      CDlgAbout about(this);
      about.DoModal();
      return;
    }
    case IDM_LOGINPASSWORD: {
      CDlgSetPwd setPassword(*m_env.dialogs, this);
      setPassword.DoModal();
      return;
    }
    default:
      ui::PropertySheet::OnSysCommand(command);
  }
}

void CPsUsbPortvane::ToggleMainWindow() {
  if (m_bShown) {
    m_bShown = false;
    hide();
    UpdateTrayIcon(ui::NIM_MODIFY);
    return;
  }
  // A second request while the prompt is open adds no second prompt.
  if (m_bLoginOpen) return;
  m_bLoginOpen = true;
  CLogin login(*m_env.dialogs);
  const int result = login.DoModal();
  m_bLoginOpen = false;
  if (m_bEnding) return;
  if (result == ui::IDOK) {
    showNormal();
    raise();
    activateWindow();
    m_bShown = true;
  } else {
    EndDialog(ui::IDOK);
  }
}

void CPsUsbPortvane::OnOKRule() {
  if (!IsApplyEnabled()) ToggleMainWindow();
  if (GetActiveIndex() == 0) {
    if (ui::PropertyPage* first = GetPage(0); first && first->IsCreated()) first->OnApply();
  }
}

std::intptr_t CPsUsbPortvane::OnTrayNotify(std::uint32_t mouseMessage) {
  if (mouseMessage == ui::WM_LBUTTONDOWN) {
    ToggleMainWindow();
    return 1;
  }
  if (mouseMessage == ui::WM_RBUTTONUP) {
    const QPoint cursor = QCursor::pos();
    raise();
    activateWindow();
    if (m_env.tray) m_env.tray->TrackPopupMenu(m_menuTray, cursor, this);
    return 1;
  }
  return 0;
}

bool CPsUsbPortvane::UpdateTrayIcon(std::uint32_t operation) {
  if (!m_env.tray) return false;
  ui::NotifyIconData data;
  data.id = kTrayIconId;
  data.callbackMessage = WM_TRAY_NOTIFY;
  data.icon = LoadAppIcon();
  data.tip = m_strTitle;
  switch (operation) {
    case ui::NIM_ADD:
      data.flags = ui::NIF_MESSAGE | ui::NIF_ICON | ui::NIF_TIP;
      break;
    case ui::NIM_MODIFY:
      data.flags = ui::NIF_MESSAGE | ui::NIF_INFO;
      data.info = LoadString(IDS_TRAY_RUNNING);
      data.infoTitle = m_strTitle;
      data.timeout = 10000;
      break;
    case ui::NIM_DELETE:
      data.flags = 0;
      break;
    default:
      return false;
  }
  return m_env.tray->Notify(operation, data);
}

void CPsUsbPortvane::OnDeviceChange(std::uint32_t event, const DeviceBroadcastHeader* record) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return;
  if (!record || record->deviceType == 0) return;
  const bool arrival = event == DBT_DEVICEARRIVAL;
  if (record->deviceType == DBT_DEVTYP_VOLUME) {
    const auto* volume = reinterpret_cast<const DeviceBroadcastVolume*>(record);
    int index = 0;
    while (index < 26 && !(volume->unitMask & (1u << index))) ++index;
    char text[64];
    std::snprintf(text, sizeof text, arrival ? "Disk %c is inserted." : "Disk %c is removed.",
                  'A' + index);
    SetNotice(text);
  } else if (record->deviceType == DBT_DEVTYP_DEVICEINTERFACE) {
    SetNotice(arrival ? "New device is inserted." : "Device is removed.");
  } else {
    return;
  }
  ShowDeviceNotice();
}

void CPsUsbPortvane::ShowDeviceNotice() {
  if (!m_bPlugInNotices || !m_env.tray) return;
  ui::NotifyIconData data;
  data.id = kTrayIconId;
  data.callbackMessage = WM_TRAY_NOTIFY;
  data.icon = LoadAppIcon();
  data.tip = m_strTitle;
  data.flags = ui::NIF_MESSAGE | ui::NIF_INFO;
  data.info = FromU16(g_szDeviceNotice);
  data.infoTitle = m_strTitle;
  data.timeout = 10000;
  data.infoFlags = ui::NIIF_NONE;
  m_env.tray->Notify(ui::NIM_MODIFY, data);
}

void CPsUsbPortvane::OnSessionEnd() {
  // As at the end of a Windows session: whatever is open closes and the
  // program ends.
  m_bEnding = true;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget == this) continue;
    if (auto* dialog = dynamic_cast<ui::Dialog*>(widget); dialog && dialog->IsRunning())
      dialog->EndDialog(ui::IDCANCEL);
    else if (auto* other = qobject_cast<QDialog*>(widget); other && other->isVisible())
      other->reject();
  }
  EndDialog(ui::IDCANCEL);
}

void CPsUsbPortvane::RequestRebootPrompt() {
  if (m_bRebootPromptPending) return;
  m_bRebootPromptPending = true;
  SetTimer(kRebootTimer, 500);
}

void CPsUsbPortvane::OnTimer(int id) {
  if (id == kHideTimer) {
    // Stopped first, so that it cannot fire again while a prompt is open.
    KillTimer(kHideTimer);
    ToggleMainWindow();
  } else if (id == kRebootTimer) {
    KillTimer(kRebootTimer);
    const int answer = m_env.dialogs->MessageBox(
        this,
        "Please reboot your computer for applying your settings.\n Are you want to reboot now?",
        "Reboot", ui::MB_YESNO | ui::MB_ICONQUESTION);
    if (answer == ui::IDYES) RestartMachine();
    m_bRebootPromptPending = false;
  }
}

void CPsUsbPortvane::RestartMachine() {
  if (!m_env.shutdown) return;
  ShutdownControl& shutdown = *m_env.shutdown;
  if (!shutdown.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY)) return;
  Luid luid;
  shutdown.LookupPrivilegeValueW(SE_SHUTDOWN_NAME, &luid);
  if (shutdown.EnablePrivilege(luid) != win::ERROR_SUCCESS) return;
  shutdown.ExitWindowsEx(EWX_REBOOT, kRebootReason);
}

void CPsUsbPortvane::OpenAgentService() {
  CloseAgentService();
  const std::u16string_view name = u"PvnCourier";
  std::fill(std::begin(m_szAgentServiceName), std::end(m_szAgentServiceName), u'\0');
  std::copy(name.begin(), name.end(), m_szAgentServiceName);
  m_bAgentServiceReady = false;
  if (!m_env.services) return;
  win::Error error = 0;
  m_hSCManager = m_env.services->OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS, &error);
  if (!m_hSCManager) return;
  m_hService =
      m_env.services->OpenServiceW(m_hSCManager, m_szAgentServiceName, SERVICE_ALL_ACCESS, &error);
  if (!m_hService) {
    m_env.services->CloseServiceHandle(m_hSCManager);
    m_hSCManager = 0;
    return;
  }
  m_oServiceNotify = ServiceNotify{};
  m_oServiceNotify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
  m_oServiceNotify.pfnNotifyCallback = OnAgentStatusChange;
  m_oServiceNotify.pContext = this;
  m_bAgentServiceReady = m_env.services->NotifyServiceStatusChangeW(
                             m_hService, SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_RUNNING,
                             &m_oServiceNotify) == win::ERROR_SUCCESS;
}

void CPsUsbPortvane::CloseAgentService() {
  if (!m_env.services) return;
  if (m_hService) m_env.services->CloseServiceHandle(m_hService);
  if (m_hSCManager) m_env.services->CloseServiceHandle(m_hSCManager);
  m_hService = 0;
  m_hSCManager = 0;
}

void CPsUsbPortvane::OnDestroy() {
  UpdateTrayIcon(ui::NIM_DELETE);
  if (m_env.tray) m_env.tray->SetMouseSink(nullptr);
  for (auto& [id, timer] : m_timers) timer->stop();
  if (m_bAttached) {
    m_env.machine->Detach(this);
    m_bAttached = false;
  }
}

void CPsUsbPortvane::SetTimer(int id, int milliseconds) {
  auto& timer = m_timers[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, this,
                     [this, id] { WindowProc(ui::WM_TIMER, static_cast<std::uintptr_t>(id), 0); });
  }
  timer->start(milliseconds);
}

void CPsUsbPortvane::KillTimer(int id) {
  if (auto it = m_timers.find(id); it != m_timers.end()) it->second->stop();
}

bool CPsUsbPortvane::IsTimerRunning(int id) const {
  auto it = m_timers.find(id);
  return it != m_timers.end() && it->second->isActive();
}

int CPsUsbPortvane::TimerInterval(int id) const {
  auto it = m_timers.find(id);
  return it == m_timers.end() ? 0 : it->second->interval();
}

}  // namespace pvn::console
