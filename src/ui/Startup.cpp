#include "ui/Startup.h"

#include <QApplication>
#include <QLibraryInfo>
#ifdef TAGKANA_TEST_HOOKS
#include <QPixmap>
#include <QTimer>
#endif
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "taglib/Vbmp3Library.h"
#include "ui/Captions.h"
#include "ui/Form1.h"

namespace tagkana {

int runApplication(int& argc, char** argv) {
  // Before any thread starts and before the tag library is loaded.
  leaveTagSyncsToTheRun();
  QApplication app(argc, argv);
  QApplication::setApplicationName(captions::kApplication);
  QApplication::setApplicationVersion(captions::kVersion);
  QApplication::setDesktopFileName(QStringLiteral("tagkana"));

  // Qt's own texts (standard buttons, context menus) in Japanese.
  QTranslator qtJapanese;
  if (qtJapanese.load(QStringLiteral("qtbase_ja"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtJapanese);
  }

  Form1 window;
  if (window.ended()) {
    return EXIT_FAILURE;  // the tag library could not be started
  }
  window.show();

#ifdef TAGKANA_TEST_HOOKS
  const QString grab = qEnvironmentVariable("TAGKANA_GRAB");
  if (!grab.isEmpty()) {
    // Let the first layout and paint happen before the grab.
    QTimer::singleShot(300, &window, [&window, grab] {
      if (!window.grab().save(grab, "PNG")) {
        std::fprintf(stderr, "tagkana: cannot save %s\n", qPrintable(grab));
      }
      window.close();
    });
  } else if (qEnvironmentVariableIntValue("TAGKANA_QUIT_WHEN_SHOWN") == 1) {
    QTimer::singleShot(0, &window, [&window] { window.close(); });
  }
#endif
  return QApplication::exec();
}

}  // namespace tagkana
