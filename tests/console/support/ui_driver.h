#pragma once
// Drives the console's windows from a test as a user would: answers a modal
// dialog once it shows, types into controls found by their identifiers and
// clicks buttons. Modal runs have their own event loops, so actions are
// queued before the call that opens the dialog and run inside its loop.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "console/ui/controls.h"
#include "console/ui/dialog.h"

namespace pvn::testing {

// Runs `action` on the first running dialog of type T that is visible, as
// soon as one is. Gives up after `timeoutMs` and reports it.
// A polling timer that lives until ResetDriver.
QTimer* NewPollTimer();
// Stops and frees the polling timers; call at the end of each test.
void ResetDriver();

template <class T>
void WhenShown(std::function<void(T*)> action, int timeoutMs = 5000) {
  QTimer* timer = NewPollTimer();
  auto elapsed = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, elapsed, action, timeoutMs] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = dynamic_cast<T*>(widget);
      if (dialog && dialog->isVisible() && dialog->IsRunning()) {
        timer->stop();
        action(dialog);
        return;
      }
    }
    *elapsed += 5;
    if (*elapsed > timeoutMs) {
      timer->stop();
      ADD_FAILURE() << "the expected dialog did not show";
    }
  });
  timer->start(5);
}

// Ends every running dialog: the safety net of a test that went wrong.
void EndAllDialogs();

// Types `text` into the edit with identifier `id` after clearing it.
void TypeInto(QWidget* dialog, int id, const QString& text);
// Clicks the button with identifier `id`.
void ClickButton(QWidget* dialog, int id);
// Waits until `predicate` holds, at most `timeoutMs`.
bool WaitFor(const std::function<bool()>& predicate, int timeoutMs = 5000);

}  // namespace pvn::testing
