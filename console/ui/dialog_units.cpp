#include "console/ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <cstdlib>

namespace pvn::ui {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long product = static_cast<long long>(a) * b;
  const long long half = std::llabs(c) / 2;
  const long long rounded =
      ((product < 0) != (c < 0)) ? (product - half) / c : (product + half) / c;
  return static_cast<int>(rounded);
}

QFont ResolveFont(const QStringList& families, int pixelHeight) {
  const QStringList installed = QFontDatabase::families();
  QString chosen = families.isEmpty() ? QString() : families.last();
  for (const QString& family : families) {
    if (installed.contains(family, Qt::CaseInsensitive)) {
      chosen = family;
      break;
    }
  }
  QFont font(chosen);
  font.setPixelSize(pixelHeight);
  font.setStyleHint(QFont::SansSerif);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

QFont DialogFont() {
  // MS Shell Dlg is an alias for Microsoft Sans Serif; Liberation Sans has
  // the metrics of Arial, which are close to it, and DejaVu Sans is the last
  // resort. 8 points at 96 dpi is an 11-pixel em.
  return ResolveFont({"MS Shell Dlg", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"},
                     11);
}

BaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return BaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int DluToPixelsX(const BaseUnits& units, int x) {
  return MulDiv(x, units.cx, 4);
}
int DluToPixelsY(const BaseUnits& units, int y) {
  return MulDiv(y, units.cy, 8);
}

QRect MapDialogRect(const BaseUnits& units, const QRect& r) {
  return QRect(DluToPixelsX(units, r.x()), DluToPixelsY(units, r.y()),
               DluToPixelsX(units, r.width()), DluToPixelsY(units, r.height()));
}

}  // namespace pvn::ui
