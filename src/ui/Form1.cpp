#include "ui/Form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <cmath>
#include <exception>

#include "commands/AttributeReset.h"
#include "commands/TitlePreview.h"
#include "commands/TitleWriteBack.h"
#include "common/RuntimeError.h"
#include "platform/Drives.h"
#include "taglib/Vbmp3Library.h"
#include "ui/Captions.h"
#include "ui/ProgressWindow.h"
#include "ui/QtMessageBoxes.h"

namespace tagkana {
namespace {

int toPixels(float twips) {
  return static_cast<int>(std::lround(twips / layout::kTwipsPerPixel));
}

float toTwips(int pixels) {
  return static_cast<float>(pixels * layout::kTwipsPerPixel);
}

std::u16string joinedLines(const QString& first, const std::u16string& second) {
  return toU16String(first) + u"\r\n" + second;
}

}  // namespace

// A widget's geometry in twips; it keeps whole pixels.
class Form1::TwipsControl final : public layout::Control {
 public:
  explicit TwipsControl(QWidget& widget) : m_widget(widget) {}
  float Left() const override { return toTwips(m_widget.x()); }
  float Top() const override { return toTwips(m_widget.y()); }
  float Width() const override { return toTwips(m_widget.width()); }
  float Height() const override { return toTwips(m_widget.height()); }
  void setLeft(float twips) override { m_widget.move(toPixels(twips), m_widget.y()); }
  void setTop(float twips) override { m_widget.move(m_widget.x(), toPixels(twips)); }
  void setWidth(float twips) override {
    m_widget.resize(std::max(0, toPixels(twips)), m_widget.height());
  }
  void setHeight(float twips) override {
    m_widget.resize(m_widget.width(), std::max(0, toPixels(twips)));
  }

 private:
  QWidget& m_widget;
};

// The window's outer size in twips, frame included.
class Form1::OuterSize final : public layout::Window {
 public:
  explicit OuterSize(Form1& form) : m_form(form) {}
  bool minimized() const override { return m_form.isMinimized(); }
  float Width() const override { return toTwips(m_form.frameGeometry().width()); }
  float Height() const override { return toTwips(m_form.frameGeometry().height()); }
  // Rounded up, so that a minimum in twips is never missed by a pixel.
  void setWidth(float twips) override {
    const int frame = m_form.frameGeometry().width() - m_form.width();
    m_form.resize(pixelsAtLeast(twips) - frame, m_form.height());
  }
  void setHeight(float twips) override {
    const int frame = m_form.frameGeometry().height() - m_form.height();
    m_form.resize(m_form.width(), pixelsAtLeast(twips) - frame);
  }

 private:
  static int pixelsAtLeast(float twips) {
    return static_cast<int>(std::ceil(twips / layout::kTwipsPerPixel));
  }
  Form1& m_form;
};

Form1::Form1(QWidget* parent)
    : QMainWindow(parent),
      m_ownLibrary(std::make_unique<Vbmp3Library>()),
      m_ownBoxes(std::make_unique<QtMessageBoxes>(this)),
      m_library(m_ownLibrary.get()),
      m_boxes(m_ownBoxes.get()),
      m_files(&platform::systemFileSystem()) {
  build();
}

Form1::Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
             Form1Hooks hooks)
    : m_library(&library), m_boxes(&boxes), m_files(&files), m_hooks(std::move(hooks)) {
  build();
}

Form1::~Form1() {
  // A window destroyed without the program being ended still releases the
  // library it started, once.
  if (m_libraryStarted && !m_ended) {
    try {
      m_library->free();
    } catch (const RuntimeError&) {
      // Nothing is left to tell the user while the window goes away.
    }
  }
}

void Form1::build() {
  createControls();
  createMenus();
  wireEvents();
  // The client area starts 7695 x 7575 twips below the menu bar.
  resize(toPixels(7695), toPixels(7575) + menuBar()->sizeHint().height());
  fitToScreen();
  Form_Load();
}

