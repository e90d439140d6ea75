#include "ui/Form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <cmath>
#include <exception>

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
      m_hooks(withDefaults({})),
      m_controller(*this, *m_ownLibrary, *m_ownBoxes, platform::systemFileSystem(),
                   m_hooks.systemDrive) {
  build();
}

Form1::Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
             Form1Hooks hooks)
    : m_hooks(withDefaults(std::move(hooks))),
      m_controller(*this, library, boxes, files, m_hooks.systemDrive) {
  build();
}

Form1::~Form1() = default;

Form1Hooks Form1::withDefaults(Form1Hooks hooks) {
  if (!hooks.drives) {
    hooks.drives = platform::listDrives;
  }
  if (hooks.systemDrive.empty()) {
    hooks.systemDrive = platform::systemDrive();
  }
  if (!hooks.endProgram) {
    hooks.endProgram = [] { QCoreApplication::exit(0); };
  }
  return hooks;
}

void Form1::build() {
  createControls();
  createMenus();
  wireEvents();
  // The client area starts 7695 x 7575 twips below the menu bar.
  resize(toPixels(7695), toPixels(7575) + menuBar()->sizeHint().height());
  fitToScreen();
  if (!m_controller.Form_Load()) {
    m_hooks.endProgram();
  }
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
  Form1Controller& c = m_controller;
  const ErrorReporter report = [&c](const RuntimeError& error) { c.showRuntimeError(error); };
  Drive1->setErrorReporter(report);
  Dir1->setErrorReporter(report);
  File1->setErrorReporter(report);

  // Direct connections: a Change runs inside the set that raised it.
  connect(Drive1, &DriveListBox::Change, this, [&c] { c.handle([&c] { c.Drive1_Change(); }); });
  connect(Dir1, &DirListBox::Change, this, [&c] { c.handle([&c] { c.Dir1_Change(); }); });
  connect(Dir1, &DirListBox::Reopened, this, [&c] { c.handle([&c] { c.Dir1_Change(); }); });
  auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(f5, &QShortcut::activated, this, [&c] { c.handle([&c] { c.refresh(); }); });
  connect(List1, &PreviewListBox::MouseDown, this,
          [this](int button) { popupOn(menPopup1, button); });
  connect(File1, &FileListBox::MouseDown, this, [this](int button) { popupOn(menPopup2, button); });

  onClick(btnGet, [&c] { c.btnGet_Click(); });
  onClick(btnChange, [&c] { c.btnChange_Click(); });
  onClick(btnSelectall, [&c] { c.selectAllRows(true); });
  onClick(btnClear, [&c] { c.selectAllRows(false); });
  // Not through handle(): these also end a run.
  connect(btnEnd, &QPushButton::clicked, this, [&c] { c.closeRequested(); });
  connect(menExit, &QAction::triggered, this, [&c] { c.closeRequested(); });
  onClick(menStart, [&c] { c.menStart_Click(); });
  onClick(menSelectall1, [&c] { c.selectAllRows(true); });
  onClick(menUnselectall1, [&c] { c.selectAllRows(false); });
  onClick(menClear1, [&c] { c.menClear1_Click(); });
  onClick(menSelectall2, [&c] { c.selectAllFiles(true); });
  onClick(menUnselectall2, [&c] { c.selectAllFiles(false); });
  onClick(menUnReadonly, [&c] { c.menUnReadonly_Click(); });
}

void Form1::onClick(QPushButton* button, std::function<void()> handler) {
  connect(button, &QPushButton::clicked, this,
          [this, handler = std::move(handler)] { m_controller.handle(handler); });
}

void Form1::onClick(QAction* action, std::function<void()> handler) {
  connect(action, &QAction::triggered, this,
          [this, handler = std::move(handler)] { m_controller.handle(handler); });
}

// List1's and File1's MouseDown: the right button opens their menu.
void Form1::popupOn(QMenu* menu, int button) {
  m_controller.handle([menu, button] {
    if (button == kRightButton) {
      menu->exec(QCursor::pos());
    }
  });
}

void Form1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  m_controller.handle([this] { m_resize.pass(*m_outerSize, *m_layoutControls, m_formSize); }, true);
}

// Qt raises no resize when a minimized window comes back at its old size.
void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    const bool minimized = isMinimized();
    if (m_wasMinimized && !minimized) {
      m_controller.handle([this] { m_resize.pass(*m_outerSize, *m_layoutControls, m_formSize); },
                          true);
    }
    m_wasMinimized = minimized;
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  event->setAccepted(m_controller.closeRequested());
}

std::u16string Form1::Drive() const {
  return toU16String(Drive1->Drive());
}

bool Form1::selectDrive(std::u16string_view path) {
  return Drive1->select(toQString(path));
}

void Form1::showDriveOf(std::u16string_view path) {
  Drive1->showDriveOf(toQString(path));
}

std::u16string Form1::folder() const {
  return toU16String(Dir1->Path());
}

void Form1::setFolder(std::u16string_view path) {
  Dir1->open(toQString(path));
}

void Form1::listFiles(std::u16string_view path) {
  File1->setPath(toQString(path));
}

// One range operation: row by row, Qt's selection grows quadratically.
void Form1::setAllFilesSelected(bool selected) {
  File1->setAllSelected(selected);
}

void Form1::setAllRowsSelected(bool selected) {
  List1->setAllSelected(selected);
}

// While a run works only the ways out take input, so that the window can
// always be closed and nothing else changes under the run.
class Form1::Run final : public RunProgress {
 public:
  explicit Run(Form1& form) : m_form(form), m_progress(&form, form.m_hooks.progressDelay) {}
  ~Run() override { end(); }
  // From the first file on: a confirmation before it leaves the window as it is.
  bool next(int done, int total, std::u16string_view path) override {
    if (!m_held) {
      m_held = true;
      m_form.setInputEnabled(false);
    }
    return m_progress.next(done, total, path);
  }
  bool pulse() override { return m_progress.pulse(); }
  void end() override {
    if (m_held) {
      m_held = false;
      m_form.setInputEnabled(true);
    }
    m_progress.end();
  }
  void cancel() override { m_progress.cancel(); }

 private:
  Form1& m_form;
  ProgressWindow m_progress;
  bool m_held = false;
};

std::unique_ptr<RunProgress> Form1::beginRun() {
  return std::make_unique<Run>(*this);
}

void Form1::setInputEnabled(bool enabled) {
  for (QWidget* control : {static_cast<QWidget*>(Drive1), static_cast<QWidget*>(Dir1),
                           static_cast<QWidget*>(File1), static_cast<QWidget*>(List1),
                           static_cast<QWidget*>(btnGet), static_cast<QWidget*>(btnChange),
                           static_cast<QWidget*>(btnSelectall), static_cast<QWidget*>(btnClear)}) {
    control->setEnabled(enabled);
  }
  menStart->setEnabled(enabled);
}

void Form1::closeWindow() {
  m_hooks.endProgram();
}

}  // namespace tagkana
