#include <QSystemTrayIcon>

#include "console/ui/notify_icon.h"
#include "console/ui/win_constants.h"

namespace pvn::ui {

struct QtNotifyIcon::Impl {
  std::unique_ptr<QSystemTrayIcon> tray;
  std::unique_ptr<QMenu> menu;
};

QtNotifyIcon::QtNotifyIcon() : impl_(std::make_unique<Impl>()) {}
QtNotifyIcon::~QtNotifyIcon() = default;

bool QtNotifyIcon::Notify(std::uint32_t message, const NotifyIconData& data) {
  if (message == NIM_DELETE) {
    if (!impl_->tray) return false;
    impl_->tray->hide();
    impl_->tray.reset();
    return true;
  }
  if (message == NIM_ADD) {
    if (impl_->tray) return false;
    impl_->tray = std::make_unique<QSystemTrayIcon>();
    QObject::connect(impl_->tray.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                       switch (reason) {
                         case QSystemTrayIcon::Trigger:
                           Deliver(WM_LBUTTONDOWN);
                           Deliver(WM_LBUTTONUP);
                           break;
                         case QSystemTrayIcon::DoubleClick:
                           Deliver(WM_LBUTTONDBLCLK);
                           break;
                         case QSystemTrayIcon::Context:
                           Deliver(WM_RBUTTONDOWN);
                           Deliver(WM_RBUTTONUP);
                           break;
                         default:
                           break;
                       }
                     });
  } else if (message != NIM_MODIFY || !impl_->tray) {
    return false;
  }
  if (data.flags & NIF_ICON) impl_->tray->setIcon(data.icon);
  if (data.flags & NIF_TIP) impl_->tray->setToolTip(data.tip);
  if (message == NIM_ADD) impl_->tray->show();
  if (data.flags & NIF_INFO) {
    impl_->tray->showMessage(
        data.infoTitle, data.info,
        data.infoFlags == NIIF_INFO ? QSystemTrayIcon::Information : QSystemTrayIcon::NoIcon,
        static_cast<int>(data.timeout));
  }
  return true;
}

void QtNotifyIcon::TrackPopupMenu(const MenuTemplate& menu, const QPoint& pos,
                                  CommandTarget* target) {
  impl_->menu = BuildMenu(menu, target);
  impl_->menu->popup(pos);
}

}  // namespace pvn::ui
