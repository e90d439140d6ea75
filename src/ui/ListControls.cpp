#include "ui/ListControls.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/Drives.h"
#include "platform/Listing.h"
#include "platform/Paths.h"
#include "ui/Adapters.h"

namespace tagkana {
namespace {

// A row's real text (a name or a path exactly as the OS gave it) where it
// differs from what the row shows.
constexpr int kRealTextRole = Qt::UserRole;
// How many spaces of a row's text indent it.
constexpr int kIndentRole = Qt::UserRole + 1;

// A change made through a property has no caller to throw to: its failure
// goes to the reporter.
void reporting(const ErrorReporter& report, const std::function<void()>& change) {
  try {
    change();
  } catch (const RuntimeError& error) {
    if (report) {
      report(error);
    }
  }
}

QString absoluteFolder(const QString& current, const QString& path) {
  const std::u16string base = current.isEmpty() ? platform::systemDrive() : toU16String(current);
  return toQString(platform::absoluteFolder(base, toU16String(path)));
}

QListWidgetItem* addRow(QListWidget& list, const QIcon& icon, int level, std::u16string_view name,
                        const std::u16string& real) {
  const QString shown = QString(level * 2, QLatin1Char(' ')) + toQString(visibleName(name));
  auto* item = new QListWidgetItem(icon, shown, &list);
  item->setData(kRealTextRole, toQString(real));
  item->setData(kIndentRole, level * 2);
  return item;
}

// 1 Shift, 2 Ctrl, 4 Alt.
int shiftCode(Qt::KeyboardModifiers modifiers) {
  return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) |
         (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
         (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

int buttonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return kLeftButton;
    case Qt::RightButton:
      return kRightButton;
    case Qt::MiddleButton:
      return kMiddleButton;
    default:
      return 0;
  }
}

}  // namespace

DriveListBox::DriveListBox(DriveSource drives, QWidget* parent)
    : QComboBox(parent), m_drives(std::move(drives)) {
  refill();
  m_drive = currentText();
  connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::selected);
}

QString DriveListBox::Drive() const {
  return m_drive;
}

int DriveListBox::indexOf(const QString& path) const {
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < count(); ++i) {
    const QString drive = itemText(i);
    if (drive == path) {
      return i;
    }
    const bool holds =
        !drive.isEmpty() && path.startsWith(drive) &&
        (platform::isSeparator(drive.back().unicode()) || path.size() == drive.size() ||
         platform::isSeparator(path.at(drive.size()).unicode()));
    if (holds && drive.size() > bestLength) {
      best = i;
      bestLength = drive.size();
    }
  }
  return best;
}

bool DriveListBox::select(const QString& drive) {
  const int index = indexOf(drive);
  if (index < 0) {
    throw RuntimeError(u"ドライブが見つかりません。", toU16String(drive));
  }
  const QSignalBlocker blocker(this);
  setCurrentIndex(index);
  const bool changed = itemText(index) != m_drive;
  m_drive = itemText(index);
  return changed;
}

void DriveListBox::setDrive(const QString& drive) {
  if (select(drive)) {
    emit Change();
  }
}

void DriveListBox::writeDrive(const QString& drive) {
  reporting(m_report, [&] { setDrive(drive); });
}

void DriveListBox::showDriveOf(const QString& path) {
  const int index = indexOf(path);
  if (index >= 0) {
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
    m_drive = itemText(index);
  }
}

void DriveListBox::refill() {
  const QSignalBlocker blocker(this);
  clear();
  for (const std::u16string& drive : m_drives()) {
    addItem(toQString(drive));
  }
  if (!m_drive.isEmpty()) {
    // A drive that went away stays listed while it is selected.
    int index = findText(m_drive);
    if (index < 0) {
      addItem(m_drive);
      index = count() - 1;
    }
    setCurrentIndex(index);
  }
}

void DriveListBox::showPopup() {
  refill();  // drives come and go while the program runs
  QComboBox::showPopup();
}

