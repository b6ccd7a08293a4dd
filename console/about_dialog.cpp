#include "console/about_dialog.h"

#include <QLabel>

#include "console/resources.h"

namespace pvn::console {

CDlgAbout::CDlgAbout(QWidget* owner) : ui::Dialog(&AboutTemplate(), owner) {}

bool CDlgAbout::OnInitDialog() {
  SetWindowText(LoadString(IDS_APP_TITLE));
  Controls().SetText(IDC_ABOUT_LINE1,
                     QString("Portvane Console, Version %1").arg(LoadString(IDS_VERSION)));
  Controls().SetText(IDC_ABOUT_LINE2, LoadString(IDS_ABOUT_LINE2));
  if (auto* icon = qobject_cast<QLabel*>(Item(IDC_ABOUT_ICON)))
    icon->setPixmap(LoadIconImage(IDR_MAINFRAME, 32));
  return true;
}

}  // namespace pvn::console
