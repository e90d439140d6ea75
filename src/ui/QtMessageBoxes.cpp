#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>

#include "ui/Adapters.h"
#include "ui/Captions.h"

namespace tagkana {
BoxAnswer QtMessageBoxes::show(std::u16string_view text, std::u16string_view title,
                               BoxButtons buttons, BoxIcon icon) {
  QMessageBox box(m_parent);
  box.setWindowTitle(title.empty() ? captions::kApplication : toQString(title));
  // File names may hold "<" and "&": never let them turn into rich text.
  box.setTextFormat(Qt::PlainText);
  box.setText(toQString(text));
  box.setIcon(icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon);
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  ok->setText(captions::kOk);
  box.setDefaultButton(ok);
  if (buttons == BoxButtons::OkCancel) {
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    cancel->setText(captions::kCancel);
    box.setEscapeButton(cancel);
  } else {
    box.setEscapeButton(ok);
  }

  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  const auto restore = qScopeGuard([busy] {
    if (busy) {
      QApplication::restoreOverrideCursor();
    }
  });
  box.exec();
  return box.clickedButton() == ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace tagkana
