#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "app/Form1View.h"
#include "commands/FormState.h"
#include "commands/MessageBoxes.h"
#include "platform/FileSystem.h"
#include "taglib/TagLibrary.h"

namespace tagkana {

class RuntimeError;

// Form1's behaviour, whichever window draws it. The window builds its
// controls, implements Form1View and forwards each event through handle() to
// the handler of the same name.
class Form1Controller {
 public:
  // `systemDrive` is where the program starts and 初期状態に戻る returns.
  Form1Controller(Form1View& view, TagLibrary& library, MessageBoxes& boxes,
                  platform::FileSystem& files, std::u16string systemDrive);
  // Releases a library that was started and never freed by the end.
  ~Form1Controller();
  Form1Controller(const Form1Controller&) = delete;
  Form1Controller& operator=(const Form1Controller&) = delete;

  const FormState& state() const { return m_state; }
  // True once the program has been ended (or could not start).
  bool ended() const { return m_ended; }
  bool running() const { return m_running != nullptr; }
  // Handlers running now (a box they show counts).
  int handlersRunning() const { return m_depth.load(); }

  // Runs one event handler; a run-time error shows the error box and
  // abandons the handler. After the end nothing runs, and while a long
  // command runs nothing else starts, unless `whileRunning` (the layout).
  void handle(const std::function<void()>& handler, bool whileRunning = false);
  void showRuntimeError(const RuntimeError& error);

  // Starts the tag library and shows the system drive's root. False when the
  // library cannot start: the error box has been shown and ended() is true;
  // the window then ends the program its own way.
  bool Form_Load();
  // The window's close button, Alt+F4 or 終了, whether a run works or not:
  // true when the window may go now. During a run the run stops before its
  // next file, and the program ends once its boxes are answered.
  bool closeRequested();

  // The handlers; call them through handle().
  void endProgram();
  void Drive1_Change();
  void Dir1_Change();
  // Dir1 shows the folder and File1 follows, also when it is the folder
  // already shown (F5, or opening it again).
  void showFolder(std::u16string_view path);
  void refresh();
  void btnGet_Click();
  void btnChange_Click();
  void menUnReadonly_Click();
  void menStart_Click();
  void menClear1_Click();
  void selectAllRows(bool selected);
  void selectAllFiles(bool selected);

 private:
  // A command over many files: busy pointer, progress, キャンセル.
  void runLong(const std::function<void(Progress&)>& command);

  Form1View& m_view;
  TagLibrary& m_library;
  MessageBoxes& m_boxes;
  platform::FileSystem& m_files;
  std::u16string m_systemDrive;

  FormState m_state;
  bool m_libraryStarted = false;
  bool m_ended = false;
  bool m_closeAfterRun = false;
  RunProgress* m_running = nullptr;
  std::atomic<int> m_depth{0};
};

}  // namespace tagkana
