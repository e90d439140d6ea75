#include "ui/Form1.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "support/FakeFileSystem.h"
#include "support/FakeMessageBoxes.h"
#include "support/FakeTagLibrary.h"
#include "support/TempFolder.h"
#include "taglib/Vbmp3Library.h"
#include "ui/ShownProgress.h"

namespace tagkana {
namespace {

using tagkana::uitest::progressBox;
using test::FakeFileSystem;
using test::FakeTagLibrary;
using test::ScriptedMessageBoxes;
using test::TempFolder;

QString q(const std::u16string& text) {
  return QString::fromStdU16String(text);
}

QString q(const std::filesystem::path& path) {
  return QString::fromStdU16String(path.u16string());
}

// Two folders stand for the system drive ("C") and another drive ("D"). The
// progress box comes only where a test asks for it, never because the machine
// was slow.
struct Window {
  explicit Window(FakeTagLibrary& lib, std::vector<std::u16string> extraDrives = {},
                  std::u16string system = {},
                  std::chrono::milliseconds progressDelay = std::chrono::hours(1))
      : library(lib) {
    c.createFile(u"b.mp3");
    c.createFile(u"A.MP3");
    c.createFile(u"c.Mp3");
    c.createFile(u".hidden.mp3");
    c.createFile(u"notes.txt");
    std::filesystem::create_directory(c.path() / "sub");
    std::filesystem::create_directory(c.path() / "folder.mp3");
    d.createFile(u"d1.mp3");
    std::vector<std::u16string> driveList{d.path().u16string(), c.path().u16string()};
    driveList.insert(driveList.end(), extraDrives.begin(), extraDrives.end());
    Form1Hooks hooks;
    hooks.drives = [driveList] { return driveList; };
    hooks.systemDrive = system.empty() ? c.path().u16string() : system;
    hooks.endProgram = [this] { ++ends; };
    hooks.progressDelay = progressDelay;
    form = std::make_unique<Form1>(library, boxes, files, std::move(hooks));
    form->show();
  }

