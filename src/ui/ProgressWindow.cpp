#include "ui/ProgressWindow.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "common/Utf.h"
#include "ui/Adapters.h"
#include "ui/Captions.h"

namespace tagkana {
namespace {

// Events are handled this often during a run: often enough to repaint well
// within 100 ms, seldom enough to cost little beside the files' own work.
constexpr qint64 kEventsEveryMs = 25;
// The file's line, at least; a name is cut in its middle to fit it.
constexpr int kFileWidth = 360;
// How long the box's first frame is waited for: a window manager maps it a
// moment after it is shown.
constexpr qint64 kFirstFrameMs = 60;

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, std::chrono::milliseconds delay)
    : m_owner(owner), m_delay(delay) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

ProgressWindow::~ProgressWindow() {
  QApplication::restoreOverrideCursor();
}

void ProgressWindow::build() {
  m_dialog = std::make_unique<QDialog>(m_owner);
  m_dialog->setObjectName(QStringLiteral("Progress"));
  m_dialog->setWindowTitle(captions::kApplication);
  auto* layout = new QVBoxLayout(m_dialog.get());
  m_count = new QLabel(m_dialog.get());
  m_count->setObjectName(QStringLiteral("lblCount"));
  m_file = new QLabel(m_dialog.get());
  m_file->setObjectName(QStringLiteral("lblFile"));
  m_file->setTextFormat(Qt::PlainText);
  m_file->setMinimumWidth(kFileWidth);
  m_bar = new QProgressBar(m_dialog.get());
  m_bar->setTextVisible(false);
  auto* button = new QPushButton(captions::kCancel, m_dialog.get());
  button->setObjectName(QStringLiteral("btnCancel"));
  layout->addWidget(m_count);
  layout->addWidget(m_file);
  layout->addWidget(m_bar);
  layout->addWidget(button, 0, Qt::AlignRight);
  QObject::connect(button, &QPushButton::clicked, button, [this] { cancel(); });
  // Closing the box or Esc is the same as キャンセル.
  QObject::connect(m_dialog.get(), &QDialog::rejected, m_dialog.get(), [this] { cancel(); });
}

// Shown with its texts already set and drawn before the work goes on, so
// that its first frame is never an empty box.
void ProgressWindow::show() {
  m_dialog->show();
  QElapsedTimer waited;
  waited.start();
  const QWindow* window = m_dialog->windowHandle();
  while (window != nullptr && !window->isExposed() && waited.elapsed() < kFirstFrameMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(2);
  }
  m_dialog->repaint();
}

bool ProgressWindow::next(int done, int total, std::u16string_view path) {
  m_done = done;
  m_total = total;
  m_path.assign(path);
  if (!m_started.isValid()) {
    m_started.start();  // the confirmation before the run does not count
  } else if (m_cancelled || m_sinceEvents.elapsed() < kEventsEveryMs) {
    return !m_cancelled;
  }
  const bool first = !m_dialog && m_started.elapsed() >= m_delay.count();
  if (first) {
    build();
  }
  if (m_dialog) {
    m_count->setText(toQString(groupedDecimal(done) + u" / " + groupedDecimal(total)));
    m_file->setText(m_file->fontMetrics().elidedText(toQString(visibleName(path)), Qt::ElideMiddle,
                                                     std::max(m_file->width(), kFileWidth)));
    m_bar->setMaximum(total);
    m_bar->setValue(done);
  }
  if (first) {
    show();
  }
  // Input reaches the window only through the modal box, so no other command
  // can start while this one runs.
  QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents
                                           : QEventLoop::ExcludeUserInputEvents);
  m_sinceEvents.start();
  return !m_cancelled;
}

bool ProgressWindow::pulse() {
  if (!m_started.isValid()) {
    return !m_cancelled;
  }
  const std::u16string path = m_path;
  return next(m_done, m_total, path);
}

void ProgressWindow::end() {
  m_dialog.reset();
}

}  // namespace tagkana
