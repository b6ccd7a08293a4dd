// Renders the console's dialogs and the main window with each page to PNG
// files, offscreen, for the documentation:
//
//   portvane-console-shots [FOLDER]      (default: docs/screenshots)
//
// The windows run exactly as in the program, on a throw-away machine prefix
// with an installation path, answered by a script instead of a user.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "common/settings/registry_layout.h"
#include "console/about_dialog.h"
#include "console/login_dialog.h"
#include "console/pages/console_pages.h"
#include "console/platform_links.h"
#include "console/ps_usb_portvane.h"
#include "console/resources.h"
#include "console/set_password_dialog.h"
#include "console/ui/recording_notify_icon.h"
#include "console/ui/scripted_dialog_services.h"
#include "platform/registry/key.h"

namespace {

using namespace pvn;

// The window with a plain caption bar above it, as a desktop would frame it.
QImage Framed(QWidget* window) {
  const QPixmap client = window->grab();
  const int caption = 26;
  QImage image(client.width() + 2, client.height() + caption + 1, QImage::Format_ARGB32);
  image.fill(QColor(0x64, 0x64, 0x64));
  QPainter painter(&image);
  painter.fillRect(1, 1, client.width(), caption - 1, QColor(0xFF, 0xFF, 0xFF));
  painter.drawPixmap(6, 5, console::LoadIconImage(console::IDR_MAINFRAME, 16));
  QFont font = window->font();
  font.setPixelSize(12);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(28, 1, client.width() - 30, caption - 1), Qt::AlignVCenter,
                   window->windowTitle());
  painter.drawPixmap(1, caption, client);
  return image;
}

bool Save(const QImage& image, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// Runs `dialog` modally and calls `shoot` once it shows; `shoot` ends it.
template <class D>
void WhileShown(D& dialog, std::function<void(D&)> shoot) {
  QTimer::singleShot(50, &dialog, [&dialog, shoot] { shoot(dialog); });
  dialog.DoModal();
}

bool PrepareMachine() {
  auto key = reg::Key::Create(settings::kAppKeyPath, reg::KEY_ALL_ACCESS);
  return key && key->SetString(u"AppPath", u"C:\\Program Files\\Portvane\\") == win::ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir prefix;
  qputenv("PVN_PREFIX", prefix.path().toUtf8());
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("docs/screenshots"));
  if (!folder.mkpath(".") || !PrepareMachine()) {
    std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder.path()));
    return 1;
  }

  ui::ScriptedDialogServices dialogs;
  ui::RecordingNotifyIcon tray;
  console::PlatformServiceControl services;
  console::PlatformMachineLink machine;
  console::PlatformShutdownControl shutdown;
  const console::ConsoleEnvironment env{&dialogs, &tray, &services, &machine, &shutdown};
  bool ok = true;

  console::CLogin login(dialogs);
  WhileShown<console::CLogin>(login, [&](console::CLogin& d) {
    d.Controls().SetText(console::IDC_PASSWORD, "password");
    ok &= Save(Framed(&d), folder, "login.png");
    d.EndDialog(ui::IDCANCEL);
  });

  console::CDlgSetPwd setPassword(dialogs);
  WhileShown<console::CDlgSetPwd>(setPassword, [&](console::CDlgSetPwd& d) {
    d.Controls().SetText(console::IDC_OLD_PASSWORD, "old");
    ok &= Save(Framed(&d), folder, "change-password.png");
    d.EndDialog(ui::IDCANCEL);
  });

  console::CDlgAbout about;
  WhileShown<console::CDlgAbout>(about, [&](console::CDlgAbout& d) {
    ok &= Save(Framed(&d), folder, "about.png");
    d.EndDialog(ui::IDOK);
  });

  console::CPsUsbPortvane sheet(console::LoadString(console::IDS_APP_TITLE), env);
  console::AddConsolePages(sheet);
  WhileShown<console::CPsUsbPortvane>(sheet, [&](console::CPsUsbPortvane& s) {
    const char* names[] = {"sheet-keyboard-mouse.png", "sheet-storage.png", "sheet-option.png",
                           "sheet-import-export.png"};
    for (int i = 0; i < s.GetPageCount() && i < 4; ++i) {
      s.SetActivePage(i);
      s.UpdateHeader();
      ok &= Save(Framed(&s), folder, names[i]);
    }
    s.EndDialog(ui::IDCANCEL);
  });
  return ok ? 0 : 1;
}