  template <typename T = QObject>
  T* child(const char* name) const {
    T* found = form->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QString text(const char* control, const char* property) const {
    return child(control)->property(property).toString();
  }
  int count(const char* list) const { return child(list)->property("ListCount").toInt(); }
  bool selected(const char* list, int index) const {
    bool result = false;
    QMetaObject::invokeMethod(child(list), "Selected", Q_RETURN_ARG(bool, result),
                              Q_ARG(int, index));
    return result;
  }
  QString entry(const char* list, int index) const {
    QString result;
    QMetaObject::invokeMethod(child(list), "List", Q_RETURN_ARG(QString, result),
                              Q_ARG(int, index));
    return result;
  }
  void select(const char* list, int index, bool value = true) {
    QMetaObject::invokeMethod(child(list), "setSelected", Q_ARG(int, index), Q_ARG(bool, value));
  }
  void addRow(const QString& row) {
    QMetaObject::invokeMethod(child("List1"), "AddItem", Q_ARG(QString, row));
  }
  void click(const char* button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
  void trigger(const char* item) { child<QAction>(item)->trigger(); }
  std::vector<bool> selection(const char* list) const {
    std::vector<bool> result;
    for (int i = 0; i < count(list); ++i) {
      result.push_back(selected(list, i));
    }
    return result;
  }

  TempFolder c;
  TempFolder d;
  FakeTagLibrary& library;
  ScriptedMessageBoxes boxes;
  FakeFileSystem files;
  int ends = 0;
  std::unique_ptr<Form1> form;
};

// Clicks `button` on the list's rows and reports the popup menu that opened,
// choosing `item` in it; a watchdog closes a menu that was not expected.
QString popupOn(Window& w, const char* list, Qt::MouseButton button, const char* item) {
  QString opened;
  // Local timers: they die with this call and never fire into a later one.
  QTimer chooser;
  chooser.setSingleShot(true);
  QObject::connect(&chooser, &QTimer::timeout, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (popup == nullptr) {
      return;
    }
    opened = popup->objectName();
    for (QAction* action : popup->actions()) {
      if (action->objectName() == QLatin1String(item)) {
        QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(action).center());
      }
    }
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      popup->close();
    }
  });
  chooser.start(0);
  watchdog.start(3000);
  auto* view = w.child<QListWidget>(list);
  QTest::mouseClick(view->viewport(), button, {}, QPoint(4, 4));
  return opened;
}

std::vector<QString> captions(const QMenu* menu) {
  std::vector<QString> result;
  for (const QAction* action : menu->actions()) {
    result.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_FALSE(action->isCheckable()) << action->objectName().toStdString();
    EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_TRUE(action->shortcut().isEmpty()) << action->objectName().toStdString();
  }
  return result;
}

TEST(Form1, MenuBarShowsOnlyTheFileMenu) {
  FakeTagLibrary library;
  Window w(library);
  const QList<QAction*> bar = w.form->menuBar()->actions();
  ASSERT_EQ(bar.size(), 1);
  EXPECT_EQ(bar[0]->menu(), w.child<QMenu>("menFile"));
  EXPECT_EQ(bar[0]->text(), QStringLiteral("ﾌｧｲﾙ(&F)"));
  EXPECT_EQ(
      captions(w.child<QMenu>("menFile")),
      (std::vector<QString>{QStringLiteral("初期状態に戻る(&S)"), QStringLiteral("終了(&X)")}));
  EXPECT_EQ(w.child<QMenu>("menFile")->actions().at(0), w.child<QAction>("menStart"));
  EXPECT_EQ(w.child<QMenu>("menFile")->actions().at(1), w.child<QAction>("menExit"));

  const auto* popup1 = w.child<QMenu>("menPopup1");
  const auto* popup2 = w.child<QMenu>("menPopup2");
  EXPECT_EQ(captions(popup1),
            (std::vector<QString>{QStringLiteral("全て選択(&A)"), QStringLiteral("全て解除(&U)"),
                                  QStringLiteral("-"), QStringLiteral("リストをクリア(&C)")}));
  EXPECT_EQ(captions(popup2),
            (std::vector<QString>{QStringLiteral("全て選択(&A)"), QStringLiteral("全て解除(&U)"),
                                  QStringLiteral("-"), QStringLiteral("読み取り禁止の解除")}));
  EXPECT_EQ(popup1->actions().at(2), w.child<QAction>("menLine1"));
  EXPECT_EQ(popup2->actions().at(2), w.child<QAction>("menLine2"));
  EXPECT_EQ(popup2->actions().at(3), w.child<QAction>("menUnReadonly"));
  EXPECT_FALSE(popup1->isVisible());
  EXPECT_FALSE(popup2->isVisible());
  EXPECT_EQ(w.form->windowTitle(), QStringLiteral("ローマ字からひらがなとかに変換。　Ver1.1"));
}

TEST(Form1, PopupMenusOpenOnTheRightButtonOnly) {
  FakeTagLibrary library;
  Window w(library);
  w.addRow(QStringLiteral("1. a → あ"));
  w.addRow(QStringLiteral("2. i → い"));

  EXPECT_EQ(popupOn(w, "List1", Qt::MiddleButton, "menSelectall1"), QString());
  EXPECT_EQ(popupOn(w, "File1", Qt::MiddleButton, "menSelectall2"), QString());
  EXPECT_EQ(popupOn(w, "List1", Qt::LeftButton, "menSelectall1"), QString());
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{true, false}));  // the click toggled row 0

  // The chosen item has run by the time the right click returns.
  EXPECT_EQ(popupOn(w, "List1", Qt::RightButton, "menSelectall1"), QStringLiteral("menPopup1"));
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{true, true}));
  EXPECT_EQ(popupOn(w, "File1", Qt::RightButton, "menSelectall2"), QStringLiteral("menPopup2"));
  EXPECT_EQ(w.selection("File1"), (std::vector<bool>{true, true, true}));
  // A right click keeps the selection the popup acts on.
  EXPECT_EQ(popupOn(w, "File1", Qt::RightButton, "menUnselectall2"), QStringLiteral("menPopup2"));
  EXPECT_EQ(w.selection("File1"), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(popupOn(w, "List1", Qt::RightButton, "menClear1"), QStringLiteral("menPopup1"));
  EXPECT_EQ(w.count("List1"), 0);
  EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Form1, SelectAndUnselectEveryEntry) {
  FakeTagLibrary library;
  Window w(library);
  // Empty lists: nothing to touch, no error.
  for (const char* command : {"btnSelectall", "btnClear"}) {
    w.click(command);
  }
  for (const char* item : {"menSelectall1", "menUnselectall1", "menClear1"}) {
    w.trigger(item);
  }
  EXPECT_TRUE(w.boxes.shown.empty());

  for (const char* row : {"1. a → あ", "2. ka → か", "3. sa → さ"}) {
    w.addRow(QString::fromUtf8(row));
  }
  w.select("List1", 1);
  w.click("btnSelectall");
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{true, true, true}));
  w.click("btnClear");
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(w.entry("List1", 2), QStringLiteral("3. sa → さ"));  // rows kept, in order
  w.trigger("menSelectall1");
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{true, true, true}));
  w.trigger("menUnselectall1");
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{false, false, false}));

  w.select("File1", 2);
  w.trigger("menSelectall2");
  EXPECT_EQ(w.selection("File1"), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{false, false, false}));
  w.trigger("menUnselectall2");
  EXPECT_EQ(w.selection("File1"), (std::vector<bool>{false, false, false}));

  w.trigger("menClear1");
  EXPECT_EQ(w.count("List1"), 0);
  EXPECT_EQ(w.count("File1"), 3);
  EXPECT_TRUE(w.boxes.shown.empty());

  // What Selected answers follows new rows and the user's clicks.
  w.addRow(QStringLiteral("1. a"));
  w.addRow(QStringLiteral("2. b"));
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{false, false}));
  auto* view = w.child<QListWidget>("List1");
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    view->visualItemRect(view->item(1)).center());
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{false, true}));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    view->visualItemRect(view->item(1)).center());
  EXPECT_EQ(w.selection("List1"), (std::vector<bool>{false, false}));
}

