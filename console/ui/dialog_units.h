#pragma once
// Dialog units and the dialog font.
//
// Dialog layouts are given in dialog units: a horizontal unit is a quarter of
// the font's average character width, a vertical unit an eighth of its
// height. The average width is taken over the 52 letters A-Z and a-z and
// rounded as Windows rounds it, so that layouts keep their proportions with
// whatever font stands in for the named one.
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

namespace pvn::ui {

struct BaseUnits {
  int cx = 0;  // average character width in pixels
  int cy = 0;  // character height in pixels
};

// The first of `families` that the system has, else the last of them as
// Qt's font matching resolves it. `pixelHeight` is the em height in pixels.
QFont ResolveFont(const QStringList& families, int pixelHeight);

// The dialog font: MS Shell Dlg 8 pt at 96 dots per inch (11 pixels), or a
// metric-compatible sans serif where the system lacks it.
QFont DialogFont();

BaseUnits BaseUnitsOf(const QFont& font);

// MapDialogRect: x and width in quarters of cx, y and height in eighths of cy,
// each rounded to the nearest pixel.
QRect MapDialogRect(const BaseUnits& units, const QRect& dialogUnits);
int DluToPixelsX(const BaseUnits& units, int x);
int DluToPixelsY(const BaseUnits& units, int y);

// MulDiv: a * b / c rounded to nearest, half away from zero.
int MulDiv(int a, int b, int c);

}  // namespace pvn::ui
