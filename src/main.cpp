#include <QApplication>

#include "ui/Form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  tagkana::Form1 window;
  window.show();
  return QApplication::exec();
}
