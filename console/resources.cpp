#include "console/resources.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "console/ui/win_constants.h"

namespace pvn::console {

using ui::ControlKind;

QString LoadString(int id) {
  switch (id) {
    case IDS_ABOUTBOX:
      return "&About Portvane Console...";
    case IDS_APP_TITLE:
      return "Portvane Console";
    case IDS_TRAY_RUNNING:
      return "Portvane Console is running here.";
    case IDS_VERSION:
      return "1.00.3101";
    case IDS_ABOUT_LINE2:
      return "Keeps the USB ports of this PC for approved devices only.";
    default:
      return QString();
  }
}

const ui::MenuTemplate& TaskMenu() {
  static const ui::MenuTemplate menu = {
      {ID_TASK_SHOWHIDE, "Show/Hide"},
      {ID_TASK_ABOUT, "&About"},
      {0, "", true},
      {ID_TASK_EXIT, "E&xit"},
  };
  return menu;
}

const ui::DialogTemplate& LoginTemplate() {
  static const ui::DialogTemplate dialog = {
      "Portvane Console Login",
      217,
      51,
      {
          {ui::IDC_STATIC, ControlKind::kLabel, "Password:", 7, 10, 40, 8},
          {IDC_PASSWORD, ControlKind::kEdit, "", 50, 7, 160, 14,
           ui::kStylePassword | ui::kStyleAutoHScroll},
          {ui::IDOK, ControlKind::kDefPushButton, "OK", 106, 30, 50, 14},
          {ui::IDCANCEL, ControlKind::kPushButton, "Cancel", 160, 30, 50, 14},
      }};
  return dialog;
}

const ui::DialogTemplate& SetPasswordTemplate() {
  static const ui::DialogTemplate dialog = {
      "Change Login Password",
      217,
      94,
      {
          {ui::IDC_STATIC, ControlKind::kLabel, "Old Password:", 7, 10, 64, 8},
          {IDC_OLD_PASSWORD, ControlKind::kEdit, "", 75, 7, 135, 14,
           ui::kStylePassword | ui::kStyleAutoHScroll},
          {ui::IDC_STATIC, ControlKind::kLabel, "New Password:", 7, 30, 64, 8},
          {IDC_NEW_PASSWORD, ControlKind::kEdit, "", 75, 27, 135, 14,
           ui::kStylePassword | ui::kStyleAutoHScroll},
          {ui::IDC_STATIC, ControlKind::kLabel, "Confirm Password:", 7, 50, 64, 8},
          {IDC_CONFIRM_PASSWORD, ControlKind::kEdit, "", 75, 47, 135, 14,
           ui::kStylePassword | ui::kStyleAutoHScroll},
          {ui::IDOK, ControlKind::kPushButton, "OK", 106, 73, 50, 14},
          {ui::IDCANCEL, ControlKind::kPushButton, "Cancel", 160, 73, 50, 14},
      }};
  return dialog;
}

const ui::DialogTemplate& AboutTemplate() {
  static const ui::DialogTemplate dialog = {
      "Portvane Console",
      269,
      69,
      {
          {IDC_ABOUT_ICON, ControlKind::kIcon, "", 11, 14, 21, 20},
          {IDC_ABOUT_LINE1, ControlKind::kLabel, "", 42, 14, 160, 8},
          {IDC_ABOUT_LINE2, ControlKind::kLabel, "", 42, 28, 160, 26},
          {ui::IDOK, ControlKind::kDefPushButton, "OK", 212, 7, 50, 14},
      }};
  return dialog;
}

namespace {

// The icons are drawn on a 48-unit grid and scaled to the size asked for.
constexpr QColor kInk(0x1F, 0x4E, 0x79);
constexpr QColor kAccent(0x2E, 0x9C, 0xCA);
constexpr QColor kPaper(0xFF, 0xFF, 0xFF);

void DrawShieldAndLock(QPainter& p) {
  QPainterPath shield;
  shield.moveTo(24, 3);
  shield.lineTo(42, 9);
  shield.cubicTo(42, 28, 35, 39, 24, 45);
  shield.cubicTo(13, 39, 6, 28, 6, 9);
  shield.closeSubpath();
  p.setPen(QPen(kInk, 2));
  p.setBrush(kAccent);
  p.drawPath(shield);
  p.setPen(QPen(kPaper, 3.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(18, 13, 12, 13), 0, 180 * 16);
  p.drawLine(QPointF(18, 19.5), QPointF(18, 22));
  p.drawLine(QPointF(30, 19.5), QPointF(30, 22));
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawRoundedRect(QRectF(15, 21, 18, 14), 2, 2);
  p.setBrush(kInk);
  p.drawEllipse(QPointF(24, 27), 2, 2);
  p.drawRect(QRectF(23.2, 27, 1.6, 5));
}

void DrawKeyboardAndMouse(QPainter& p) {
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(QColor(0xE8, 0xEE, 0xF4));
  p.drawRoundedRect(QRectF(2, 16, 32, 20), 3, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 6; ++col) p.drawRect(QRectF(5 + col * 4.7, 19.5 + row * 4.6, 3.2, 3.2));
  }
  p.drawRect(QRectF(10, 33, 16, 1.6));
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(kAccent);
  p.drawRoundedRect(QRectF(36, 22, 10, 16), 5, 5);
  p.drawLine(QPointF(41, 22), QPointF(41, 28));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(33, 8, 16, 16), 200 * 16, 70 * 16);
}

void DrawStorageStick(QPainter& p) {
  p.translate(24, 24);
  p.rotate(-35);
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(QColor(0xC8, 0xCF, 0xD6));
  p.drawRect(QRectF(-5, -21, 10, 9));
  p.setBrush(kInk);
  p.drawRect(QRectF(-2.5, -18.5, 1.8, 2));
  p.drawRect(QRectF(0.7, -18.5, 1.8, 2));
  p.setBrush(kAccent);
  p.drawRoundedRect(QRectF(-8, -12, 16, 32), 3, 3);
  p.setPen(QPen(kPaper, 1.8, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(0, 10), QPointF(0, -4));
  p.drawLine(QPointF(0, -4), QPointF(-3, 0));
  p.drawLine(QPointF(0, -4), QPointF(3, 0));
  p.drawLine(QPointF(0, 5), QPointF(-4, 2));
  p.drawLine(QPointF(0, 3), QPointF(4, 0));
}

void DrawGear(QPainter& p) {
  QPainterPath gear;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double angle = i * 3.14159265358979 / teeth;
    const double r = (i % 2 == 0) ? 19.0 : 14.5;
    const QPointF a(24 + r * std::cos(angle - 0.17), 24 + r * std::sin(angle - 0.17));
    const QPointF b(24 + r * std::cos(angle + 0.17), 24 + r * std::sin(angle + 0.17));
    if (i == 0)
      gear.moveTo(a);
    else
      gear.lineTo(a);
    gear.lineTo(b);
  }
  gear.closeSubpath();
  gear.addEllipse(QPointF(24, 24), 6, 6);
  gear.setFillRule(Qt::OddEvenFill);
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(kAccent);
  p.drawPath(gear);
}

void DrawImportExport(QPainter& p) {
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(QColor(0xF4, 0xF6, 0xF8));
  QPainterPath page;
  page.moveTo(10, 4);
  page.lineTo(30, 4);
  page.lineTo(38, 12);
  page.lineTo(38, 44);
  page.lineTo(10, 44);
  page.closeSubpath();
  p.drawPath(page);
  p.drawLine(QPointF(30, 4), QPointF(30, 12));
  p.drawLine(QPointF(30, 12), QPointF(38, 12));
  auto arrow = [&p](double y, bool right) {
    const double from = right ? 14 : 44, to = right ? 44 : 14;
    p.setPen(QPen(kAccent, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(from, y), QPointF(to, y));
    const double back = right ? -6 : 6;
    p.drawLine(QPointF(to, y), QPointF(to + back, y - 5));
    p.drawLine(QPointF(to, y), QPointF(to + back, y + 5));
  };
  arrow(21, true);
  arrow(33, false);
}

}  // namespace

QPixmap LoadIconImage(int id, int size) {
  void (*draw)(QPainter&) = nullptr;
  switch (id) {
    case IDR_MAINFRAME:
      draw = DrawShieldAndLock;
      break;
    case IDI_KEYBMOUS:
      draw = DrawKeyboardAndMouse;
      break;
    case IDI_STORAGE:
      draw = DrawStorageStick;
      break;
    case IDI_OPTION:
      draw = DrawGear;
      break;
    case IDI_CFGTOOL:
      draw = DrawImportExport;
      break;
    default:
      return QPixmap();
  }
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 48.0, size / 48.0);
  draw(painter);
  return pixmap;
}

QIcon LoadAppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(LoadIconImage(IDR_MAINFRAME, size));
  return icon;
}

}  // namespace pvn::console
