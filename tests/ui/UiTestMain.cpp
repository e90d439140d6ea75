#include <gtest/gtest.h>

#include <QApplication>

#include "taglib/Vbmp3Library.h"

// The window's tests need one QApplication for the whole run; they always
// run offscreen, test discovery included. The tag library leaves the last
// syncs of a run to the program, as when the program starts. The undo files
// of the runs the tests make stay out of the user's own folder.
int main(int argc, char* argv[]) {
  tagkana::leaveTagSyncsToTheRun();
  qputenv("XDG_STATE_HOME", QByteArray(TAGKANA_TEST_STATE));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tagkana"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
