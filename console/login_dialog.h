#pragma once
// CLogin: the password prompt at start-up and before the hidden main window
// shows again. Three wrong passwords end it with Cancel.
#include <string>

#include "console/ui/dialog.h"
#include "console/ui/dialog_services.h"

namespace pvn::console {

class CLogin : public ui::Dialog {
 public:
  explicit CLogin(ui::DialogServices& dialogs, QWidget* owner = nullptr);

  int FailedAttempts() const { return m_nFailedAttempts; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  ui::DialogServices& m_dialogs;
  QString m_strPassword;
  std::u16string m_strStoredDigest;
  std::int32_t m_nFailedAttempts = 0;
};

}  // namespace pvn::console
