// The yardstick for the start-up time: an empty Qt main window with a menu
// bar, shown and closed the way tagkana is under TAGKANA_QUIT_WHEN_SHOWN.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("bare"));
  window.menuBar()->addMenu(QStringLiteral("File"));
  window.resize(513, 530);
  window.show();
  QTimer::singleShot(0, &window, [&window] { window.close(); });
  return QApplication::exec();
}
