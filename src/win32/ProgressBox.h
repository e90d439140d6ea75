#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "app/Form1View.h"

namespace tagkana::win32 {

// Keeps the window alive through a long command. From the first file on the
// window takes no input, so no other command can start; messages are pumped
// between files. Once the run has taken `delay`, a box shows the count, the
// file being worked on and キャンセル, which stops the run before its next
// file (as do Esc and closing the box). The pointer is busy while it lives.
class ProgressBox final : public RunProgress {
 public:
  // `takeInput(false)` from the first file on, `takeInput(true)` at the end:
  // the owner keeps what must not change under the run still.
  ProgressBox(HWND owner, HFONT font, std::chrono::milliseconds delay,
              std::function<void(bool)> takeInput);
  ~ProgressBox() override;
  ProgressBox(const ProgressBox&) = delete;
  ProgressBox& operator=(const ProgressBox&) = delete;

  bool next(int done, int total, std::u16string_view path) override;
  // As next, with what it was last told.
  bool pulse() override;
  void end() override;
  void cancel() override { m_cancelled = true; }
  HWND box() const { return m_box; }

 private:
  static LRESULT CALLBACK boxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void build();
  void pump();

  HWND m_owner;
  HFONT m_font;
  std::chrono::milliseconds m_delay;
  std::function<void(bool)> m_takeInput;
  std::chrono::steady_clock::time_point m_started;
  std::chrono::steady_clock::time_point m_pumped;
  bool m_running = false;
  bool m_cancelled = false;
  int m_done = 0;
  int m_total = 0;
  std::u16string m_path;
  HWND m_focus = nullptr;
  HWND m_box = nullptr;
  HWND m_count = nullptr;
  HWND m_file = nullptr;
  HWND m_bar = nullptr;
};

}  // namespace tagkana::win32
