#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "win32/Form1.h"

namespace tagkana::win32 {

// Drives the window of a test build from a script, the way a user would:
// it posts the controls' own messages, answers message boxes and popup menus,
// and writes what the window shows to a log. Reads TAGKANA_DRIVER (the
// script, UTF-8, one tab-separated step a line) and TAGKANA_DRIVER_LOG; does
// nothing without them. A step that times out ends the process with 3.
class TestDriver {
 public:
  explicit TestDriver(Form1& form);
  ~TestDriver();
  TestDriver(const TestDriver&) = delete;
  TestDriver& operator=(const TestDriver&) = delete;

 private:
  using Step = std::vector<std::u16string>;
  static LRESULT CALLBACK markProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR driver);
  void run(const std::vector<Step>& steps);
  void perform(const Step& step);
  void waitFor(const std::function<bool()>& done, std::u16string_view what);
  void waitIdle();
  HWND shownWindowOfClass(const wchar_t* kind) const;
  HWND named(std::u16string_view name) const;
  void log(std::u16string_view line);
  void dump(std::u16string_view name);
  void inspectProgress();
  void checkCentred(HWND box);

  Form1& m_form;
  DWORD m_uiThread;
  std::FILE* m_log = nullptr;
  std::atomic<bool> m_stop{false};
  std::atomic<long> m_marked{0};
  long m_posted = 0;
  std::thread m_thread;
};

}  // namespace tagkana::win32
