#pragma once

// The window's progress box as a user sees it, found by its object name.
#include <QApplication>
#include <QLabel>
#include <QString>
#include <QWidget>

namespace tagkana::uitest {

// The progress box while it is on screen, else null.
inline QWidget* progressBox() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() == QLatin1String("Progress") && top->isVisible()) {
      return top;
    }
  }
  return nullptr;
}

// The file the box names, or nothing while no box is shown.
inline QString shownFile() {
  QWidget* box = progressBox();
  return box == nullptr ? QString() : box->findChild<QLabel*>(QStringLiteral("lblFile"))->text();
}

}  // namespace tagkana::uitest
