#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

namespace tagkana {

class RuntimeError;

// Where a list control reports a failure of a choice made by the user or
// through a property (an unreadable folder, an unknown drive).
using ErrorReporter = std::function<void(const RuntimeError&)>;

// Drive1: the drives of the machine, one selected. On POSIX a drive's text is
// its mount path. Selecting another drive, by the user or through `Drive`,
// emits Change before it returns.
class DriveListBox : public QComboBox {
  Q_OBJECT
  Q_PROPERTY(QString Drive READ Drive WRITE writeDrive)

 public:
  using DriveSource = std::function<std::vector<std::u16string>()>;

  DriveListBox(DriveSource drives, QWidget* parent = nullptr);

  QString Drive() const;
  // Selects the drive named by `drive` or the drive that holds that path;
  // throws RuntimeError when there is none.
  void setDrive(const QString& drive);
  // As setDrive without emitting Change; true when another drive is selected.
  bool select(const QString& drive);
  // Selects the drive that holds `path` without emitting Change.
  void showDriveOf(const QString& path);
  void setErrorReporter(ErrorReporter reporter) { m_report = std::move(reporter); }

  void showPopup() override;

 signals:
  void Change();

 private:
  void writeDrive(const QString& drive);
  int indexOf(const QString& path) const;
  void refill();
  void selected(int index);

  DriveSource m_drives;
  QString m_drive;
  ErrorReporter m_report;
};

// Dir1: the chain of folders from the drive's root down to the shown folder,
// then the shown folder's subfolders. Double click or Enter on an entry shows
// that folder, whatever the style's single-click setting; a click selects. A
// change of the folder emits Change before the set returns; showing the same
// folder again lists it afresh and emits Reopened instead.
class DirListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(QString Path READ Path WRITE writePath)

 public:
  explicit DirListBox(QWidget* parent = nullptr);

  QString Path() const { return m_path; }
  // Relative paths are taken from the shown folder. Throws RuntimeError when
  // the folder cannot be read; nothing changes then.
  void setPath(const QString& path);
  // As setPath without a signal; true when the folder changed.
  bool open(const QString& path);
  void setErrorReporter(ErrorReporter reporter) { m_report = std::move(reporter); }
  // Typing goes to the first row whose name starts with what was typed,
  // whatever the row's indentation.
  void keyboardSearch(const QString& search) override;

 signals:
  void Change();
  void Reopened();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void writePath(const QString& path);

  QString m_path;
  ErrorReporter m_report;
  QString m_typed;
  QElapsedTimer m_sinceTyped;
};

// Mouse buttons numbered as the MouseDown handlers expect them.
enum MouseButtonCode { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

// What File1 and List1 share: rows read and selected by position, and a
// mouse press reported as MouseDown. Out-of-range positions give an empty
// text and false.
class SelectableListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(int ListCount READ ListCount)

 public:
  explicit SelectableListBox(QWidget* parent = nullptr);
  ~SelectableListBox() override;

  int ListCount() const { return count(); }
  bool hasRow(int index) const { return index >= 0 && index < count(); }
  Q_INVOKABLE QString List(int index) const;
  Q_INVOKABLE bool Selected(int index) const;
  Q_INVOKABLE void setSelected(int index, bool selected);
  // Every row at once, as one change of the selection.
  void setAllSelected(bool selected);

 signals:
  void MouseDown(int button, int shift, int x, int y);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Qt answers isSelected() by walking every selected range, so a loop over a
  // thousand singly selected rows would be quadratic. The answers are taken
  // once and kept until the selection or the rows change.
  mutable std::vector<bool> m_selected;
  mutable bool m_selectionStale = true;
  std::vector<QMetaObject::Connection> m_staleOn;
};

// File1: the files of one folder that match the pattern, hidden and system
// files left out, in case-insensitive name order; extended selection.
class FileListBox : public SelectableListBox {
  Q_OBJECT
  Q_PROPERTY(QString Path READ Path WRITE writePath)
  Q_PROPERTY(QString Pattern READ Pattern WRITE writePattern)

 public:
  explicit FileListBox(QWidget* parent = nullptr);

  QString Path() const { return m_path; }
  // Reads the folder at once; throws RuntimeError when it cannot be read.
  void setPath(const QString& path);
  QString Pattern() const { return m_pattern; }
  void setPattern(const QString& pattern);
  void setErrorReporter(ErrorReporter reporter) { m_report = std::move(reporter); }

 private:
  void writePath(const QString& path);
  void writePattern(const QString& pattern);
  void reread(const QString& path);

  QString m_path;
  QString m_pattern = QStringLiteral("*.mp3");
  ErrorReporter m_report;
};

// List1: unsorted rows, a click toggles a row's selection. Rows are never
// cut: the list scrolls sideways to its widest row, and a row that the
// list's width cuts shows its whole text as a tooltip.
class PreviewListBox : public SelectableListBox {
  Q_OBJECT

 public:
  explicit PreviewListBox(QWidget* parent = nullptr);

  // Dropping the selection first spares Qt tracking every selected row
  // through the removal, which is slow for a thousand rows.
  Q_INVOKABLE void Clear() {
    clearSelection();
    clear();
    m_widest = 0;
    m_sizeRow = -1;
  }
  Q_INVOKABLE void AddItem(const QString& text) { AddItems({text}); }
  // Rows at the end as one change of the list.
  void AddItems(const QStringList& texts);

 protected:
  bool viewportEvent(QEvent* event) override;

 private:
  int m_widest = 0;    // the widest row's text, in pixels
  QSize m_rowExtra;    // what a row adds around its text
  int m_sizeRow = -1;  // the row that carries the size of them all
};

}  // namespace tagkana
