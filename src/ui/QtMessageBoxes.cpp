#include "ui/QtMessageBoxes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStringListModel>
#include <QStyle>
#include <algorithm>
#include <numeric>
#include <vector>

#include "ui/Adapters.h"
#include "ui/Captions.h"

namespace tagkana {
namespace {

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

// Qt centres a box on its parent, or on the screen when it has none. A
// window not shown yet (an error at start-up) has no place to centre on.
QWidget* centredOn(QWidget* parent) {
  return parent != nullptr && parent->isVisible() ? parent : nullptr;
}

BoxAnswer showPlain(QWidget* parent, const QString& text, const QString& title, BoxButtons buttons,
                    BoxIcon icon) {
  QMessageBox box(centredOn(parent));
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

// The lines of a text as rows of one size, so that a view of forty thousand
// lays out only what it shows; QPlainTextEdit lays out every line first.
class LinesModel final : public QStringListModel {
 public:
  LinesModel(const QStringList& lines, QSize rowSize, QObject* parent)
      : QStringListModel(lines, parent), m_rowSize(rowSize) {}
  QVariant data(const QModelIndex& index, int role) const override {
    return role == Qt::SizeHintRole ? QVariant(m_rowSize) : QStringListModel::data(index, role);
  }

 private:
  QSize m_rowSize;
};

// The widest line, measured among the longest ones only: measuring them all
// would cost more than the rest of the box. A line that is still wider is
// shown cut in its middle, and copied whole.
int widestLine(const QStringList& lines, const QFontMetrics& metrics) {
  std::vector<qsizetype> order(static_cast<std::size_t>(lines.size()));
  std::iota(order.begin(), order.end(), 0);
  const auto longest = order.begin() + std::min<std::ptrdiff_t>(200, std::ssize(order));
  std::nth_element(order.begin(), longest, order.end(),
                   [&](qsizetype a, qsizetype b) { return lines[a].size() > lines[b].size(); });
  int widest = 0;
  for (auto i = order.begin(); i != longest; ++i) {
    widest = std::max(widest, metrics.horizontalAdvance(lines[*i]));
  }
  return widest;
}

// The lines in a list whose copy (Ctrl+C or its context menu) takes the
// selected lines, or all of them when none is selected, one a line.
class LinesView final : public QListView {
 public:
  LinesView(const QStringList& lines, int top, QWidget* parent)
      : QListView(parent), m_lines(lines), m_top(top) {
    auto* copy = new QAction(captions::kCopy, this);
    copy->setShortcut(QKeySequence::Copy);  // shown in the menu; keyPressEvent does the work
    connect(copy, &QAction::triggered, this, &LinesView::copyLines);
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
  }

 protected:
  // Sized by now, so the line can be brought to the top.
  void showEvent(QShowEvent* event) override {
    QListView::showEvent(event);
    scrollTo(model()->index(m_top, 0), QAbstractItemView::PositionAtTop);
  }

  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Copy)) {
      copyLines();
      event->accept();
      return;
    }
    QListView::keyPressEvent(event);
  }

 private:
  void copyLines() {
    QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) {
      QApplication::clipboard()->setText(m_lines.join(QLatin1Char('\n')));
      return;
    }
    std::sort(rows.begin(), rows.end());
    QStringList chosen;
    for (const QModelIndex& row : rows) {
      chosen.append(m_lines[row.row()]);
    }
    QApplication::clipboard()->setText(chosen.join(QLatin1Char('\n')));
  }

  const QStringList& m_lines;
  int m_top;
};

// The first lines, then the whole text in a scrollable area whose lines can
// be selected and copied, the buttons below: all within the screen's
// available area.
BoxAnswer showLong(QWidget* parent, const QStringList& lines, int top, const QString& title,
                   BoxButtons buttons, BoxIcon icon) {
  parent = centredOn(parent);
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
  for (const QString& line : lines.mid(0, kLongBoxFirstLines)) {
    shown.append(first->fontMetrics().elidedText(line, Qt::ElideMiddle, size.width() - 80));
  }
  first->setText(shown.join(QLatin1Char('\n')));
  layout->addWidget(first, 0, 1, Qt::AlignLeft | Qt::AlignTop);

  auto* whole = new LinesView(lines, top, &box);
  whole->setObjectName(QStringLiteral("lstWhole"));
  const QFontMetrics metrics = whole->fontMetrics();
  whole->setModel(new LinesModel(
      lines, QSize(widestLine(lines, metrics) + 2 * metrics.averageCharWidth(), metrics.height()),
      whole));
  whole->setUniformItemSizes(true);
  whole->setTextElideMode(Qt::ElideMiddle);
  whole->setEditTriggers(QAbstractItemView::NoEditTriggers);
  whole->setSelectionMode(QAbstractItemView::ExtendedSelection);
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
  return showAt(text, 0, title, buttons, icon);
}

BoxAnswer QtMessageBoxes::showAt(std::u16string_view text, std::size_t inView,
                                 std::u16string_view title, BoxButtons buttons, BoxIcon icon) {
  const QString shownTitle = title.empty() ? captions::kApplication : toQString(title);
  const QString whole = toQString(text);
  // The texts end their lines with CR LF.
  if (fitsPlainBox(text)) {
    return showPlain(m_parent, whole, shownTitle, buttons, icon);
  }
  QStringList lines = whole.split(QLatin1Char('\n'));
  for (QString& line : lines) {
    if (line.endsWith(QLatin1Char('\r'))) {
      line.chop(1);
    }
  }
  const auto top = std::count(text.begin(), text.begin() + std::min(inView, text.size()), u'\n');
  return showLong(m_parent, lines, static_cast<int>(top), shownTitle, buttons, icon);
}

}  // namespace tagkana
