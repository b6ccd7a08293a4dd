#include "tests/console/support/ui_driver.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLineEdit>

#include <vector>

namespace pvn::testing {

namespace {
std::vector<std::unique_ptr<QTimer>>& PollTimers() {
  static std::vector<std::unique_ptr<QTimer>> timers;
  return timers;
}
}  // namespace

QTimer* NewPollTimer() {
  PollTimers().push_back(std::make_unique<QTimer>());
  return PollTimers().back().get();
}

void ResetDriver() {
  for (auto& timer : PollTimers()) timer->stop();
  PollTimers().clear();
}

void EndAllDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = dynamic_cast<ui::Dialog*>(widget); dialog && dialog->IsRunning())
      dialog->EndDialog(ui::IDCANCEL);
  }
}

void TypeInto(QWidget* dialog, int id, const QString& text) {
  auto* edit = qobject_cast<QLineEdit*>(ui::FindControl(dialog, id));
  ASSERT_NE(edit, nullptr) << "no edit " << id;
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

void ClickButton(QWidget* dialog, int id) {
  auto* button = qobject_cast<QAbstractButton*>(ui::FindControl(dialog, id));
  ASSERT_NE(button, nullptr) << "no button " << id;
  ASSERT_TRUE(button->isEnabled()) << "button " << id << " is disabled";
  // A check box takes clicks on its box and label only: aim at the box.
  const QPoint at =
      qobject_cast<QCheckBox*>(button) ? QPoint(6, button->height() / 2) : button->rect().center();
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
}

bool WaitFor(const std::function<bool()>& predicate, int timeoutMs) {
  return QTest::qWaitFor(predicate, timeoutMs);
}

}  // namespace pvn::testing
