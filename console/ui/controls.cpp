#include "console/ui/controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>

namespace pvn::ui {

namespace {

constexpr const char* kIdProperty = "pvnControlId";

// Turns typed letters to upper case, as an edit box with the upper-case style.
class UpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

std::unique_ptr<QWidget> MakeControl(const ControlTemplate& c) {
  const QString text = QString::fromUtf8(c.text);
  switch (c.kind) {
    case ControlKind::kLabel: {
      auto label = std::make_unique<QLabel>(text);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::kIcon:
      return std::make_unique<QLabel>();
    case ControlKind::kGroupBox:
      return std::make_unique<QGroupBox>(text);
    case ControlKind::kEdit: {
      auto edit = std::make_unique<QLineEdit>(text);
      if (c.style & kStylePassword) edit->setEchoMode(QLineEdit::Password);
      if (c.style & kStyleUpperCase)
        edit->setValidator(AdoptObject(std::make_unique<UpperCaseValidator>(), edit.get()));
      if (c.style & kStyleNumber)
        edit->setValidator(
            AdoptObject(std::make_unique<QRegularExpressionValidator>(QRegularExpression("[0-9]*")),
                        edit.get()));
      return edit;
    }
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton: {
      auto button = std::make_unique<QPushButton>(text);
      // Enter is routed by the dialog, never by Qt's focus-following default.
      button->setAutoDefault(false);
      button->setDefault(c.kind == ControlKind::kDefPushButton);
      return button;
    }
    case ControlKind::kCheckBox:
      return std::make_unique<QCheckBox>(text);
    case ControlKind::kListView: {
      auto list = std::make_unique<QTreeWidget>();
      list->setRootIsDecorated(false);
      list->setItemsExpandable(false);
      list->setUniformRowHeights(true);
      list->header()->setStretchLastSection(false);
      return list;
    }
  }
  return std::make_unique<QWidget>();
}

}  // namespace

int ControlId(const QWidget* widget) {
  const QVariant v = widget ? widget->property(kIdProperty) : QVariant();
  return v.isValid() ? v.toInt() : IDC_STATIC;
}

void SetControlId(QWidget* widget, int id) {
  widget->setProperty(kIdProperty, id);
  if (id != IDC_STATIC) widget->setObjectName(QString("ctl%1").arg(id));
}

void ControlSet::Register(int id, QWidget* widget) {
  SetControlId(widget, id);
  items_[id] = widget;
}

QWidget* FindControl(const QWidget* root, int id) {
  if (!root) return nullptr;
  for (QWidget* child : root->findChildren<QWidget*>()) {
    if (ControlId(child) == id) return child;
  }
  return nullptr;
}

QSize ControlSet::Build(QWidget* parent, const DialogTemplate& dialog, const BaseUnits& units) {
  for (const ControlTemplate& c : dialog.controls) {
    QWidget* widget = Adopt(MakeControl(c), parent);
    widget->setGeometry(MapDialogRect(units, QRect(c.x, c.y, c.cx, c.cy)));
    if (c.id != IDC_STATIC)
      Register(c.id, widget);
    else
      SetControlId(widget, c.id);
    widget->setEnabled(!(c.style & kStyleDisabled));
    widget->setFocusPolicy((c.style & kStyleNoTabStop) || c.kind == ControlKind::kLabel ||
                                   c.kind == ControlKind::kIcon || c.kind == ControlKind::kGroupBox
                               ? Qt::NoFocus
                               : Qt::StrongFocus);
    widget->setVisible(!(c.style & kStyleHidden));
  }
  return MapDialogRect(units, QRect(0, 0, dialog.cx, dialog.cy)).size();
}

QWidget* ControlSet::Item(int id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

QString ControlSet::Text(int id) const {
  QWidget* w = Item(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  return QString();
}

void ControlSet::SetText(int id, const QString& text) {
  QWidget* w = Item(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w))
    edit->setText(text);
  else if (auto* label = qobject_cast<QLabel*>(w))
    label->setText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(w))
    button->setText(text);
  else if (auto* group = qobject_cast<QGroupBox*>(w))
    group->setTitle(text);
}

bool ControlSet::IsChecked(int id) const {
  auto* button = qobject_cast<QAbstractButton*>(Item(id));
  return button && button->isChecked();
}

void ControlSet::SetChecked(int id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Item(id))) button->setChecked(checked);
}

void ControlSet::Enable(int id, bool enabled) {
  if (QWidget* w = Item(id)) w->setEnabled(enabled);
}

void ControlSet::Show(int id, bool shown) {
  if (QWidget* w = Item(id)) w->setVisible(shown);
}

}  // namespace pvn::ui