TEST(Form1, LoadShowsTheSystemDriveAndTheChainRunsOneWay) {
  FakeTagLibrary library;
  Window w(library);
  EXPECT_EQ(library.inits, 1);
  EXPECT_EQ(w.text("Drive1", "Drive"), q(w.d.path()));  // not touched at load
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.text("File1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.text("File1", "Pattern"), QStringLiteral("*.mp3"));
  ASSERT_EQ(w.count("File1"), 3);
  EXPECT_EQ(w.entry("File1", 0), QStringLiteral("A.MP3"));
  EXPECT_EQ(w.entry("File1", 1), QStringLiteral("b.mp3"));
  EXPECT_EQ(w.entry("File1", 2), QStringLiteral("c.Mp3"));
  EXPECT_EQ(w.entry("File1", 3), QString());

  // Dir1 brings File1 along; File1 moves nothing.
  const QString sub = q(w.c.path() / "sub");
  w.child("Dir1")->setProperty("Path", sub);
  EXPECT_EQ(w.text("File1", "Path"), sub);
  EXPECT_EQ(w.count("File1"), 0);
  w.child("File1")->setProperty("Path", q(w.d.path()));
  EXPECT_EQ(w.text("Dir1", "Path"), sub);
  EXPECT_EQ(w.text("Drive1", "Drive"), q(w.d.path()));

  // Drive1 brings Dir1 and File1; Dir1 never moves Drive1.
  w.child("Drive1")->setProperty("Drive", q(w.c.path()));
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.count("File1"), 3);
  w.child("Dir1")->setProperty("Path", q(w.d.path()));
  EXPECT_EQ(w.text("Drive1", "Drive"), q(w.c.path()));
  EXPECT_EQ(w.entry("File1", 0), QStringLiteral("d1.mp3"));
  EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Form1, UnreadableDriveGoesBackToTheShownFolder) {
  FakeTagLibrary library;
  TempFolder gone;
  const std::u16string missing = gone.path().u16string() + u"/unplugged";
  Window w(library, {missing});
  const QString sub = q(w.c.path() / "sub");
  w.child("Drive1")->setProperty("Drive", q(w.c.path()));
  w.child("Dir1")->setProperty("Path", sub);

  w.child("Drive1")->setProperty("Drive", q(missing));
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text, u"ドライブを読み取れませんでした。\r\n" + missing);
  EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::Stop);
  EXPECT_EQ(w.text("Drive1", "Drive"), q(w.c.path()));
  EXPECT_EQ(w.text("Dir1", "Path"), sub);
  EXPECT_EQ(w.text("File1", "Path"), sub);
  EXPECT_FALSE(w.form->ended());
}

TEST(Form1, StartGoesBackToTheSystemDrivesRootAndEmptiesList1) {
  FakeTagLibrary library;
  Window w(library);
  const QString sub = q(w.c.path() / "sub");
  // Drive1 already shows the system drive: Dir1 and File1 come back all the same.
  w.child("Drive1")->setProperty("Drive", q(w.c.path()));
  w.child("Dir1")->setProperty("Path", sub);
  w.addRow(QStringLiteral("1. a → あ"));
  w.trigger("menStart");
  EXPECT_EQ(w.text("Drive1", "Drive"), q(w.c.path()));
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.text("File1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.count("File1"), 3);
  EXPECT_EQ(w.count("List1"), 0);

  // Another drive: everything comes back to the system drive.
  w.child("Drive1")->setProperty("Drive", q(w.d.path()));
  w.select("File1", 0);
  w.addRow(QStringLiteral("1. a → あ"));
  w.trigger("menStart");
  EXPECT_EQ(w.text("Drive1", "Drive"), q(w.c.path()));
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.text("File1", "Path"), q(w.c.path()));
  EXPECT_EQ(w.count("File1"), 3);
  EXPECT_EQ(w.count("List1"), 0);
  EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Form1, TabOrderStartsAtTheEndButton) {
  FakeTagLibrary library;
  Window w(library);
  QApplication::setActiveWindow(w.form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
  std::vector<QString> order;
  for (int i = 0; i < 10; ++i) {
    order.push_back(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                : QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(order, (std::vector<QString>{"btnEnd", "Drive1", "Dir1", "File1", "List1", "btnGet",
                                         "btnChange", "btnSelectall", "btnClear", "btnEnd"}));
}

TEST(Form1, EveryWayOutReleasesTheLibraryOnce) {
  for (const char* way : {"btnEnd", "menExit", "close"}) {
    FakeTagLibrary library;
    Window w(library);
    w.addRow(QStringLiteral("1. a → あ"));
    if (QLatin1String(way) == QLatin1String("btnEnd")) {
      w.click("btnEnd");
    } else if (QLatin1String(way) == QLatin1String("menExit")) {
      w.trigger("menExit");
    } else {
      w.form->close();
    }
    EXPECT_EQ(library.frees, 1) << way;
    EXPECT_EQ(w.ends, 1) << way;
    EXPECT_TRUE(w.form->ended()) << way;
    // Nothing is handled after the end, a later close included.
    w.click("btnSelectall");
    EXPECT_FALSE(w.selected("List1", 0)) << way;
    w.form->close();
    w.form.reset();
    EXPECT_EQ(library.frees, 1) << way;
    EXPECT_EQ(w.ends, 1) << way;
  }
  // A window that goes away without an end still releases what it started.
  FakeTagLibrary library;
  { Window w(library); }
  EXPECT_EQ(library.inits, 1);
  EXPECT_EQ(library.frees, 1);
}

struct BrokenLibrary : FakeTagLibrary {
  bool failInit = false;
  bool failFree = false;
  bool failRead = false;
  Qt::CursorShape cursorDuringRead = Qt::ArrowCursor;
  void init() override {
    ++inits;
    if (failInit) {
      throw RuntimeError(u"VBMP3 を読み込めませんでした。", u"libVBMP3.so");
    }
  }
  void free() override {
    ++frees;
    if (failFree) {
      throw RuntimeError(u"vbmp3_free が見つかりません。");
    }
  }
  bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                        AnsiTagRecord& buffer) override {
    if (const QCursor* cursor = QApplication::overrideCursor()) {
      cursorDuringRead = cursor->shape();
    }
    if (failRead) {
      throw RuntimeError(u"ファイルが見つかりません。", std::u16string(path));
    }
    return FakeTagLibrary::getFileTagInfoEX(path, record, buffer);
  }
};

TEST(Form1, LibraryThatCannotStartEndsTheProgram) {
  BrokenLibrary library;
  library.failInit = true;
  Window w(library);
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text.rfind(u"実行時エラー", 0), 0u);
  EXPECT_NE(w.boxes.shown[0].text.find(u"VBMP3 を読み込めませんでした。"), std::u16string::npos);
  EXPECT_EQ(w.boxes.shown[0].title, u"Tagkana");
  EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::Stop);
  EXPECT_EQ(w.ends, 1);
  EXPECT_TRUE(w.form->ended());
  w.form.reset();
  EXPECT_EQ(library.frees, 0);  // never started
}

