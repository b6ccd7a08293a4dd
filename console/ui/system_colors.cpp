#include "console/ui/system_colors.h"

namespace pvn::ui {

QColor GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW:
      return QColor(0xFF, 0xFF, 0xFF);
    case COLOR_WINDOWFRAME:
      return QColor(0x64, 0x64, 0x64);
    case COLOR_WINDOWTEXT:
      return QColor(0x00, 0x00, 0x00);
    case COLOR_BTNFACE:
      return QColor(0xF0, 0xF0, 0xF0);
    case COLOR_BTNSHADOW:
      return QColor(0xA0, 0xA0, 0xA0);
    case COLOR_BTNHIGHLIGHT:
      return QColor(0xFF, 0xFF, 0xFF);
    default:
      return QColor(0, 0, 0);
  }
}

int GetSystemMetrics(int index) {
  return index == SM_CXEDGE ? 2 : 0;
}

}  // namespace pvn::ui
