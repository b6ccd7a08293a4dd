#pragma once
// The console's resources: string table, menus, icons and dialog templates.
#include <QIcon>
#include <QPixmap>
#include <QString>

#include "console/ui/dialog_template.h"
#include "console/ui/menu_template.h"

namespace pvn::console {

// String table.
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_APP_TITLE = 102;
inline constexpr int IDS_TRAY_RUNNING = 104;
inline constexpr int IDS_VERSION = 105;
inline constexpr int IDS_ABOUT_LINE2 = 106;
// LoadString: the text, or an empty string for an unknown identifier.
QString LoadString(int id);

// Icons: the application icon and the pages' icons.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDI_KEYBMOUS = 161;
inline constexpr int IDI_STORAGE = 162;
inline constexpr int IDI_OPTION = 163;
inline constexpr int IDI_CFGTOOL = 165;
// LoadImage of an icon at `size` pixels; a null pixmap for an unknown one.
QPixmap LoadIconImage(int id, int size);
QIcon LoadAppIcon();

// Menu "Task", the notification-area icon's popup.
inline constexpr int ID_TASK_ABOUT = 32772;
inline constexpr int ID_TASK_EXIT = 32774;
inline constexpr int ID_TASK_SHOWHIDE = 32775;
const ui::MenuTemplate& TaskMenu();

// System-menu commands of the main window.
inline constexpr std::uint32_t IDM_ABOUTBOX = 0x0010;
inline constexpr std::uint32_t IDM_LOGINPASSWORD = 0x0020;

// Dialog templates and control identifiers.
inline constexpr int IDC_PASSWORD = 1000;
const ui::DialogTemplate& LoginTemplate();

inline constexpr int IDC_OLD_PASSWORD = 1001;
inline constexpr int IDC_NEW_PASSWORD = 1002;
inline constexpr int IDC_CONFIRM_PASSWORD = 1003;
const ui::DialogTemplate& SetPasswordTemplate();

inline constexpr int IDC_ABOUT_ICON = 1020;
inline constexpr int IDC_ABOUT_LINE1 = 1021;
inline constexpr int IDC_ABOUT_LINE2 = 1022;
const ui::DialogTemplate& AboutTemplate();

}  // namespace pvn::console
