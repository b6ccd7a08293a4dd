#pragma once
// Controls built from a template and found again by their identifiers.
#include <QString>
#include <QWidget>
#include <map>
#include <memory>

#include "console/ui/dialog_template.h"
#include "console/ui/dialog_units.h"

namespace pvn::ui {

// Qt's parent-child ownership: the parent deletes the widget with itself.
template <class W>
W* Adopt(std::unique_ptr<W> widget, QWidget* parent) {
  widget->setParent(parent);
  return widget.release();
}

template <class O>
O* AdoptObject(std::unique_ptr<O> object, QObject* parent) {
  object->setParent(parent);
  return object.release();
}

// The control identifier a widget carries, or IDC_STATIC.
int ControlId(const QWidget* widget);
void SetControlId(QWidget* widget, int id);
// The descendant of `root` with the identifier `id`, or null.
QWidget* FindControl(const QWidget* root, int id);

// The controls of one dialog or page, keyed by identifier.
class ControlSet {
 public:
  // Creates the template's controls as children of `parent`, placed in
  // pixels from the dialog units; returns the client size in pixels.
  QSize Build(QWidget* parent, const DialogTemplate& dialog, const BaseUnits& units);

  // Adds a control that code created itself.
  void Register(int id, QWidget* widget);
  QWidget* Item(int id) const;
  // GetDlgItemText / SetDlgItemText for labels, edits, buttons and boxes.
  QString Text(int id) const;
  void SetText(int id, const QString& text);
  // IsDlgButtonChecked / CheckDlgButton.
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  void Enable(int id, bool enabled);
  void Show(int id, bool shown);

 private:
  std::map<int, QWidget*> items_;
};

// A push button's command arrives here (WM_COMMAND); see Dialog and pages.
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;
  virtual bool OnCommand(int id) = 0;
};

}  // namespace pvn::ui
