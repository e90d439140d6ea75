#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "ui/Adapters.h"
#include "ui/Captions.h"

namespace tagkana {
namespace {

// Beyond this many lines, or this many characters in a line, a plain message
// box would leave the screen.
constexpr qsizetype kMaxBoxLines = 25;
constexpr qsizetype kMaxBoxLineLength = 160;
// What the long box shows above the whole text.
constexpr qsizetype kFirstLines = 5;

// A box shown while a busy cursor is up shows the normal pointer over it.
int execWithPointer(QDialog& box) {
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  const auto restore = qScopeGuard([busy] {
    if (busy) {
      QApplication::restoreOverrideCursor();
    }
  });
  return box.exec();
}

bool fitsPlainBox(const QStringList& lines) {
  return lines.size() <= kMaxBoxLines &&
         std::all_of(lines.begin(), lines.end(),
                     [](const QString& line) { return line.size() <= kMaxBoxLineLength; });
}

BoxAnswer showPlain(QWidget* parent, const QString& text, const QString& title, BoxButtons buttons,
                    BoxIcon icon) {
  QMessageBox box(parent);
  box.setWindowTitle(title);
  // File names may hold "<" and "&": never let them turn into rich text.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
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
  execWithPointer(box);
  return box.clickedButton() == ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

// The first lines, then the whole text in a scrollable, selectable area, the
// buttons below it: all of it within the screen's available area.
BoxAnswer showLong(QWidget* parent, const QString& text, const QStringList& lines,
                   const QString& title, BoxButtons buttons, BoxIcon icon) {
  QDialog box(parent);
  box.setObjectName(QStringLiteral("LongMessageBox"));
  box.setWindowTitle(title);
  const QScreen* screen = parent != nullptr ? parent->screen() : QApplication::primaryScreen();
  const QRect available = screen->availableGeometry();
  // Room for a window frame the dialog does not know before it is shown.
  const QSize most = available.size() - QSize(32, 64);
  const QSize size(std::min(most.width(), 640), std::min(most.height(), 480));

  auto* layout = new QGridLayout(&box);
  if (icon == BoxIcon::Stop) {
    auto* image = new QLabel(&box);
    const int extent = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    image->setPixmap(
        box.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(extent, extent));
    layout->addWidget(image, 0, 0, Qt::AlignTop);
  }
  auto* first = new QLabel(&box);
  first->setObjectName(QStringLiteral("lblFirstLines"));
  first->setTextFormat(Qt::PlainText);
  QStringList shown;
  for (const QString& line : lines.mid(0, kFirstLines)) {
    shown.append(first->fontMetrics().elidedText(line, Qt::ElideMiddle, size.width() - 80));
  }
  first->setText(shown.join(QLatin1Char('\n')));
  layout->addWidget(first, 0, 1);

  auto* whole = new QPlainTextEdit(&box);
  whole->setObjectName(QStringLiteral("txtWhole"));
  whole->setReadOnly(true);
  whole->setLineWrapMode(QPlainTextEdit::NoWrap);
  whole->setPlainText(text);
  layout->addWidget(whole, 1, 0, 1, 2);
  layout->setRowStretch(1, 1);

  auto* row = new QDialogButtonBox(&box);
  QPushButton* ok = row->addButton(captions::kOk, QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("btnOk"));
  ok->setDefault(true);
  if (buttons == BoxButtons::OkCancel) {
    row->addButton(captions::kCancel, QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("btnCancel"));
  }
  QObject::connect(row, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  QObject::connect(row, &QDialogButtonBox::rejected, &box, &QDialog::reject);
  layout->addWidget(row, 2, 0, 1, 2);

  box.setMaximumSize(most);
  box.resize(size);
  ok->setFocus();
  const bool accepted = execWithPointer(box) == QDialog::Accepted;
  // Esc on a box with OK alone is its OK, as in the plain box.
  return accepted || buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace

BoxAnswer QtMessageBoxes::show(std::u16string_view text, std::u16string_view title,
                               BoxButtons buttons, BoxIcon icon) {
  const QString shownTitle = title.empty() ? captions::kApplication : toQString(title);
  const QString whole = toQString(text);
  if (fitsPlainBox(whole.split(QLatin1Char('\n')))) {
    return showPlain(m_parent, whole, shownTitle, buttons, icon);
  }
  // The texts end their lines with CR LF; the text area shows lines.
  QString plain = whole;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return showLong(m_parent, plain, plain.split(QLatin1Char('\n')), shownTitle, buttons, icon);
}

}  // namespace tagkana
