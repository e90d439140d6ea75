#include "app/Form1Controller.h"

#include <exception>
#include <memory>
#include <utility>

#include "commands/AttributeReset.h"
#include "commands/TitlePreview.h"
#include "commands/TitleWriteBack.h"
#include "commands/WindowTexts.h"
#include "common/RuntimeError.h"
#include "common/Utf.h"

namespace tagkana {

Form1Controller::Form1Controller(Form1View& view, TagLibrary& library, MessageBoxes& boxes,
                                 platform::FileSystem& files, std::u16string systemDrive)
    : m_view(view),
      m_library(library),
      m_boxes(boxes),
      m_files(files),
      m_systemDrive(std::move(systemDrive)) {}

Form1Controller::~Form1Controller() {
  if (m_libraryStarted) {
    try {
      m_library.free();
    } catch (const RuntimeError&) {
      // Nothing is left to tell the user while the window goes away.
    }
  }
}

void Form1Controller::handle(const std::function<void()>& handler, bool whileRunning) {
  if (m_ended || (m_running != nullptr && !whileRunning)) {
    return;
  }
  ++m_depth;
  try {
    handler();
  } catch (const RuntimeError& error) {
    showRuntimeError(error);
  } catch (const std::exception& error) {
    // Not ours (memory, the standard library), but no reason to lose the
    // preview and the log either.
    showRuntimeError(RuntimeError(fromUtf8(error.what())));
  }
  --m_depth;
  if (m_closeAfterRun && m_running == nullptr) {
    m_closeAfterRun = false;
    handle([this] { endProgram(); });
  }
}

void Form1Controller::showRuntimeError(const RuntimeError& error) {
  m_boxes.show(texts::runtimeErrorText(error), texts::kApplication, BoxButtons::Ok, BoxIcon::Stop);
}

void Form1Controller::runLong(const std::function<void(Progress&)>& command) {
  const std::unique_ptr<RunProgress> progress = m_view.beginRun();
  m_running = progress.get();
  // Cleared before the progress goes, so the window's pointer is asked for
  // its shape when the run is already over.
  struct Over {
    RunProgress*& running;
    ~Over() { running = nullptr; }
  } over{m_running};
  command(*progress);
}

bool Form1Controller::Form_Load() {
  try {
    m_library.init();
    m_libraryStarted = true;
  } catch (const RuntimeError& error) {
    // Without its tag library the program cannot do anything.
    showRuntimeError(error);
    m_ended = true;
    return false;
  }
  handle([this] { showFolder(m_systemDrive); });
  return true;
}

bool Form1Controller::closeRequested() {
  if (m_running != nullptr) {
    m_running->cancel();
    m_closeAfterRun = true;
    return false;
  }
  handle([this] { endProgram(); });
  return true;
}

void Form1Controller::endProgram() {
  m_ended = true;
  // The program ends even when releasing the library fails; handle() shows
  // that error first.
  struct End {
    Form1View& view;
    ~End() { view.closeWindow(); }
  } end{m_view};
  if (m_libraryStarted) {
    m_libraryStarted = false;
    m_library.free();
  }
}

void Form1Controller::Drive1_Change() {
  const std::u16string drive = m_view.Drive();
  try {
    showFolder(drive);
  } catch (const RuntimeError&) {
    m_boxes.show(std::u16string(texts::kDriveUnreadable) + u"\r\n" + visibleName(drive), u"",
                 BoxButtons::Ok, BoxIcon::Stop);
    m_view.showDriveOf(m_view.folder());
  }
}

void Form1Controller::Dir1_Change() {
  m_view.listFiles(m_view.folder());
}

void Form1Controller::showFolder(std::u16string_view path) {
  m_view.setFolder(path);
  Dir1_Change();
}

void Form1Controller::refresh() {
  showFolder(m_view.folder());
}

void Form1Controller::btnGet_Click() {
  runLong([this](Progress& progress) {
    TitlePreview(m_state, m_view.fileList(), m_view.previewList(), m_library, m_boxes, progress,
                 m_files);
  });
}

void Form1Controller::btnChange_Click() {
  runLong([this](Progress& progress) {
    TitleWriteBack(m_state, m_view.previewList(), m_library, m_files, m_boxes, progress);
  });
}

void Form1Controller::menUnReadonly_Click() {
  runLong([this](Progress& progress) {
    AttributeReset(m_state, m_view.fileList(), m_files, m_boxes, progress);
  });
}

// Selecting the drive that is already selected changes nothing, so the
// folder list is brought to the root on its own.
void Form1Controller::menStart_Click() {
  if (m_view.selectDrive(m_systemDrive)) {
    Drive1_Change();
  }
  if (m_view.folder() != m_systemDrive) {
    showFolder(m_systemDrive);
  }
  m_view.previewList().Clear();
}

void Form1Controller::menClear1_Click() {
  m_view.previewList().Clear();
}

void Form1Controller::selectAllRows(bool selected) {
  m_view.setAllRowsSelected(selected);
  m_state.RowIdx = m_view.previewList().ListCount();
}

void Form1Controller::selectAllFiles(bool selected) {
  m_view.setAllFilesSelected(selected);
  m_state.FileIdx = m_view.fileList().ListCount();
}

}  // namespace tagkana