// The box says what could not be loaded, then the system's reason.
TEST(Form1, TagLibraryThatCannotLoadShowsTheSystemsReason) {
  Vbmp3Library library(u"" TAGKANA_NEEDS_MISSING);
  ScriptedMessageBoxes boxes;
  FakeFileSystem files;
  int ends = 0;
  Form1Hooks hooks;
  hooks.endProgram = [&ends] { ++ends; };
  const Form1 form(library, boxes, files, std::move(hooks));
  ASSERT_EQ(boxes.shown.size(), 1u);
  const std::u16string expected =
      u"実行時エラー\r\nタグライブラリ " TAGKANA_NEEDS_MISSING u" を読み込めませんでした。\r\n";
  const std::u16string& text = boxes.shown[0].text;
  EXPECT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_NE(text.find(u"libtagkana_missing_dependency", expected.size()), std::u16string::npos)
      << toUtf8(text);
  EXPECT_EQ(ends, 1);
}

TEST(Form1, RunTimeErrorAbandonsOnlyTheHandler) {
  BrokenLibrary library;
  // The system drive missing from the drive list: menStart fails half way.
  Window w(library, {}, u"/nonexistent-system-drive");
  w.boxes.shown.clear();  // Load could not show it either
  w.addRow(QStringLiteral("1. a → あ"));
  w.trigger("menStart");
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text.rfind(u"実行時エラー", 0), 0u);
  EXPECT_NE(w.boxes.shown[0].text.find(u"/nonexistent-system-drive"), std::u16string::npos);
  EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::Stop);
  EXPECT_EQ(w.count("List1"), 1);  // abandoned before emptying
  EXPECT_EQ(w.ends, 0);
  w.click("btnSelectall");  // still running
  EXPECT_TRUE(w.selected("List1", 0));

  // A failing read inside the preview: the box, the busy cursor gone.
  w.child("Dir1")->setProperty("Path", q(w.c.path()));
  library.failRead = true;
  w.select("File1", 1);
  w.click("btnGet");
  ASSERT_EQ(w.boxes.shown.size(), 2u);
  EXPECT_EQ(w.boxes.shown[1].text.rfind(u"実行時エラー", 0), 0u);
  EXPECT_EQ(library.cursorDuringRead, Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(w.form->ended());

  // Releasing the library fails: the error is shown and the program still ends.
  library.failFree = true;
  w.click("btnEnd");
  EXPECT_EQ(library.frees, 1);
  EXPECT_EQ(w.ends, 1);
  EXPECT_EQ(w.boxes.shown.size(), 3u);
}