void DriveListBox::selected(int index) {
  const QString drive = itemText(index);
  if (index < 0 || drive == m_drive) {
    return;
  }
  m_drive = drive;
  emit Change();
}

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Not itemActivated: under a single-click style it would open on a click.
  connect(this, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { writePath(item->data(kRealTextRole).toString()); });
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && currentItem() != nullptr) {
    writePath(currentItem()->data(kRealTextRole).toString());
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void DirListBox::keyboardSearch(const QString& search) {
  if (search.isEmpty() || count() == 0) {
    return;
  }
  if (!m_sinceTyped.isValid() || m_sinceTyped.elapsed() > QApplication::keyboardInputInterval()) {
    m_typed.clear();
  }
  m_sinceTyped.start();
  m_typed += search;
  // The same letter again steps on to the next name with it, as Qt's own
  // search does; more letters refine the name found.
  const bool stepping = m_typed.count(m_typed.front()) == m_typed.size();
  const QString wanted = stepping ? m_typed.left(1) : m_typed;
  const int from = std::max(currentRow(), 0) + (stepping ? 1 : 0);
  for (int step = 0; step < count(); ++step) {
    QListWidgetItem* row = item((from + step) % count());
    const QString name = row->text().mid(row->data(kIndentRole).toInt());
    if (name.startsWith(wanted, Qt::CaseInsensitive)) {
      setCurrentItem(row);
      return;
    }
  }
}

void DirListBox::setPath(const QString& path) {
  if (open(path)) {
    emit Change();
  } else {
    emit Reopened();
  }
}

bool DirListBox::open(const QString& path) {
  const QString folder = absoluteFolder(m_path, path);
  const std::u16string real = toU16String(folder);
  const std::vector<std::u16string> subfolders = platform::listFolders(real);

  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  // The chain from the root down: "/", "/home", "/home/user".
  int level = 0;
  for (const std::u16string& step : platform::folderChain(real)) {
    addRow(*this, open, level, level == 0 ? step : platform::namePart(step), step);
    ++level;
  }
  setCurrentRow(count() - 1);
  for (const std::u16string& name : subfolders) {
    addRow(*this, closed, level, name, platform::joinPath(real, name));
  }
  const bool changed = folder != m_path;
  m_path = folder;
  return changed;
}

void DirListBox::writePath(const QString& path) {
  reporting(m_report, [&] { setPath(path); });
}

SelectableListBox::SelectableListBox(QWidget* parent) : QListWidget(parent) {
  const auto stale = [this] { m_selectionStale = true; };
  m_staleOn = {
      connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, stale),
      connect(model(), &QAbstractItemModel::rowsInserted, this, stale),
      connect(model(), &QAbstractItemModel::rowsRemoved, this, stale),
      connect(model(), &QAbstractItemModel::rowsMoved, this, stale),
      connect(model(), &QAbstractItemModel::modelReset, this, stale),
      connect(model(), &QAbstractItemModel::layoutChanged, this, stale),
  };
}

// QListWidget empties its model as it goes, after this part of the object is
// gone: nothing may reach it then.
SelectableListBox::~SelectableListBox() {
  for (const QMetaObject::Connection& connection : m_staleOn) {
    disconnect(connection);
  }
}

QString SelectableListBox::List(int index) const {
  if (!hasRow(index)) {
    return QString();
  }
  const QVariant real = item(index)->data(kRealTextRole);
  return real.isValid() ? real.toString() : item(index)->text();
}

bool SelectableListBox::Selected(int index) const {
  if (!hasRow(index)) {
    return false;
  }
  if (m_selectionStale) {
    m_selected.assign(static_cast<std::size_t>(count()), false);
    for (const QModelIndex& selected : selectionModel()->selectedIndexes()) {
      m_selected[static_cast<std::size_t>(selected.row())] = true;
    }
    m_selectionStale = false;
  }
  return m_selected[static_cast<std::size_t>(index)];
}

void SelectableListBox::setSelected(int index, bool selected) {
  if (hasRow(index)) {
    item(index)->setSelected(selected);
  }
}

