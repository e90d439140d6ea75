#include "app/Form1Controller.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/RuntimeError.h"
#include "support/FakeFileSystem.h"
#include "support/FakeLists.h"
#include "support/FakeMessageBoxes.h"
#include "support/FakeTagLibrary.h"
#include "support/TestPaths.h"

namespace tagkana::test {
namespace {

// A window without controls: drives and folders are names, a folder can be
// read when it is in `readable`. Every change is recorded in `events`.
struct FakeView final : Form1View {
  struct Run final : RunProgress {
    FakeView& view;
    explicit Run(FakeView& v) : view(v) { view.events.push_back(u"busy"); }
    ~Run() override { view.events.push_back(u"idle"); }
    bool next(int done, int, std::u16string_view) override {
      if (view.duringRun) {
        view.duringRun(done);
      }
      return !cancelled;
    }
    void cancel() override { cancelled = true; }
    bool cancelled = false;
  };

  std::vector<std::u16string> drives{u"C:", u"D:"};
  std::u16string drive = u"C:";
  std::set<std::u16string> readable{u"C:", u"C:" SEP u"sub", u"D:"};
  std::u16string shown;
  FakeFileList files{u"", {}};
  FakePreviewList rows;
  std::vector<std::u16string> events;
  std::function<void(int)> duringRun;
  int closes = 0;

  std::u16string Drive() const override { return drive; }
  bool selectDrive(std::u16string_view path) override {
    for (const auto& d : drives) {
      if (path.starts_with(d)) {
        const bool changed = d != drive;
        drive = d;
        return changed;
      }
    }
    throw RuntimeError(u"ドライブが見つかりません。", std::u16string(path));
  }
  void showDriveOf(std::u16string_view path) override {
    for (const auto& d : drives) {
      if (path.starts_with(d)) {
        drive = d;
      }
    }
  }
  std::u16string folder() const override { return shown; }
  void setFolder(std::u16string_view path) override {
    if (readable.count(std::u16string(path)) == 0) {
      throw RuntimeError(u"フォルダーを読み取れませんでした。", std::u16string(path));
    }
    shown = path;
    events.push_back(u"Dir1 " + shown);
  }
  void listFiles(std::u16string_view path) override {
    files.folder = path;
    events.push_back(u"File1 " + files.folder);
  }
  FileList& fileList() override { return files; }
  PreviewList& previewList() override { return rows; }
  void setAllFilesSelected(bool selected) override {
    for (auto& entry : files.entries) {
      entry.selected = selected;
    }
  }
  void setAllRowsSelected(bool selected) override {
    rows.selected.clear();
    for (int i = 0; selected && i < rows.ListCount(); ++i) {
      rows.selected.insert(i);
    }
  }
  std::unique_ptr<RunProgress> beginRun() override { return std::make_unique<Run>(*this); }
  void closeWindow() override { ++closes; }
};

struct Controller {
  FakeView view;
  FakeTagLibrary library;
  ScriptedMessageBoxes boxes;
  FakeFileSystem fileSystem;
  std::unique_ptr<Form1Controller> form =
      std::make_unique<Form1Controller>(view, library, boxes, fileSystem, u"C:");

  // As a window forwards an event.
  void on(void (Form1Controller::*handler)()) {
    form->handle([this, handler] { (form.get()->*handler)(); });
  }
};

struct FailingLibrary : FakeTagLibrary {
  bool failInit = false;
  bool failFree = false;
  void init() override {
    ++inits;
    if (failInit) {
      throw RuntimeError(u"VBMP3 を読み込めませんでした。");
    }
  }
  void free() override {
    ++frees;
    if (failFree) {
      throw RuntimeError(u"vbmp3_free が見つかりません。");
    }
  }
};

TEST(Form1Controller, LoadShowsTheSystemDriveOrEndsWithoutTheLibrary) {
  Controller c;
  ASSERT_TRUE(c.form->Form_Load());
  EXPECT_EQ(c.library.inits, 1);
  EXPECT_EQ(c.view.events, (std::vector<std::u16string>{u"Dir1 C:", u"File1 C:"}));
  c.form.reset();  // a window gone without an end still releases the library
  EXPECT_EQ(c.library.frees, 1);

  FakeView view;
  FailingLibrary library;
  library.failInit = true;
  ScriptedMessageBoxes boxes;
  FakeFileSystem files;
  {
    Form1Controller form(view, library, boxes, files, u"C:");
    EXPECT_FALSE(form.Form_Load());
    EXPECT_TRUE(form.ended());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, u"実行時エラー\r\nVBMP3 を読み込めませんでした。");
    EXPECT_EQ(boxes.shown[0].title, u"Tagkana");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Stop);
    EXPECT_TRUE(view.events.empty());
    form.handle([&view] { view.events.push_back(u"ran"); });  // nothing runs after the end
    EXPECT_TRUE(view.events.empty());
  }
  EXPECT_EQ(library.frees, 0);  // never started
}