TEST(Form1, ButtonsRunTheTagCommandsOnTheLists) {
  FakeTagLibrary library;
  Window w(library);
  const std::u16string folder = w.c.path().u16string();
  library.addFile(folder + u"/A.MP3", u"sakura");
  library.addFile(folder + u"/c.Mp3", u"kyouto");
  w.select("File1", 0);
  w.select("File1", 2);
  w.click("btnGet");
  ASSERT_EQ(w.count("List1"), 2);
  EXPECT_EQ(w.entry("List1", 0), QStringLiteral("1. sakura → さくら"));
  EXPECT_EQ(w.entry("List1", 1), QStringLiteral("2. kyouto → きょうと"));
  EXPECT_EQ(w.form->state().FilePaths.at(1), folder + u"/c.Mp3");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  w.files.add(folder + u"/c.Mp3");
  w.select("List1", 1);
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  EXPECT_EQ(library.writtenPaths(), std::vector<std::u16string>{folder + u"/c.Mp3"});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  w.files.add(folder + u"/A.MP3", platform::kReadOnly);
  w.boxes.answers = {BoxAnswer::Ok};
  w.trigger("menUnReadonly");
  EXPECT_EQ(w.files.archiveOnlySets,
            (std::vector<std::u16string>{folder + u"/A.MP3", folder + u"/c.Mp3"}));
}

TEST(Form1, ResizeLaysTheControlsOutInPixels) {
  FakeTagLibrary library;
  Window w(library);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
  // 601 x 551 pixels, frame included, are 9015 x 8265 twips; controls keep
  // whole pixels.
  const QSize frame = w.form->frameGeometry().size() - w.form->size();
  w.form->resize(QSize(601, 551) - frame);
  QApplication::processEvents();
  EXPECT_EQ(w.form->formSize().FormWidth, 9015);
  EXPECT_EQ(w.form->formSize().FormHeight, 8265);
  EXPECT_EQ(w.child<QWidget>("Dir1")->geometry(), QRect(8, 24, 200, 176));
  EXPECT_EQ(w.child<QWidget>("Drive1")->width(), 200);
  EXPECT_EQ(w.child<QWidget>("File1")->geometry(), QRect(208, 0, 380, 200));
  EXPECT_EQ(w.child<QWidget>("List1")->geometry(), QRect(8, 207, 577, 257));
  EXPECT_EQ(w.child<QWidget>("btnEnd")->geometry(), QRect(517, 474, 67, 25));
  EXPECT_EQ(w.child<QWidget>("btnChange")->pos(), QPoint(437, 474));
  EXPECT_EQ(w.child<QWidget>("btnGet")->pos(), QPoint(357, 474));
  EXPECT_EQ(w.child<QWidget>("btnSelectall")->pos(), QPoint(8, 474));
  EXPECT_EQ(w.child<QWidget>("btnClear")->pos(), QPoint(88, 474));

  // Too small: held at 6200 twips (414 pixels) each way, then laid out.
  w.form->resize(300, 300);
  QApplication::processEvents();
  EXPECT_EQ(w.form->frameGeometry().size(), QSize(414, 414));
  EXPECT_EQ(w.form->formSize().FormWidth, 6210);
  EXPECT_EQ(w.form->formSize().FormHeight, 6210);
  EXPECT_EQ(w.child<QWidget>("Dir1")->width(), 138);
}

TEST(Form1, SelectAllCoversTwentyThousandRowsInOneChange) {
  FakeTagLibrary library;
  Window w(library);
  TempFolder many;
  constexpr int kRows = 20000;
  for (int i = 0; i < kRows; ++i) {
    std::ofstream(many.path() / ("f" + std::to_string(100000 + i) + ".mp3"));
  }
  w.child("Dir1")->setProperty("Path", q(many.path()));
  ASSERT_EQ(w.count("File1"), kRows);
  for (int i = 0; i < kRows; ++i) {
    w.addRow(QStringLiteral("%1. a → あ").arg(i + 1));
  }
  const auto all = [&](const char* list, bool value) {
    return w.selection(list) == std::vector<bool>(kRows, value);
  };

  for (const char* list : {"File1", "List1"}) {
    // A scattered selection first: the range replaces it whole.
    w.select(list, 3);
    w.select(list, 12345);
    w.select(list, kRows - 1);
    QSignalSpy changes(w.child<QListWidget>(list), &QListWidget::itemSelectionChanged);
    const bool files = QLatin1String(list) == QLatin1String("File1");
    w.trigger(files ? "menSelectall2" : "menSelectall1");
    EXPECT_TRUE(all(list, true)) << list;
    EXPECT_EQ(changes.count(), 1) << list;
    w.trigger(files ? "menUnselectall2" : "menUnselectall1");
    EXPECT_TRUE(all(list, false)) << list;
    EXPECT_EQ(changes.count(), 2) << list;
    EXPECT_EQ(w.count(list), kRows) << list;
  }
  w.click("btnSelectall");
  EXPECT_TRUE(all("List1", true));
  EXPECT_TRUE(all("File1", false));
  w.select("List1", 7, false);  // a click after the range still counts
  EXPECT_FALSE(w.selected("List1", 7));
  EXPECT_TRUE(w.selected("List1", 8));
  w.click("btnClear");
  EXPECT_TRUE(all("List1", false));
  EXPECT_EQ(w.entry("List1", kRows - 1), QStringLiteral("20000. a → あ"));
}

