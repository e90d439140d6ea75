#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Form1Controller.h"
#include "commands/MessageBoxes.h"
#include "layout/Form1Layout.h"
#include "platform/FileSystem.h"
#include "taglib/TagLibrary.h"
#include "win32/ListControls.h"

namespace tagkana::win32 {

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
class Form1 : private Form1View {
 public:
  Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
        std::chrono::milliseconds progressDelay = std::chrono::milliseconds(500));
  ~Form1() override;
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
  const FormState& state() const { return m_controller.state(); }
  const layout::FormSize& formSize() const { return m_formSize; }
  // Event handlers running now (a box they show counts); for a test driver.
  int handlersRunning() const { return m_controller.handlersRunning(); }

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
  void createRowTip(HWND list);
  void showRowTip(HWND list, LPARAM at);
  void hideRowTip();
  void wireEvents();
  void applyFont();
  void placeFirst();
  HWND addControl(const char16_t* name, const wchar_t* kind, DWORD style, std::u16string_view text,
                  float left, float top, float width, float height);

  void handle(const std::function<void()>& handler) { m_controller.handle(handler); }
  void onCommand(UINT id, UINT code);
  void Form_Resize();
  void popup(HMENU menu);
  void setInputEnabled(bool enabled);

  // Form1View
  std::u16string Drive() const override { return Drive1->Drive(); }
  bool selectDrive(std::u16string_view path) override;
  void showDriveOf(std::u16string_view path) override { Drive1->select(path); }
  std::u16string folder() const override { return Dir1->Path(); }
  void setFolder(std::u16string_view path) override { Dir1->setPath(path); }
  void listFiles(std::u16string_view path) override { File1->setPath(path); }
  FileList& fileList() override { return *File1; }
  PreviewList& previewList() override { return *List1; }
  void setAllFilesSelected(bool selected) override { File1->setAllSelected(selected); }
  void setAllRowsSelected(bool selected) override { List1->setAllSelected(selected); }
  std::unique_ptr<RunProgress> beginRun() override;
  void closeWindow() override { DestroyWindow(m_window); }

  std::chrono::milliseconds m_progressDelay;
  Form1Controller m_controller;

  HWND m_window = nullptr;
  HFONT m_font = nullptr;
  UINT m_dpi = 96;

  std::map<std::u16string, NamedItem, std::less<>> m_names;
  std::map<UINT, std::function<void()>> m_commands;
  std::unique_ptr<DriveList> Drive1;
  std::unique_ptr<DirList> Dir1;
  std::unique_ptr<FileListBox> File1;
  std::unique_ptr<PreviewListBox> List1;
  HMENU menPopup1 = nullptr;
  HMENU menPopup2 = nullptr;
  HWND m_rowTip = nullptr;
  int m_tipRow = -1;  // the preview row the tooltip shows, or -1

  std::vector<std::unique_ptr<TwipsControl>> m_twips;
  std::unique_ptr<layout::Controls> m_layoutControls;
  std::unique_ptr<OuterSize> m_outerSize;
  layout::ResizeHandling m_resize;
  layout::FormSize m_formSize;
};

}  // namespace tagkana::win32
