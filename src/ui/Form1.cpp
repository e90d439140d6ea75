#include "ui/Form1.h"

namespace tagkana {

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("ローマ字からひらがなとかに変換。　Ver1.1"));
}

}  // namespace tagkana