// A tag library that lets a test act in the middle of a run, as a user would
// between two files.
struct SteeredLibrary : FakeTagLibrary {
  std::function<void(int)> onRead;   // with the 1-based number of the read
  std::function<void(int)> onWrite;  // likewise for writes
  int reads = 0;
  int written = 0;
  bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                        AnsiTagRecord& buffer) override {
    const bool ok = FakeTagLibrary::getFileTagInfoEX(path, record, buffer);
    if (onRead) {
      onRead(++reads);
    }
    return ok;
  }
  bool setTagInfoEX(std::u16string_view path, TagRecord& record, AnsiTagRecord& buffer,
                    std::int32_t version, std::int32_t keepV1) override {
    const bool ok = FakeTagLibrary::setTagInfoEX(path, record, buffer, version, keepV1);
    if (onWrite) {
      onWrite(++written);
    }
    return ok;
  }
};

void clickCancel() {
  QWidget* box = progressBox();
  ASSERT_NE(box, nullptr);
  QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
}

TEST(Form1, CancelStopsAPreviewAndAWriteBackBeforeTheirNextFile) {
  SteeredLibrary library;
  Window w(library, {}, {}, std::chrono::milliseconds(0));
  TempFolder music;
  const std::vector<std::u16string> names = {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h"};
  for (const auto& name : names) {
    music.createFile(name + u".mp3");
    library.addFile(music.pathOf(name + u".mp3"), u"ka");
  }
  w.child("Dir1")->setProperty("Path", q(music.path()));
  w.trigger("menSelectall2");

  QString count;
  QString file;
  library.onRead = [&](int read) {
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    if (read == 1) {
      QWidget* box = progressBox();
      ASSERT_NE(box, nullptr);
      count = box->findChild<QLabel*>(QStringLiteral("lblCount"))->text();
      file = box->findChild<QLabel*>(QStringLiteral("lblFile"))->text();
      // Nothing else starts while the preview runs.
      w.child<QPushButton>("btnChange")->click();
      w.child<QPushButton>("btnGet")->click();
      w.trigger("menClear1");
    }
    if (read == 3) {
      clickCancel();
    }
  };
  w.click("btnGet");
  EXPECT_EQ(count, QStringLiteral("0 / 8"));
  EXPECT_TRUE(file.endsWith(QStringLiteral("a.mp3"))) << file.toStdString();
  EXPECT_EQ(library.reads, 3);
  ASSERT_EQ(w.count("List1"), 3);  // the rows added stay
  EXPECT_EQ(w.entry("List1", 2), QStringLiteral("3. ka → か"));
  EXPECT_EQ(w.form->state().FilePaths.size(), 3u);
  EXPECT_TRUE(w.boxes.shown.empty());
  EXPECT_EQ(progressBox(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A full preview, then a write-back stopped after its third file.
  library.onRead = nullptr;
  w.click("btnGet");
  ASSERT_EQ(w.count("List1"), 8);
  for (const auto& name : names) {
    w.files.add(music.pathOf(name + u".mp3"));
  }
  library.calls.clear();
  library.onWrite = [&](int write) {
    if (write == 3) {
      clickCancel();
    }
  };
  w.click("btnSelectall");
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  EXPECT_EQ(library.writtenPaths(),
            (std::vector<std::u16string>{music.pathOf(u"a.mp3"), music.pathOf(u"b.mp3"),
                                         music.pathOf(u"c.mp3")}));
  EXPECT_EQ(library.readPaths().size(), 3u);  // the files after it untouched
  const std::u16string log =
      u"a.mp3　成功\r\nb.mp3　成功\r\nc.mp3　成功\r\n"
      u"キャンセルのため、選択された 5 件は処理していません\r\n";
  EXPECT_EQ(w.form->state().ResultLog, log);
  ASSERT_EQ(w.boxes.shown.size(), 2u);
  EXPECT_EQ(w.boxes.shown[1].text, u"完了しました\r\n\r\n" + log);

  // Closing the window during a run stops it; the program ends after its box.
  library.onWrite = [&](int write) {
    if (write == 4) {
      w.form->close();
    }
  };
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  EXPECT_EQ(library.writtenPaths().size(), 4u);
  EXPECT_EQ(w.boxes.shown.size(), 4u);
  EXPECT_EQ(w.ends, 1);
  EXPECT_EQ(library.frees, 1);
}

// A long preview shows its rows as it goes, and its progress box is whole
// from its first frame on.
TEST(Form1, APreviewShowsItsRowsAndAWholeProgressBoxAsItGoes) {
  SteeredLibrary library;
  Window w(library, {}, {}, std::chrono::milliseconds(0));
  TempFolder music;
  for (int i = 0; i < 8; ++i) {
    const std::u16string name = fromUtf8("f" + std::to_string(i) + ".mp3");
    music.createFile(name);
    library.addFile(music.pathOf(name), u"ka");
  }
  w.child("Dir1")->setProperty("Path", q(music.path()));
  w.trigger("menSelectall2");

  struct FirstShow : QObject {
    QString count;
    QString file;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Show && watched->objectName() == QLatin1String("Progress")) {
        count = watched->findChild<QLabel*>(QStringLiteral("lblCount"))->text();
        file = watched->findChild<QLabel*>(QStringLiteral("lblFile"))->text();
      }
      return false;
    }
  } firstShow;
  qApp->installEventFilter(&firstShow);
  auto* list = w.child<QListWidget>("List1");
  int rowsSeen = 0;
  library.onRead = [&](int read) {
    if (read == 3) {
      // Longer than any batch of rows may wait.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    if (read == 5) {
      rowsSeen = list->count();
      // Laid out where the list shows it, not only held.
      const QRect row = list->visualItemRect(list->item(0));
      EXPECT_TRUE(row.isValid() && list->viewport()->rect().intersects(row));
    }
  };
  w.click("btnGet");
  qApp->removeEventFilter(&firstShow);
  EXPECT_GE(rowsSeen, 3);
  EXPECT_LT(rowsSeen, 5);
  EXPECT_EQ(firstShow.count, QStringLiteral("0 / 8"));
  EXPECT_TRUE(firstShow.file.endsWith(QStringLiteral("f0.mp3"))) << firstShow.file.toStdString();
  ASSERT_EQ(w.count("List1"), 8);
  EXPECT_EQ(w.entry("List1", 7), QStringLiteral("8. ka → か"));
}

// A row wider than the list: the list scrolls sideways to its end, and
// hovering over it shows its whole text where the list cuts it.
TEST(Form1, PreviewRowsWiderThanTheListScrollAndShowWholeOnHover) {
  FakeTagLibrary library;
  Window w(library);
  auto* list = w.child<QListWidget>("List1");
  const QString wide =
      QStringLiteral("2. ") + QString(300, QLatin1Char('a')) + QStringLiteral(" → あ");
  w.addRow(QStringLiteral("1. a → あ"));
  w.addRow(wide);
  w.addRow(QStringLiteral("3. a → あ"));
  QApplication::processEvents();
  ASSERT_GT(list->fontMetrics().horizontalAdvance(wide), list->viewport()->width());
  EXPECT_TRUE(list->horizontalScrollBar()->isVisible());
  EXPECT_GE(list->visualItemRect(list->item(1)).width(),
            list->fontMetrics().horizontalAdvance(wide));

  const auto hover = [&](int row) {
    const QPoint at = list->visualItemRect(list->item(row)).topLeft() + QPoint(8, 2);
    QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(hover(0), QString());  // whole already
  EXPECT_EQ(hover(1), wide);
  // Scrolled to its end, the wide row is cut at its start.
  list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
  QApplication::processEvents();
  EXPECT_EQ(hover(1), wide);
  QToolTip::hideText();

  // Emptied, the list forgets the wide row.
  w.trigger("menClear1");
  w.addRow(QStringLiteral("1. a → あ"));
  QApplication::processEvents();
  EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
}

// The window manager's close button or Alt+F4 (as QWindow::close() delivers
// them), 終了 and its menu item: during a run each stops it before its next
// file and ends the program once, every time, ten times in a row.
TEST(Form1, EveryWayOutStopsARunAndEnds) {
  for (const char* way : {"close", "btnEnd", "menExit"}) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      SteeredLibrary library;
      Window w(library, {}, {}, std::chrono::milliseconds(0));
      TempFolder music;
      for (const auto* name : {u"a.mp3", u"b.mp3", u"c.mp3", u"d.mp3"}) {
        music.createFile(name);
        library.addFile(music.pathOf(name), u"ka");
      }
      w.child("Dir1")->setProperty("Path", q(music.path()));
      w.trigger("menSelectall2");
      library.onRead = [&](int read) {
        if (read != 2) {
          return;
        }
        ASSERT_NE(progressBox(), nullptr);
        // Nothing the run reads can change under it; the ways out stay.
        EXPECT_FALSE(w.child<QWidget>("List1")->isEnabled());
        EXPECT_FALSE(w.child<QWidget>("Dir1")->isEnabled());
        EXPECT_TRUE(w.child<QWidget>("btnEnd")->isEnabled());
        const QLatin1String chosen(way);
        if (chosen == QLatin1String("close")) {
          w.form->windowHandle()->close();
        } else if (chosen == QLatin1String("btnEnd")) {
          QTest::mouseClick(w.child<QPushButton>("btnEnd"), Qt::LeftButton);
        } else {
          w.trigger("menExit");
        }
      };
      w.click("btnGet");
      EXPECT_EQ(library.reads, 2) << way;
      EXPECT_EQ(w.ends, 1) << way;
      EXPECT_EQ(library.frees, 1) << way;
      EXPECT_TRUE(w.form->ended()) << way;
    }
  }
}

