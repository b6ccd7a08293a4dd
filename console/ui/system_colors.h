#pragma once
// System colours and metrics with the values of the standard desktop scheme,
// for drawing that the documents describe in those terms.
#include <QColor>

namespace pvn::ui {

inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;

inline constexpr int SM_CXEDGE = 45;

QColor GetSysColor(int index);
int GetSystemMetrics(int index);

}  // namespace pvn::ui