void SelectableListBox::setAllSelected(bool selected) {
  const int rows = count();
  if (rows == 0) {
    return;
  }
  if (selected) {
    selectionModel()->select(QItemSelection(model()->index(0, 0), model()->index(rows - 1, 0)),
                             QItemSelectionModel::ClearAndSelect);
  } else {
    selectionModel()->clearSelection();
  }
}

// Only the left button selects; the right one is kept for the popup menu, so
// that opening it never loses the selection it acts on.
void SelectableListBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    QListWidget::mousePressEvent(event);
  } else {
    event->accept();
  }
  const QPoint at = event->position().toPoint();
  emit MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
}

void SelectableListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    QListWidget::mouseDoubleClickEvent(event);
  } else {
    event->accept();
  }
}

FileListBox::FileListBox(QWidget* parent) : SelectableListBox(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setContextMenuPolicy(Qt::NoContextMenu);
  // One-line rows: a folder of 20,000 files need not measure each.
  setUniformItemSizes(true);
}

void FileListBox::reread(const QString& path) {
  const std::vector<std::u16string> names =
      platform::listFiles(toU16String(path), toU16String(m_pattern));
  clearSelection();  // as List1's Clear: Qt would track every selected row
  clear();
  for (const std::u16string& name : names) {
    addRow(*this, QIcon(), 0, name, name);
  }
}

void FileListBox::setPath(const QString& path) {
  const QString folder = absoluteFolder(m_path, path);
  reread(folder);
  m_path = folder;
}

void FileListBox::setPattern(const QString& pattern) {
  m_pattern = pattern;
  if (!m_path.isEmpty()) {
    reread(m_path);
  }
}

void FileListBox::writePath(const QString& path) {
  reporting(m_report, [&] { setPath(path); });
}

void FileListBox::writePattern(const QString& pattern) {
  reporting(m_report, [&] { setPattern(pattern); });
}

PreviewListBox::PreviewListBox(QWidget* parent) : SelectableListBox(parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setContextMenuPolicy(Qt::NoContextMenu);
  // One-line rows: laying out a thousand of them need not measure each.
  setUniformItemSizes(true);
}

void PreviewListBox::AddItems(const QStringList& texts) {
  if (texts.isEmpty()) {
    return;
  }
  const QFontMetrics metrics = fontMetrics();
  for (const QString& text : texts) {
    m_widest = std::max(m_widest, metrics.horizontalAdvance(text));
  }
  const bool first = count() == 0;
  addItems(texts);
  if (first) {
    const QListWidgetItem* top = item(0);
    const QSize natural = sizeHintForIndex(indexFromItem(top));
    m_rowExtra = QSize(natural.width() - metrics.horizontalAdvance(top->text()), natural.height());
  }
  // With uniform sizes Qt takes the last row's size for every row: the last
  // row carries the widest row's width, so that no row is cut and the list
  // scrolls sideways.
  if (m_sizeRow >= 0 && m_sizeRow < count()) {
    item(m_sizeRow)->setData(Qt::SizeHintRole, QVariant());
  }
  m_sizeRow = count() - 1;
  item(m_sizeRow)->setData(Qt::SizeHintRole,
                           QSize(m_widest + m_rowExtra.width(), m_rowExtra.height()));
}

bool PreviewListBox::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) {
    return SelectableListBox::viewportEvent(event);
  }
  const auto* help = static_cast<QHelpEvent*>(event);
  const QModelIndex index = indexAt(help->pos());
  const QString text = index.data().toString();
  const QRect row = visualRect(index);
  const int textLeft = row.left() + m_rowExtra.width() / 2;
  const int textRight = textLeft + fontMetrics().horizontalAdvance(text);
  if (index.isValid() && (textLeft < 0 || textRight > viewport()->width())) {
    QToolTip::showText(help->globalPos(), text, viewport(), row);
  } else {
    QToolTip::hideText();
  }
  return true;
}

}  // namespace tagkana