// A desktop whose lists open an item on one click (KDE's default).
class SingleClickStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returned) const override {
    if (hint == QStyle::SH_ItemView_ActivateItemOnSingleClick) {
      return 1;
    }
    return QProxyStyle::styleHint(hint, option, widget, returned);
  }
};

TEST(Form1, FolderListOpensOnDoubleClickOrEnterOnly) {
  FakeTagLibrary library;
  Window w(library);
  std::filesystem::create_directory(w.c.path() / "sub" / "deeper");
  auto* dir = w.child<QListWidget>("Dir1");
  SingleClickStyle style;
  dir->setStyle(&style);
  QSignalSpy activated(dir, &QListWidget::itemActivated);
  const auto rowOf = [dir](const QString& text) {
    const auto found = dir->findItems(text, Qt::MatchEndsWith);
    return found.isEmpty() ? nullptr : found.first();
  };
  QListWidgetItem* sub = rowOf(QStringLiteral("sub"));
  ASSERT_NE(sub, nullptr);
  w.select("File1", 1);

  QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(sub).center());
  EXPECT_EQ(activated.count(), 1);  // the style asked for it
  EXPECT_EQ(dir->currentItem(), sub);
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));
  EXPECT_TRUE(w.selected("File1", 1));  // the user's selection survives

  QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(sub).center());
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path() / "sub"));
  EXPECT_EQ(w.text("File1", "Path"), q(w.c.path() / "sub"));

  QListWidgetItem* deeper = rowOf(QStringLiteral("deeper"));
  ASSERT_NE(deeper, nullptr);
  dir->setCurrentItem(deeper);
  QTest::keyClick(dir, Qt::Key_Return);
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path() / "sub" / "deeper"));
  dir->setStyle(nullptr);
}