// The designed size where it fits the screen's available area, frame
// included; otherwise that area. Until the window system adds its frame, a
// title bar's height stands in for it.
void Form1::fitToScreen() {
  const QScreen* shown = screen();
  if (shown == nullptr) {
    return;
  }
  const QRect available = shown->availableGeometry();
  QSize frame = frameGeometry().size() - size();
  if (!m_shown && frame.isEmpty()) {
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int titleBar =
        std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight), 2 * fontMetrics().height());
    frame = QSize(2 * border, titleBar + 2 * border);
  }
  const QSize fitted = size().boundedTo(available.size() - frame);
  if (fitted != size()) {
    resize(fitted);
  }
  if (m_shown && !available.contains(frameGeometry())) {
    const QRect outer = frameGeometry();
    move(std::clamp(outer.left(), available.left(),
                    std::max(available.left(), available.right() - outer.width() + 1)),
         std::clamp(outer.top(), available.top(),
                    std::max(available.top(), available.bottom() - outer.height() + 1)));
  }
}

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_shown) {
    m_shown = true;
    // Once the frame is known: at once on most systems, while an X11 window
    // manager may tell its frame's size a little later.
    QTimer::singleShot(0, this, [this] { fitToScreen(); });
    QTimer::singleShot(500, this, [this] { fitToScreen(); });
  }
}

void Form1::createControls() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(captions::kForm1);
  QIcon icon;
  for (int size : {16, 32, 48}) {
    icon.addFile(QStringLiteral(":/tagkana/icons/tagkana-%1.png").arg(size), QSize(size, size));
  }
  setWindowIcon(icon);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);

  if (!m_hooks.drives) {
    m_hooks.drives = platform::listDrives;
  }
  if (m_hooks.systemDrive.empty()) {
    m_hooks.systemDrive = platform::systemDrive();
  }
  if (!m_hooks.endProgram) {
    m_hooks.endProgram = [] { QCoreApplication::exit(0); };
  }

  auto button = [client](const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, client);
    b->setObjectName(QLatin1String(name));
    return b;
  };
  // Created in tab order.
  btnEnd = button("btnEnd", captions::kBtnEnd);
  Drive1 = new DriveListBox(m_hooks.drives, client);
  Drive1->setObjectName(QStringLiteral("Drive1"));
  Dir1 = new DirListBox(client);
  Dir1->setObjectName(QStringLiteral("Dir1"));
  File1 = new FileListBox(client);
  File1->setObjectName(QStringLiteral("File1"));
  List1 = new PreviewListBox(client);
  List1->setObjectName(QStringLiteral("List1"));
  btnGet = button("btnGet", captions::kBtnGet);
  btnChange = button("btnChange", captions::kBtnChange);
  btnSelectall = button("btnSelectall", captions::kBtnSelectall);
  btnClear = button("btnClear", captions::kBtnClear);

  const QList<QWidget*> tabOrder = {btnEnd, Drive1,    Dir1,         File1,   List1,
                                    btnGet, btnChange, btnSelectall, btnClear};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) {
    setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }
  for (QWidget* w : tabOrder) {
    w->setFocusPolicy(Qt::StrongFocus);
  }
  btnEnd->setFocus();

  auto place = [this](QWidget* w, float left, float top, float width, float height) {
    auto control = std::make_unique<TwipsControl>(*w);
    control->setLeft(left);
    control->setTop(top);
    control->setWidth(width);
    control->setHeight(height);
    m_twips.push_back(std::move(control));
    return m_twips.back().get();
  };
  layout::Control* end = place(btnEnd, 6600, 7080, 1000, 375);
  layout::Control* drive = place(Drive1, 120, 0, 2535, 300);
  layout::Control* dir = place(Dir1, 120, 360, 2535, 3030);
  layout::Control* file = place(File1, 2760, 0, 4815, 3510);
  layout::Control* list = place(List1, 120, 3600, 7455, 3420);
  layout::Control* get = place(btnGet, 4200, 7080, 1000, 375);
  layout::Control* change = place(btnChange, 5400, 7080, 1000, 375);
  layout::Control* selectAll = place(btnSelectall, 120, 7080, 1000, 375);
  layout::Control* clear = place(btnClear, 1200, 7080, 1000, 375);
  m_layoutControls.reset(
      new layout::Controls{*drive, *dir, *file, *list, *end, *change, *get, *selectAll, *clear});
  m_outerSize = std::make_unique<OuterSize>(*this);

  m_file1 = std::make_unique<File1Adapter>(*File1);
  m_list1 = std::make_unique<List1Adapter>(*List1);
}

