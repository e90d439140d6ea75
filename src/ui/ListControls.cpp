#include "ui/ListControls.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/RuntimeError.h"

namespace tagkana {
namespace {

std::filesystem::path toFsPath(const QString& path) {
#ifdef _WIN32
  return std::filesystem::path(path.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// QDir lists without telling failures apart from empty folders, so the folder
// is opened once here first.
void checkReadable(const QString& folder) {
  std::error_code error;
  const std::filesystem::directory_iterator probe(toFsPath(folder), error);
  if (error || folder.isEmpty()) {
    throw RuntimeError(u"フォルダを読み取れませんでした。", folder.toStdU16String());
  }
}

QString cleanAbsolute(const QString& base, const QString& path) {
  const QString absolute = QDir::isAbsolutePath(path) ? path : QDir(base).absoluteFilePath(path);
  return QDir::toNativeSeparators(QDir::cleanPath(absolute));
}

bool lessIgnoringCase(const QString& a, const QString& b) {
  const int folded = QString::compare(a, b, Qt::CaseInsensitive);
  return folded != 0 ? folded < 0 : a < b;
}

// The entries of `folder` that `filters` admits; QDir leaves hidden and
// system entries out unless asked for them.
QStringList entries(const QString& folder, QDir::Filters filters, const QStringList& patterns) {
  QDir dir(folder);
  dir.setFilter(filters | QDir::NoDotAndDotDot);
  dir.setNameFilters(patterns);  // case-insensitive without QDir::CaseSensitive
  dir.setSorting(QDir::Unsorted);
  QStringList names = dir.entryList();
  std::sort(names.begin(), names.end(), lessIgnoringCase);
  return names;
}

QStringList splitPattern(const QString& pattern) {
  QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
  for (QString& p : patterns) {
    p = p.trimmed();
  }
  return patterns;
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

bool inRange(const QListWidget& list, int index) {
  return index >= 0 && index < list.count();
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
    const bool holds = path.startsWith(drive) &&
                       (drive.endsWith(QDir::separator()) || path.size() == drive.size() ||
                        path.at(drive.size()) == QDir::separator());
    if (holds && drive.size() > bestLength) {
      best = i;
      bestLength = drive.size();
    }
  }
  return best;
}

void DriveListBox::setDrive(const QString& drive) {
  const int index = indexOf(drive);
  if (index < 0) {
    throw RuntimeError(u"ドライブが見つかりません。", drive.toStdU16String());
  }
  setCurrentIndex(index);
}

void DriveListBox::writeDrive(const QString& drive) {
  try {
    setDrive(drive);
  } catch (const RuntimeError& error) {
    if (m_report) {
      m_report(error);
    }
  }
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
    addItem(QString::fromStdU16String(drive));
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
          [this](QListWidgetItem* item) { writePath(item->data(Qt::UserRole).toString()); });
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && currentItem() != nullptr) {
    writePath(currentItem()->data(Qt::UserRole).toString());
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void DirListBox::setPath(const QString& path) {
  const QString folder = cleanAbsolute(m_path.isEmpty() ? QDir::rootPath() : m_path, path);
  checkReadable(folder);
  const QStringList subfolders = entries(folder, QDir::Dirs, {});

  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  // The chain from the root down: "/", "/home", "/home/user".
  QStringList chain;
  for (QDir dir(folder);;) {
    chain.prepend(QDir::toNativeSeparators(dir.absolutePath()));
    if (dir.isRoot() || !dir.cdUp()) {
      break;
    }
  }
  int level = 0;
  for (const QString& step : chain) {
    const QString name = level == 0 ? step : QDir(step).dirName();
    auto* item = new QListWidgetItem(open, QString(level * 2, QLatin1Char(' ')) + name, this);
    item->setData(Qt::UserRole, step);
    ++level;
  }
  setCurrentRow(count() - 1);
  const QString indent(level * 2, QLatin1Char(' '));
  const QDir base(folder);
  for (const QString& name : subfolders) {
    auto* item = new QListWidgetItem(closed, indent + name, this);
    item->setData(Qt::UserRole, QDir::toNativeSeparators(base.absoluteFilePath(name)));
  }
  const bool changed = folder != m_path;
  m_path = folder;
  if (changed) {
    emit Change();
  } else {
    emit Reopened();
  }
}

void DirListBox::writePath(const QString& path) {
  try {
    setPath(path);
  } catch (const RuntimeError& error) {
    if (m_report) {
      m_report(error);
    }
  }
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
  return inRange(*this, index) ? item(index)->text() : QString();
}

bool SelectableListBox::Selected(int index) const {
  if (!inRange(*this, index)) {
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
  if (inRange(*this, index)) {
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
}

void FileListBox::reread(const QString& path) {
  checkReadable(path);
  const QStringList names = entries(path, QDir::Files, splitPattern(m_pattern));
  clearSelection();  // as List1's Clear: Qt would track every selected row
  clear();
  addItems(names);
}

void FileListBox::setPath(const QString& path) {
  const QString folder = cleanAbsolute(m_path.isEmpty() ? QDir::rootPath() : m_path, path);
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
  try {
    setPath(path);
  } catch (const RuntimeError& error) {
    if (m_report) {
      m_report(error);
    }
  }
}

void FileListBox::writePattern(const QString& pattern) {
  try {
    setPattern(pattern);
  } catch (const RuntimeError& error) {
    if (m_report) {
      m_report(error);
    }
  }
}

PreviewListBox::PreviewListBox(QWidget* parent) : SelectableListBox(parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setContextMenuPolicy(Qt::NoContextMenu);
  // One-line rows: laying out a thousand of them need not measure each.
  setUniformItemSizes(true);
}

}  // namespace tagkana
