#include "console/usb_pvn_utility_app.h"

#include "console/login_dialog.h"
#include "console/ps_usb_portvane.h"
#include "console/qt_text.h"
#include "console/resources.h"
#include "console/ui/dialog.h"
#include "platform/desktop/command_line.h"
#include "platform/desktop/top_level_windows.h"

namespace pvn::console {

namespace {
CUsbPvnUtilityApp* g_current = nullptr;
}

CUsbPvnUtilityApp::CUsbPvnUtilityApp(const ConsoleEnvironment& environment, PageBuilder pages)
    : m_env(environment), m_buildPages(std::move(pages)) {
  g_current = this;
}

CUsbPvnUtilityApp::~CUsbPvnUtilityApp() {
  if (g_current == this) g_current = nullptr;
}

CUsbPvnUtilityApp* CUsbPvnUtilityApp::Current() {
  return g_current;
}

std::int32_t StartModeOf(const std::vector<std::u16string>& arguments) {
  return arguments.size() == 2 && arguments[1] == u"65501" ? 1 : 0;
}

bool FindRunningInstance() {
  const std::u16string title = ToU16(LoadString(IDS_APP_TITLE));
  desktop::Hwnd window = 0;
  while ((window = desktop::FindWindowExW(0, window, ui::kDialogClass, nullptr)) != 0) {
    char16_t text[512] = {};
    const int length = desktop::GetWindowTextW(window, text, 512);
    if (std::u16string_view(text, static_cast<std::size_t>(length)).substr(0, title.size()) ==
        title)
      return true;
  }
  return false;
}

bool CUsbPvnUtilityApp::InitInstance() {
  // COM and the common controls have no counterpart here: Qt needs neither.
  const std::vector<std::u16string> arguments =
      desktop::CommandLineToArgvW(desktop::GetCommandLineW());
  ProgramPath = arguments.empty() ? std::u16string() : arguments[0];
  StartMode = StartModeOf(arguments);

  if (FindRunningInstance()) return false;

  if (StartMode == 0) {
    CLogin login(*m_env.dialogs);
    if (login.DoModal() != ui::IDOK) return false;
  }

  {
    CPsUsbPortvane sheet(LoadString(IDS_APP_TITLE), m_env);
    sheet.setWindowIcon(LoadAppIcon());
    if (m_buildPages) m_buildPages(sheet);
    m_pMainWnd = &sheet;
    sheet.DoModal();
    m_pMainWnd = nullptr;
    // Leaving the block releases the sheet's agent-service handles and its
    // pages.
  }
  return false;
}

int CUsbPvnUtilityApp::ExitInstance() {
  return 0;
}

}  // namespace pvn::console
