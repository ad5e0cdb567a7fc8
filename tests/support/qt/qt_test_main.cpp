// main() of the widget tests: one QApplication for the whole program, on the
// offscreen platform unless told otherwise, so no display is needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

namespace {

QtMessageHandler previousHandler = nullptr;

// Lines the platform writes on every run that say nothing about the program:
// the offscreen platform cannot pass size hints on, and a test machine has no
// session runtime folder.
void DropPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains(QStringLiteral("does not support propagateSizeHints")) ||
      text.contains(QStringLiteral("XDG_RUNTIME_DIR not set")))
    return;
  if (previousHandler)
    previousHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  previousHandler = qInstallMessageHandler(DropPlatformNoise);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
