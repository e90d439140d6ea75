#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <chrono>
#include <memory>
#include <string>

#include "app/Form1View.h"

class QDialog;
class QLabel;
class QProgressBar;
class QWidget;

namespace tagkana {

// Keeps the window alive through a long command run between events. Once the
// run has taken `delay`, a box "Progress" shows the count ("1,234 / 20,000"),
// the file being worked on and a キャンセル button (btnCancel) that stops the
// run before its next file. Before that, events are handled without user
// input. The box blocks no window, so that the owner's close button always
// reaches it; the owner keeps its other controls still. The pointer is busy
// while it lives.
class ProgressWindow final : public RunProgress {
 public:
  ProgressWindow(QWidget* owner, std::chrono::milliseconds delay);
  ~ProgressWindow() override;

  bool next(int done, int total, std::u16string_view path) override;
  // As next, with what it was last told.
  bool pulse() override;
  void end() override;
  void cancel() override { m_cancelled = true; }

 private:
  void build();
  void show();

  QWidget* m_owner;
  std::chrono::milliseconds m_delay;
  QElapsedTimer m_started;
  QElapsedTimer m_sinceEvents;
  std::unique_ptr<QDialog> m_dialog;
  QLabel* m_count = nullptr;
  QLabel* m_file = nullptr;
  QProgressBar* m_bar = nullptr;
  bool m_cancelled = false;
  int m_done = 0;
  int m_total = 0;
  std::u16string m_path;
};

}  // namespace tagkana