void Form1::createMenus() {
  auto item = [](QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
  };
  auto separator = [](QMenu* menu, const char* name) {
    QAction* action = menu->addSeparator();
    action->setObjectName(QLatin1String(name));
    return action;
  };

  menFile = new QMenu(captions::kMenFile, this);
  menFile->setObjectName(QStringLiteral("menFile"));
  menStart = item(menFile, "menStart", captions::kMenStart);
  menExit = item(menFile, "menExit", captions::kMenExit);
  menuBar()->addMenu(menFile);

  // The popup menus belong to the window but never show on the bar.
  menPopup1 = new QMenu(captions::kMenPopup1, this);
  menPopup1->setObjectName(QStringLiteral("menPopup1"));
  menSelectall1 = item(menPopup1, "menSelectall1", captions::kMenSelectall);
  menUnselectall1 = item(menPopup1, "menUnselectall1", captions::kMenUnselectall);
  menLine1 = separator(menPopup1, "menLine1");
  menClear1 = item(menPopup1, "menClear1", captions::kMenClear1);

  menPopup2 = new QMenu(captions::kMenPopup2, this);
  menPopup2->setObjectName(QStringLiteral("menPopup2"));
  menSelectall2 = item(menPopup2, "menSelectall2", captions::kMenSelectall);
  menUnselectall2 = item(menPopup2, "menUnselectall2", captions::kMenUnselectall);
  menLine2 = separator(menPopup2, "menLine2");
  menUnReadonly = item(menPopup2, "menUnReadonly", captions::kMenUnReadonly);
}

void Form1::wireEvents() {
  const ErrorReporter report = [this](const RuntimeError& error) { showRuntimeError(error); };
  Drive1->setErrorReporter(report);
  Dir1->setErrorReporter(report);
  File1->setErrorReporter(report);

  // Direct connections: a Change runs inside the set that raised it.
  connect(Drive1, &DriveListBox::Change, this, [this] { handle([this] { Drive1_Change(); }); });
  connect(Dir1, &DirListBox::Change, this, [this] { handle([this] { Dir1_Change(); }); });
  connect(Dir1, &DirListBox::Reopened, this, [this] { handle([this] { Dir1_Change(); }); });
  auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(f5, &QShortcut::activated, this, [this] { handle([this] { refresh(); }); });
  connect(List1, &PreviewListBox::MouseDown, this,
          [this](int button) { handle([this, button] { List1_MouseDown(button); }); });
  connect(File1, &FileListBox::MouseDown, this,
          [this](int button) { handle([this, button] { File1_MouseDown(button); }); });

  onClick(btnGet, [this] { btnGet_Click(); });
  onClick(btnChange, [this] { btnChange_Click(); });
  onClick(btnSelectall, [this] { selectAllRows(true); });
  onClick(btnClear, [this] { selectAllRows(false); });
  onClick(btnEnd, [this] { endProgram(); });
  onClick(menStart, [this] { menStart_Click(); });
  onClick(menExit, [this] { endProgram(); });
  onClick(menSelectall1, [this] { selectAllRows(true); });
  onClick(menUnselectall1, [this] { selectAllRows(false); });
  onClick(menClear1, [this] { menClear1_Click(); });
  onClick(menSelectall2, [this] { selectAllFiles(true); });
  onClick(menUnselectall2, [this] { selectAllFiles(false); });
  onClick(menUnReadonly, [this] { menUnReadonly_Click(); });
}

void Form1::onClick(QPushButton* button, std::function<void()> handler) {
  connect(button, &QPushButton::clicked, this,
          [this, handler = std::move(handler)] { handle(handler); });
}

void Form1::onClick(QAction* action, std::function<void()> handler) {
  connect(action, &QAction::triggered, this,
          [this, handler = std::move(handler)] { handle(handler); });
}

void Form1::handle(const std::function<void()>& handler, bool whileRunning) {
  if (m_ended || (m_running != nullptr && !whileRunning)) {
    return;
  }
  try {
    handler();
  } catch (const RuntimeError& error) {
    showRuntimeError(error);
  } catch (const std::exception& error) {
    // Not ours (memory, the standard library), but no reason to lose the
    // preview and the log either.
    showRuntimeError(RuntimeError(fromUtf8(error.what())));
  }
  if (m_closeAfterRun && m_running == nullptr) {
    m_closeAfterRun = false;
    handle([this] { endProgram(); });
  }
}

