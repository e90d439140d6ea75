#pragma once

#include <QMainWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Form1Controller.h"
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
class Form1 : public QMainWindow, private Form1View {
  Q_OBJECT

 public:
  // The real tag library, QMessageBox boxes and the system's file system.
  explicit Form1(QWidget* parent = nullptr);
  Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
        Form1Hooks hooks = {});
  ~Form1() override;

  const FormState& state() const { return m_controller.state(); }
  // The window's numbers in twips at the last completed layout.
  const layout::FormSize& formSize() const { return m_formSize; }
  // True once the program has been ended (or could not start).
  bool ended() const { return m_controller.ended(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class OuterSize;
  class Run;
  class TwipsControl;

  // The real machine where a hook is left empty.
  static Form1Hooks withDefaults(Form1Hooks hooks);
  void build();
  void createControls();
  void createMenus();
  void wireEvents();
  void fitToScreen();
  void onClick(QPushButton* button, std::function<void()> handler);
  void onClick(QAction* action, std::function<void()> handler);
  void popupOn(QMenu* menu, int button);
  void setInputEnabled(bool enabled);

  // Form1View
  std::u16string Drive() const override;
  bool selectDrive(std::u16string_view path) override;
  void showDriveOf(std::u16string_view path) override;
  std::u16string folder() const override;
  void setFolder(std::u16string_view path) override;
  void listFiles(std::u16string_view path) override;
  FileList& fileList() override { return *m_file1; }
  PreviewList& previewList() override { return *m_list1; }
  void setAllFilesSelected(bool selected) override;
  void setAllRowsSelected(bool selected) override;
  std::unique_ptr<RunProgress> beginRun() override;
  void closeWindow() override;

  std::unique_ptr<TagLibrary> m_ownLibrary;
  std::unique_ptr<MessageBoxes> m_ownBoxes;
  Form1Hooks m_hooks;
  Form1Controller m_controller;
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
