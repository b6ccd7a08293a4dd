#pragma once
// CDlgAbout: the program's name, version and purpose.
#include "console/ui/dialog.h"

namespace pvn::console {

class CDlgAbout : public ui::Dialog {
 public:
  explicit CDlgAbout(QWidget* owner = nullptr);

 protected:
  bool OnInitDialog() override;
};

}  // namespace pvn::console