// Typing a name's first letters in Dir1 or File1 goes to the first row with
// that name; Dir1's rows are indented, which the search looks past.
TEST(Form1, TypingInTheFolderAndFileListsGoesToTheName) {
  FakeTagLibrary library;
  Window w(library);
  std::filesystem::create_directory(w.c.path() / "fold");
  auto* dir = w.child<QListWidget>("Dir1");
  const auto currentText = [](QListWidget* list) {
    return list->currentItem() != nullptr ? list->currentItem()->text().trimmed() : QString();
  };
  dir->setFocus();
  QTest::keyClicks(dir, QStringLiteral("fOlDe"));
  EXPECT_EQ(currentText(dir), QStringLiteral("folder.mp3"));
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));  // found, not opened
  QTest::keyClick(dir, Qt::Key_Return);
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path() / "folder.mp3"));

  auto* files = w.child<QListWidget>("File1");
  w.child("Dir1")->setProperty("Path", q(w.c.path()));
  files->setFocus();
  QTest::keyClicks(files, QStringLiteral("C"));
  EXPECT_EQ(currentText(files), QStringLiteral("c.Mp3"));
  EXPECT_EQ(w.selection("File1"), (std::vector<bool>{false, false, true}));
}

TEST(Form1, FileListRereadsOnF5AndWhenItsFolderIsOpenedAgain) {
  FakeTagLibrary library;
  Window w(library);
  QApplication::setActiveWindow(w.form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
  ASSERT_EQ(w.count("File1"), 3);
  std::filesystem::remove(w.c.path() / "b.mp3");
  QTest::keyClick(w.form.get(), Qt::Key_F5);
  EXPECT_EQ(w.count("File1"), 2);
  EXPECT_EQ(w.entry("File1", 1), QStringLiteral("c.Mp3"));

  w.c.createFile(u"new.mp3");
  auto* dir = w.child<QListWidget>("Dir1");
  const auto current = dir->findItems(q(w.c.path().filename()), Qt::MatchEndsWith);
  ASSERT_FALSE(current.isEmpty());
  const QPoint at = dir->visualItemRect(current.first()).center();
  QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(w.count("File1"), 2);  // a click only selects
  QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(w.count("File1"), 3);
  EXPECT_EQ(w.entry("File1", 2), QStringLiteral("new.mp3"));
  EXPECT_EQ(w.text("Dir1", "Path"), q(w.c.path()));
  EXPECT_TRUE(w.boxes.shown.empty());
}

// Also run with QT_SCALE_FACTOR=2 on a 1600 x 1000 screen, where the
// designed size does not fit.
TEST(Form1Screen, FirstWindowFitsTheAvailableArea) {
  FakeTagLibrary library;
  Window w(library);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
  QApplication::processEvents();
  const QRect available = w.form->screen()->availableGeometry();
  const QSize designed(513, 505 + w.form->menuBar()->height());
  const QSize frame = w.form->frameGeometry().size() - w.form->size();
  EXPECT_TRUE(available.contains(w.form->frameGeometry()))
      << w.form->frameGeometry().height() << " in " << available.height();
  if ((designed + frame).height() <= available.height()) {
    EXPECT_EQ(w.form->size(), designed);
  } else {
    EXPECT_LT(w.form->height(), designed.height());
    const QWidget* end = w.child<QWidget>("btnEnd");
    EXPECT_LE(end->mapTo(w.form.get(), QPoint(0, end->height())).y(), w.form->height());
  }
}

}  // namespace
}  // namespace tagkana