TEST(Form1Controller, DriveChangeBringsTheFolderOrSaysItCannotAndGoesBack) {
  Controller c;
  c.form->Form_Load();
  c.form->handle([&c] { c.form->showFolder(u"C:" SEP u"sub"); });
  c.view.events.clear();
  c.view.drive = u"D:";
  c.on(&Form1Controller::Drive1_Change);
  EXPECT_EQ(c.view.events, (std::vector<std::u16string>{u"Dir1 D:", u"File1 D:"}));
  EXPECT_TRUE(c.boxes.shown.empty());

  // A drive whose name holds a line break and half a surrogate pair: the box
  // shows it readably, the list goes back to the shown folder's drive.
  const std::u16string odd = u"E:\nx\xD800";
  c.view.drives.push_back(odd);
  c.view.drive = odd;
  c.view.events.clear();
  c.on(&Form1Controller::Drive1_Change);
  ASSERT_EQ(c.boxes.shown.size(), 1u);
  EXPECT_EQ(c.boxes.shown[0].text, u"ドライブを読み取れませんでした。\r\nE:\u23CEx\uFFFD");
  EXPECT_EQ(c.boxes.shown[0].title, u"");
  EXPECT_EQ(c.boxes.shown[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(c.boxes.shown[0].icon, BoxIcon::Stop);
  EXPECT_EQ(c.view.drive, u"D:");
  EXPECT_EQ(c.view.shown, u"D:");
  EXPECT_TRUE(c.view.events.empty());
}

TEST(Form1Controller, StartReturnsToTheSystemDrivesRootAndEmptiesList1) {
  Controller c;
  c.form->Form_Load();
  for (const std::u16string drive : {u"C:", u"D:"}) {
    c.view.drive = drive;
    c.form->handle([&c] { c.form->showFolder(c.view.drive == u"C:" ? u"C:" SEP u"sub" : u"D:"); });
    c.view.rows.rows = {u"1. a → あ"};
    c.view.events.clear();
    c.on(&Form1Controller::menStart_Click);
    EXPECT_EQ(c.view.drive, u"C:");
    // Once, also when the system drive was already selected.
    EXPECT_EQ(c.view.events, (std::vector<std::u16string>{u"Dir1 C:", u"File1 C:"}));
    EXPECT_TRUE(c.view.rows.rows.empty());
  }
  EXPECT_TRUE(c.boxes.shown.empty());

  // No drive holds the system drive: the error, and the handler stops there.
  c.view.drives = {u"D:"};
  c.view.drive = u"D:";
  c.view.rows.rows = {u"1. a → あ"};
  c.on(&Form1Controller::menStart_Click);
  ASSERT_EQ(c.boxes.shown.size(), 1u);
  EXPECT_EQ(c.boxes.shown[0].text, u"実行時エラー\r\nドライブが見つかりません。\r\nC:");
  EXPECT_EQ(c.view.rows.rows.size(), 1u);
  EXPECT_FALSE(c.form->ended());
}

TEST(Form1Controller, CommandsRunOnTheListsAndSelectAllCountsTheRows) {
  Controller c;
  c.form->Form_Load();
  c.view.files.entries = {{u"a.mp3", false}, {u"b.mp3", false}, {u"c.mp3", false}};
  c.library.addFile(u"C:" SEP u"a.mp3", u"sakura");
  c.library.addFile(u"C:" SEP u"b.mp3", u"kyouto");
  c.library.addFile(u"C:" SEP u"c.mp3", u"nara");
  c.form->handle([&c] { c.form->selectAllFiles(true); });
  EXPECT_EQ(c.form->state().FileIdx, 3);
  c.view.events.clear();
  c.on(&Form1Controller::btnGet_Click);
  EXPECT_EQ(c.view.rows.rows,
            (std::vector<std::u16string>{u"1. sakura → さくら", u"2. kyouto → きょうと",
                                         u"3. nara → なら"}));
  EXPECT_EQ(c.view.events, (std::vector<std::u16string>{u"busy", u"idle"}));
  EXPECT_FALSE(c.form->running());

  c.form->handle([&c] { c.form->selectAllRows(true); });
  EXPECT_EQ(c.form->state().RowIdx, 3);
  c.fileSystem.add(u"C:" SEP u"b.mp3", platform::kReadOnly);
  c.view.rows.selected = {1};
  c.boxes.answers = {BoxAnswer::Ok};
  c.on(&Form1Controller::btnChange_Click);
  ASSERT_EQ(c.boxes.shown.size(), 2u);
  EXPECT_EQ(c.boxes.shown[1].text, u"完了しました\r\n\r\nb.mp3　読みとり専用のため失敗\r\n");

  c.view.files.entries[0].selected = false;
  c.boxes.answers = {BoxAnswer::Ok};
  c.on(&Form1Controller::menUnReadonly_Click);
  EXPECT_EQ(c.fileSystem.archiveOnlySets,
            (std::vector<std::u16string>{u"C:" SEP u"b.mp3", u"C:" SEP u"c.mp3"}));
  c.on(&Form1Controller::menClear1_Click);
  EXPECT_TRUE(c.view.rows.rows.empty());

  // The library's reasons reach the boxes.
  c.library.files[u"C:" SEP u"b.mp3"].readable = false;
  c.library.files[u"C:" SEP u"b.mp3"].failure = {WriteFailure::Kind::Busy, 16};
  c.on(&Form1Controller::btnGet_Click);
  EXPECT_EQ(c.boxes.shown.back().text,
            u"タグ情報を読み取れませんでした。（ほかのプログラムがファイルを使用中です）\r\n"
            u"C:" SEP u"b.mp3");
}

TEST(Form1Controller, ClosingDuringARunStopsItAndEndsOnceAfterwards) {
  Controller c;
  c.form->Form_Load();
  c.view.files.entries = {{u"a.mp3", true}, {u"b.mp3", true}, {u"c.mp3", true}};
  for (const auto* name : {u"a.mp3", u"b.mp3", u"c.mp3"}) {
    c.library.addFile(u"C:" SEP + std::u16string(name), u"ka");
  }
  c.view.duringRun = [&c](int done) {
    if (done == 1) {
      EXPECT_TRUE(c.form->running());
      // Nothing else starts while the run works; the layout still may.
      c.on(&Form1Controller::menClear1_Click);
      bool laidOut = false;
      c.form->handle([&laidOut] { laidOut = true; }, true);
      EXPECT_TRUE(laidOut);
      EXPECT_FALSE(c.form->closeRequested());
      EXPECT_EQ(c.view.closes, 0);
    }
  };
  c.on(&Form1Controller::btnGet_Click);
  EXPECT_EQ(c.library.readPaths().size(), 1u);  // stopped before its second file
  EXPECT_EQ(c.view.rows.rows.size(), 1u);
  EXPECT_TRUE(c.form->ended());
  EXPECT_EQ(c.view.closes, 1);
  EXPECT_EQ(c.library.frees, 1);
  EXPECT_TRUE(c.form->closeRequested());  // a later close ends nothing twice
  c.form.reset();
  EXPECT_EQ(c.view.closes, 1);
  EXPECT_EQ(c.library.frees, 1);

  // Closing while the run waits for a file another program holds ends the
  // wait, and then the program.
  Controller waiting;
  waiting.form->Form_Load();
  waiting.view.files.entries = {{u"a.mp3", true}, {u"b.mp3", true}};
  waiting.library.addFile(u"C:" SEP u"a.mp3", u"ka");
  waiting.library.addFile(u"C:" SEP u"b.mp3", u"ka");
  waiting.fileSystem.heldFor[u"C:" SEP u"a.mp3"] = -1;
  waiting.fileSystem.whileHeld = [&waiting] { waiting.form->closeRequested(); };
  waiting.on(&Form1Controller::btnGet_Click);
  EXPECT_TRUE(waiting.library.readPaths().empty());
  EXPECT_EQ(waiting.fileSystem.probes.size(), 1u);
  EXPECT_TRUE(waiting.form->ended());
  EXPECT_EQ(waiting.view.closes, 1);

  // Releasing the library fails: the error is shown and the window still goes.
  FakeView view;
  FailingLibrary library;
  library.failFree = true;
  ScriptedMessageBoxes boxes;
  FakeFileSystem files;
  Form1Controller form(view, library, boxes, files, u"C:");
  form.Form_Load();
  form.handle([&form] { form.endProgram(); });
  EXPECT_EQ(view.closes, 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.rfind(u"実行時エラー", 0), 0u);
}

}  // namespace
}  // namespace tagkana::test
