#pragma once
// CDlgSetPwd: changes the administrator password after checking the old one.
#include <string>

#include "console/ui/dialog.h"
#include "console/ui/dialog_services.h"

namespace pvn::console {

class CDlgSetPwd : public ui::Dialog {
 public:
  explicit CDlgSetPwd(ui::DialogServices& dialogs, QWidget* owner = nullptr);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  ui::DialogServices& m_dialogs;
  QString m_strOldPassword;
  QString m_strNewPassword;
  QString m_strConfirmation;
  std::u16string m_strStoredDigest;
};

}  // namespace pvn::console
