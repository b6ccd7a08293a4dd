#include "console/ui/menu_template.h"

namespace pvn::ui {

std::unique_ptr<QMenu> BuildMenu(const MenuTemplate& menu, CommandTarget* target) {
  auto popup = std::make_unique<QMenu>();
  for (const MenuItemTemplate& item : menu) {
    if (item.separator) {
      popup->addSeparator();
      continue;
    }
    QAction* action = popup->addAction(QString::fromUtf8(item.text));
    action->setData(item.id);
    action->setEnabled(!item.grayed);
    const int id = item.id;
    QObject::connect(action, &QAction::triggered, popup.get(), [target, id] {
      if (target) target->OnCommand(id);
    });
  }
  return popup;
}

}  // namespace pvn::ui
