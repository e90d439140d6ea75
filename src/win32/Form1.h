#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commands/FormState.h"
#include "commands/MessageBoxes.h"
#include "commands/Progress.h"
#include "common/RuntimeError.h"
#include "layout/Form1Layout.h"
#include "platform/FileSystem.h"
#include "taglib/TagLibrary.h"
#include "win32/ListControls.h"

namespace tagkana::win32 {

class ProgressBox;

// A control, a menu or a menu item found by its name: the control's window,
// the menu, or the item's command (with the menu that holds it).
struct NamedItem {
  HWND window = nullptr;
  HMENU menu = nullptr;
  UINT command = 0;
};

// The program's one window, made of the standard controls. create() runs
// Load: the tag library is started and Dir1 shows the system drive's root.
// Every control, menu and item can be found by its name.
class Form1 {
 public:
  Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
        std::chrono::milliseconds progressDelay = std::chrono::milliseconds(500));
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Creates and shows the window; false when the tag library could not be
  // started (the error box has been shown then).
  bool create(int show);
  HWND window() const { return m_window; }
  // Keyboard handling of the message loop (Tab, Enter, F5); true when the
  // message was used.
  bool preTranslate(MSG& message);

  NamedItem find(std::u16string_view name) const;
  const FormState& state() const { return m_state; }
  const layout::FormSize& formSize() const { return m_formSize; }
  // Event handlers running now (a box they show counts); for a test driver.
  int handlersRunning() const { return m_depth.load(); }

 private:
  class TwipsControl;
  class OuterSize;

  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR form);
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT onControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

  void createControls();
  void createMenus();
  void wireEvents();
  void applyFont();
  void placeFirst();
  HWND addControl(const char16_t* name, const wchar_t* kind, DWORD style, std::u16string_view text,
                  float left, float top, float width, float height);

  void handle(const std::function<void()>& handler, bool whileRunning = false);
  void runLong(const std::function<void(Progress&)>& command);
  void showRuntimeError(const RuntimeError& error);
  void onCommand(UINT id, UINT code);

  bool Form_Load();
  void Form_Resize();
  void endProgram();
  void showFolder(std::u16string_view path);
  void Drive1_Change();
  void Dir1_Change();
  void popup(HMENU menu);
  void btnGet_Click();
  void btnChange_Click();
  void menStart_Click();
  void menUnReadonly_Click();
  void selectAllRows(bool selected);
  void selectAllFiles(bool selected);

  TagLibrary& m_library;
  MessageBoxes& m_boxes;
  platform::FileSystem& m_files;
  std::chrono::milliseconds m_progressDelay;
  std::u16string m_systemDrive;

  HWND m_window = nullptr;
  HFONT m_font = nullptr;
  UINT m_dpi = 96;
  FormState m_state;
  bool m_libraryStarted = false;
  bool m_ended = false;
  bool m_closeAfterRun = false;
  ProgressBox* m_running = nullptr;
  std::atomic<int> m_depth{0};

  std::map<std::u16string, NamedItem, std::less<>> m_names;
  std::map<UINT, std::function<void()>> m_commands;
  std::unique_ptr<DriveList> Drive1;
  std::unique_ptr<DirList> Dir1;
  std::unique_ptr<FileListBox> File1;
  std::unique_ptr<PreviewListBox> List1;
  HMENU menPopup1 = nullptr;
  HMENU menPopup2 = nullptr;

  std::vector<std::unique_ptr<TwipsControl>> m_twips;
  std::unique_ptr<layout::Controls> m_layoutControls;
  std::unique_ptr<OuterSize> m_outerSize;
  layout::ResizeHandling m_resize;
  layout::FormSize m_formSize;
};

}  // namespace tagkana::win32