void Form1::runLong(const std::function<void(Progress&)>& command) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ProgressWindow progress(this, m_hooks.progressDelay);
  m_running = &progress;
  const auto restore = qScopeGuard([this] {
    m_running = nullptr;
    QApplication::restoreOverrideCursor();
  });
  command(progress);
}

void Form1::showRuntimeError(const RuntimeError& error) {
  std::u16string text = toU16String(captions::kRuntimeError) + u"\r\n" + error.description();
  if (!error.file().empty()) {
    text += u"\r\n" + visibleName(error.file());
  }
  // The system's own words come after ours.
  if (!error.reason().empty()) {
    text += u"\r\n" + error.reason();
  }
  m_boxes->show(text, toU16String(captions::kApplication), BoxButtons::Ok, BoxIcon::Stop);
}

void Form1::Form_Load() {
  try {
    m_library->init();
    m_libraryStarted = true;
  } catch (const RuntimeError& error) {
    // Without its tag library the program cannot do anything.
    showRuntimeError(error);
    m_ended = true;
    m_hooks.endProgram();
    return;
  }
  handle([this] { Dir1->setPath(toQString(m_hooks.systemDrive)); });
}

void Form1::Form_Resize() {
  handle([this] { m_resize.pass(*m_outerSize, *m_layoutControls, m_formSize); }, true);
}

void Form1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  Form_Resize();
}

// Qt raises no resize when a minimized window comes back at its old size.
void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    const bool minimized = isMinimized();
    if (m_wasMinimized && !minimized) {
      Form_Resize();
    }
    m_wasMinimized = minimized;
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  if (m_running != nullptr) {
    // The run stops before its next file, shows what it did, then the end.
    m_running->cancel();
    m_closeAfterRun = true;
    event->ignore();
    return;
  }
  handle([this] { endProgram(); });
  event->accept();
}

void Form1::endProgram() {
  m_ended = true;
  // The program ends even when releasing the library fails; handle() shows
  // that error first.
  const auto end = qScopeGuard([this] { m_hooks.endProgram(); });
  if (m_libraryStarted) {
    m_libraryStarted = false;
    m_library->free();
  }
}

void Form1::Drive1_Change() {
  const QString drive = Drive1->Drive();
  try {
    Dir1->setPath(drive);
  } catch (const RuntimeError&) {
    m_boxes->show(joinedLines(captions::kDriveUnreadable, toU16String(drive)), u"", BoxButtons::Ok,
                  BoxIcon::Stop);
    Drive1->showDriveOf(Dir1->Path());
  }
}

void Form1::Dir1_Change() {
  File1->setPath(Dir1->Path());
}

// F5: the folder and its files as they are now; Reopened brings File1 along.
void Form1::refresh() {
  Dir1->setPath(Dir1->Path());
}

void Form1::List1_MouseDown(int button) {
  if (button == kRightButton) {
    menPopup1->exec(QCursor::pos());
  }
}

void Form1::File1_MouseDown(int button) {
  if (button == kRightButton) {
    menPopup2->exec(QCursor::pos());
  }
}

void Form1::btnGet_Click() {
  runLong([this](Progress& progress) {
    TitlePreview(m_state, *m_file1, *m_list1, *m_library, *m_boxes, progress);
  });
}

void Form1::btnChange_Click() {
  runLong([this](Progress& progress) {
    TitleWriteBack(m_state, *m_list1, *m_library, *m_files, *m_boxes, progress);
  });
}

void Form1::menUnReadonly_Click() {
  runLong([this](Progress& progress) {
    AttributeReset(m_state, *m_file1, *m_files, *m_boxes, progress);
  });
}

// Setting the drive that is already selected raises no Change, so the folder
// list is brought to the root on its own.
void Form1::menStart_Click() {
  const QString root = toQString(m_hooks.systemDrive);
  Drive1->setDrive(root);
  if (Dir1->Path() != root) {
    Dir1->setPath(root);
  }
  List1->Clear();
}

void Form1::menClear1_Click() {
  List1->Clear();
}

// One range operation: row by row, Qt's selection grows quadratically.
void Form1::selectAllRows(bool selected) {
  List1->setAllSelected(selected);
  m_state.RowIdx = List1->ListCount();
}

void Form1::selectAllFiles(bool selected) {
  File1->setAllSelected(selected);
  m_state.FileIdx = File1->ListCount();
}

}  // namespace tagkana
