#pragma once

#include <QMainWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/FormState.h"
#include "commands/MessageBoxes.h"
#include "layout/Form1Layout.h"
#include "platform/FileSystem.h"
#include "taglib/TagLibrary.h"
#include "ui/Adapters.h"
#include "ui/ListControls.h"

class QAction;
class QMenu;
class QPushButton;

namespace tagkana {

class ProgressWindow;
class Progress;
class RuntimeError;

// What a test may replace besides the three collaborators. Empty members mean
// the real thing: the machine's drives, its system drive, and ending the
// program by leaving the event loop. A long command shows its progress once
// it has run for `progressDelay`.
struct Form1Hooks {
  std::function<std::vector<std::u16string>()> drives;
  std::u16string systemDrive;
  std::function<void()> endProgram;
  std::chrono::milliseconds progressDelay{500};
};

// The program's one window. Construction runs Load: the tag library is
// started and Dir1 shows the system drive's root. When the library cannot be
// started, the error box is shown and the program ends (ended() is true).
// Every control, menu and item carries its name as objectName.
class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  // The real tag library, QMessageBox boxes and the system's file system.
  explicit Form1(QWidget* parent = nullptr);
  Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
        Form1Hooks hooks = {});
  ~Form1() override;

  const FormState& state() const { return m_state; }
  // The window's numbers in twips at the last completed layout.
  const layout::FormSize& formSize() const { return m_formSize; }
  // True once the program has been ended (or could not start).
  bool ended() const { return m_ended; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class OuterSize;
  class TwipsControl;

  void build();
  void createControls();
  void createMenus();
  void wireEvents();
  void fitToScreen();
  void Form_Load();
  void Form_Resize();

  // Runs one event handler; a run-time error shows the error box and
  // abandons the handler. After the end of the program nothing runs, and
  // while a long command runs nothing else starts (the layout excepted).
  void handle(const std::function<void()>& handler, bool whileRunning = false);
  // A command over many files: busy cursor, progress, キャンセル.
  void runLong(const std::function<void(Progress&)>& command);
  void showRuntimeError(const RuntimeError& error);
  void onClick(QPushButton* button, std::function<void()> handler);
  void onClick(QAction* action, std::function<void()> handler);

  void endProgram();
  void Drive1_Change();
  void Dir1_Change();
  void refresh();
  void List1_MouseDown(int button);
  void File1_MouseDown(int button);
  void btnGet_Click();
  void btnChange_Click();
  void menStart_Click();
  void menClear1_Click();
  void menUnReadonly_Click();
  void selectAllRows(bool selected);
  void selectAllFiles(bool selected);

  std::unique_ptr<TagLibrary> m_ownLibrary;
  std::unique_ptr<MessageBoxes> m_ownBoxes;
  TagLibrary* m_library;
  MessageBoxes* m_boxes;
  platform::FileSystem* m_files;
  Form1Hooks m_hooks;

  FormState m_state;
  bool m_libraryStarted = false;
  bool m_ended = false;
  ProgressWindow* m_running = nullptr;
  bool m_closeAfterRun = false;
  bool m_shown = false;

  DriveListBox* Drive1 = nullptr;
  DirListBox* Dir1 = nullptr;
  FileListBox* File1 = nullptr;
  PreviewListBox* List1 = nullptr;
  QPushButton* btnEnd = nullptr;
  QPushButton* btnGet = nullptr;
  QPushButton* btnChange = nullptr;
  QPushButton* btnSelectall = nullptr;
  QPushButton* btnClear = nullptr;

  QMenu* menFile = nullptr;
  QAction* menStart = nullptr;
  QAction* menExit = nullptr;
  QMenu* menPopup1 = nullptr;
  QAction* menSelectall1 = nullptr;
  QAction* menUnselectall1 = nullptr;
  QAction* menLine1 = nullptr;
  QAction* menClear1 = nullptr;
  QMenu* menPopup2 = nullptr;
  QAction* menSelectall2 = nullptr;
  QAction* menUnselectall2 = nullptr;
  QAction* menLine2 = nullptr;
  QAction* menUnReadonly = nullptr;

  std::unique_ptr<File1Adapter> m_file1;
  std::unique_ptr<List1Adapter> m_list1;
  std::unique_ptr<layout::Window> m_outerSize;
  std::vector<std::unique_ptr<layout::Control>> m_twips;
  std::unique_ptr<layout::Controls> m_layoutControls;
  layout::ResizeHandling m_resize;
  layout::FormSize m_formSize;
  bool m_wasMinimized = false;
};

}  // namespace tagkana
