#include "console/login_dialog.h"

#include "console/password_digest.h"
#include "console/qt_text.h"
#include "console/resources.h"

namespace pvn::console {

CLogin::CLogin(ui::DialogServices& dialogs, QWidget* owner)
    : ui::Dialog(&LoginTemplate(), owner), m_dialogs(dialogs) {}

bool CLogin::OnInitDialog() {
  SetWindowText("Portvane Console Login");
  m_strStoredDigest = LoadStoredDigest();
  m_nFailedAttempts = 0;
  if (QWidget* edit = Item(IDC_PASSWORD)) edit->setFocus();
  return true;
}

void CLogin::OnOK() {
  m_strPassword = Controls().Text(IDC_PASSWORD);
  const std::u16string digest = MakePasswordDigest(ToU16(m_strPassword));
  ++m_nFailedAttempts;
  if (digest == m_strStoredDigest) {
    EndDialog(ui::IDOK);
    return;
  }
  if (m_nFailedAttempts < 3) {
    m_dialogs.MessageBox(this, "The password is not correct! Please try again.", "Warning",
                         ui::MB_ICONEXCLAMATION | ui::MB_OK);
    return;
  }
  m_dialogs.MessageBox(this, "The password is not correct!", "Warning",
                       ui::MB_ICONEXCLAMATION | ui::MB_OK);
  EndDialog(ui::IDCANCEL);
}

}  // namespace pvn::console
