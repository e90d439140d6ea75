#include <gtest/gtest.h>

#include <QApplication>

// The window's tests need one QApplication for the whole run; they always
// run offscreen, test discovery included.
int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tagkana"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
