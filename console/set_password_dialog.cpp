#include "console/set_password_dialog.h"

#include "common/settings/registry_layout.h"
#include "common/settings/usb_pvn_envment.h"
#include "console/password_digest.h"
#include "console/qt_text.h"
#include "console/resources.h"

namespace pvn::console {

CDlgSetPwd::CDlgSetPwd(ui::DialogServices& dialogs, QWidget* owner)
    : ui::Dialog(&SetPasswordTemplate(), owner), m_dialogs(dialogs) {}

bool CDlgSetPwd::OnInitDialog() {
  m_strStoredDigest = LoadStoredDigest();
  if (QWidget* edit = Item(IDC_OLD_PASSWORD)) edit->setFocus();
  return true;
}

void CDlgSetPwd::OnOK() {
  m_strOldPassword = Controls().Text(IDC_OLD_PASSWORD);
  m_strNewPassword = Controls().Text(IDC_NEW_PASSWORD);
  m_strConfirmation = Controls().Text(IDC_CONFIRM_PASSWORD);
  if (MakePasswordDigest(ToU16(m_strOldPassword)) != m_strStoredDigest) {
    m_dialogs.MessageBox(this, "The old password is not correct! Please input it again.", "Warning",
                         ui::MB_ICONEXCLAMATION | ui::MB_OK);
    return;
  }
  if (m_strNewPassword != m_strConfirmation) {
    m_dialogs.MessageBox(this, "The passwords are not the same. Please confirm it again.", "Error",
                         ui::MB_ICONEXCLAMATION | ui::MB_OK);
    return;
  }
  // A failed write is reported only by the store's diagnostic line; the
  // previous digest then stays in force.
  const std::u16string digest = MakePasswordDigest(ToU16(m_strConfirmation));
  settings::CUsbPvnEnvment::SetRegString(settings::kPasswordValue.data(), digest.c_str());
  m_dialogs.MessageBox(this, "The password has been changed!", "Information",
                       ui::MB_ICONINFORMATION | ui::MB_OK);
  EndDialog(ui::IDOK);
}

}  // namespace pvn::console
