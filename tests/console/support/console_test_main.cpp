// GoogleTest entry for the console's tests: one QApplication for all of them,
// on the offscreen platform unless the environment asks for another.
#include <gtest/gtest.h>
#include <QApplication>

namespace {
// The offscreen platform cannot raise windows and says so every time.
QtMessageHandler g_previous = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("does not support raise()")) return;
  if (g_previous) g_previous(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  g_previous = qInstallMessageHandler(QuietHandler);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
