#include "commands/TitlePreview.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/RuntimeError.h"
#include "platform/SystemError.h"
#include "support/FakeFileSystem.h"
#include "support/FakeLists.h"
#include "support/FakeMessageBoxes.h"
#include "support/FakeProgress.h"
#include "support/FakeTagLibrary.h"
#include "support/TestPaths.h"

namespace tagkana::test {
namespace {

using Paths = std::vector<std::u16string>;
using Rows = std::vector<std::u16string>;

struct Preview {
  FormState state;
  FakePreviewList List1;
  FakeTagLibrary library;
  ScriptedMessageBoxes boxes;
  FakeFileSystem files;
  SteppedClock clock;

  void run(const FileList& File1, Progress& progress = noProgress()) {
    TitlePreview(state, File1, List1, library, boxes, progress, files, clock);
  }
};

TEST(TitlePreview, NumbersSelectedFilesInListOrderWithPathsAtTheirRows) {
  Preview p;
  FakeFileList File1(u"/music",
                     {u"a.mp3", u"b.mp3", u"c.mp3", u"d.mp3", u"e.mp3", u"f.mp3", u"g.mp3"});
  File1.select({1, 3, 4, 6});
  p.library.addFile(u"/music" SEP u"b.mp3", u"さくら");
  p.library.addFile(u"/music" SEP u"d.mp3", u"2001  ");  // trailing spaces are part of the title
  p.library.addFile(u"/music" SEP u"e.mp3", u"sakura");
  p.library.addFile(u"/music" SEP u"g.mp3", u"");
  p.library.addFile(u"/music" SEP u"a.mp3", u"unselected");

  p.run(File1);

  EXPECT_EQ(p.List1.rows,
            (Rows{u"1. さくら → さくら", u"2. 2001   → 2001  ", u"3. sakura → さくら", u"4.  → "}));
  EXPECT_EQ(p.state.FilePaths, (Paths{u"/music" SEP u"b.mp3", u"/music" SEP u"d.mp3",
                                      u"/music" SEP u"e.mp3", u"/music" SEP u"g.mp3"}));
  EXPECT_EQ(p.library.readPaths(), p.state.FilePaths);
  EXPECT_EQ(p.state.RowNo, 5);
  EXPECT_EQ(p.state.CurPath, u"/music" SEP u"g.mp3");
  EXPECT_EQ(p.state.Title, u"");
  EXPECT_TRUE(p.library.writes().empty());
  EXPECT_TRUE(p.boxes.shown.empty());
}

TEST(TitlePreview, ShowsTheWholeConversionOfALongTitle) {
  Preview p;
  FakeFileList File1(u"/m", {u"a.mp3"});
  File1.select({0});
  std::u16string title;
  std::u16string kana;
  for (int i = 0; i < 64; ++i) {
    title += u"va";
    kana += u"う゛ぁ";
  }
  p.library.addFile(u"/m" SEP u"a.mp3", title);

  p.run(File1);

  EXPECT_EQ(p.state.Title, title);
  EXPECT_EQ(p.state.KanaTitle, kana);
  EXPECT_EQ(p.List1.rows, (Rows{u"1. " + title + u" → " + kana}));
}

TEST(TitlePreview, StopsAtAFailedReadAndNamesTheFile) {
  Preview p;
  FakeFileList File1(u"/music", {u"a.mp3", u"b.mp3", u"c.mp3", u"d.mp3"});
  File1.select({0, 1, 2, 3});
  p.library.addFile(u"/music" SEP u"a.mp3", u"いち");
  p.library.addFile(u"/music" SEP u"b.mp3", u"に");
  p.library.addFile(u"/music" SEP u"c.mp3", u"さん").readable = false;
  p.library.addFile(u"/music" SEP u"d.mp3", u"よん");

  p.run(File1);

  EXPECT_EQ(p.List1.rows, (Rows{u"1. いち → いち", u"2. に → に"}));
  EXPECT_EQ(p.state.FilePaths, (Paths{u"/music" SEP u"a.mp3", u"/music" SEP u"b.mp3"}));
  EXPECT_EQ(p.library.readPaths(),
            (Paths{u"/music" SEP u"a.mp3", u"/music" SEP u"b.mp3", u"/music" SEP u"c.mp3"}));
  EXPECT_EQ(p.state.CurPath, u"/music" SEP u"c.mp3");
  EXPECT_EQ(p.state.RowNo, 3);
  ASSERT_EQ(p.boxes.shown.size(), 1u);
  EXPECT_EQ(p.boxes.shown[0].text, u"タグ情報を読み取れませんでした。\r\n/music" SEP u"c.mp3");
  EXPECT_EQ(p.boxes.shown[0].title, u"");
  EXPECT_EQ(p.boxes.shown[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(p.boxes.shown[0].icon, BoxIcon::None);

  // The reason the library left follows the fixed text.
  Preview q;
  FakeFileList one(u"/music", {u"a.mp3"});
  one.select({0});
  FakeTagFile& file = q.library.addFile(u"/music" SEP u"a.mp3", u"いち");
  file.readable = false;
  file.failure = {WriteFailure::Kind::System, 2};
  q.run(one);
  ASSERT_EQ(q.boxes.shown.size(), 1u);
  EXPECT_EQ(q.boxes.shown[0].text, u"タグ情報を読み取れませんでした。（" +
                                       platform::systemErrorText(2) + u"）\r\n/music" SEP u"a.mp3");

  // The rows read before the failure are listed when its box shows.
  struct RowsAtBox : ScriptedMessageBoxes {
    const FakePreviewList* list = nullptr;
    std::size_t rows = 0;
    BoxAnswer show(std::u16string_view text, std::u16string_view title, BoxButtons buttons,
                   BoxIcon icon) override {
      rows = list->rows.size();
      return ScriptedMessageBoxes::show(text, title, buttons, icon);
    }
  } atBox;
  Preview r;
  atBox.list = &r.List1;
  r.library.files = p.library.files;
  TitlePreview(r.state, File1, r.List1, r.library, atBox);
  EXPECT_EQ(atBox.rows, 2u);

  // A run-time error on the way out keeps the rows read before it.
  struct Throwing : FakeTagLibrary {
    bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                          AnsiTagRecord& buffer) override {
      if (path.ends_with(u"c.mp3")) {
        throw RuntimeError(u"読めません");
      }
      return FakeTagLibrary::getFileTagInfoEX(path, record, buffer);
    }
  } throwing;
  throwing.files = p.library.files;
  Preview t;
  EXPECT_THROW(TitlePreview(t.state, File1, t.List1, throwing, t.boxes), RuntimeError);
  EXPECT_EQ(t.List1.rows, (Rows{u"1. いち → いち", u"2. に → に"}));
}

TEST(TitlePreview, WaitsForAFileAnotherProgramHolds) {
  const std::u16string a = u"/m" SEP u"a.mp3";
  const std::u16string b = u"/m" SEP u"b.mp3";
  FakeFileList File1(u"/m", {u"a.mp3", u"b.mp3"});
  File1.select({0, 1});

  // Let go after two looks, each as a read takes it: read then.
  Preview p;
  p.library.addFile(a, u"ka");
  p.library.addFile(b, u"ki");
  p.files.heldFor[a] = 2;
  StoppingProgress progress;
  p.run(File1, progress);
  EXPECT_EQ(p.List1.rows, (Rows{u"1. ka → か", u"2. ki → き"}));
  EXPECT_EQ(progress.reports,
            (std::vector<StoppingProgress::Report>{{0, 2, a}, {0, 2, a}, {0, 2, a}, {1, 2, b}}));
  EXPECT_EQ(p.files.probes,
            (std::vector<FakeFileSystem::Probe>{{a, false}, {a, false}, {a, false}, {b, false}}));

  // Never let go: the preview stops there as at an unreadable file.
  Preview held;
  held.library.addFile(a, u"ka");
  held.library.addFile(b, u"ki");
  held.files.heldFor[b] = -1;
  std::size_t rowsWhileHeld = 0;
  held.files.whileHeld = [&] { rowsWhileHeld = held.List1.rows.size(); };
  held.run(File1);
  EXPECT_EQ(rowsWhileHeld, 1u);  // a's row shows during the wait
  EXPECT_GE(held.clock.waited, std::chrono::seconds(10));
  EXPECT_EQ(held.library.readPaths(), (Paths{a}));
  EXPECT_EQ(held.List1.rows, (Rows{u"1. ka → か"}));
  ASSERT_EQ(held.boxes.shown.size(), 1u);
  EXPECT_EQ(held.boxes.shown[0].text,
            u"タグ情報を読み取れませんでした。（ほかのプログラムがファイルを使用中です）\r\n"
            u"/m" SEP u"b.mp3");

  // キャンセル during the wait: the rows added stay, nothing is shown.
  Preview cancelled;
  cancelled.library.addFile(a, u"ka");
  cancelled.files.heldFor[b] = -1;
  StoppingProgress stop;
  stop.stopAtReport = 3;
  cancelled.run(File1, stop);
  EXPECT_EQ(cancelled.library.readPaths(), (Paths{a}));
  EXPECT_EQ(cancelled.List1.rows, (Rows{u"1. ka → か"}));
  EXPECT_TRUE(cancelled.boxes.shown.empty());
}

TEST(TitlePreview, StopAskedMidRunKeepsTheRowsAdded) {
  Preview p;
  FakeFileList File1(u"/m", {u"a.mp3", u"b.mp3", u"c.mp3", u"d.mp3"});
  File1.select({0, 2, 3});
  for (const auto* name : {u"a.mp3", u"b.mp3", u"c.mp3", u"d.mp3"}) {
    p.library.addFile(u"/m" SEP + std::u16string(name), u"ka");
  }
  StoppingProgress stop(1);

  p.run(File1, stop);

  EXPECT_EQ(stop.reports, (std::vector<StoppingProgress::Report>{{0, 3, u"/m" SEP u"a.mp3"},
                                                                 {1, 3, u"/m" SEP u"c.mp3"}}));
  EXPECT_EQ(p.List1.rows, (Rows{u"1. ka → か"}));
  EXPECT_EQ(p.library.readPaths(), (Paths{u"/m" SEP u"a.mp3"}));
  EXPECT_EQ(p.state.FilePaths, (Paths{u"/m" SEP u"a.mp3"}));
  EXPECT_EQ(p.state.CurPath, u"/m" SEP u"a.mp3");  // the last file handled
  EXPECT_EQ(stop.ends, 1);
  EXPECT_TRUE(p.boxes.shown.empty());
}

TEST(TitlePreview, SecondRunStartsOverAndLeavesLaterPathsAlone) {
  Preview p;
  p.library.addFile(u"/a" SEP u"1.mp3", u"いち");
  p.library.addFile(u"/a" SEP u"2.mp3", u"に");
  p.library.addFile(u"/a" SEP u"3.mp3", u"さん");
  FakeFileList File1(u"/a", {u"1.mp3", u"2.mp3", u"3.mp3"});
  File1.select({0, 1, 2});
  p.run(File1);
  p.List1.select({0, 2});

  FakeFileList other(u"/a", {u"1.mp3", u"2.mp3", u"3.mp3"});
  other.select({2});
  p.run(other);

  EXPECT_EQ(p.List1.rows, (Rows{u"1. さん → さん"}));
  EXPECT_TRUE(p.List1.selected.empty());
  EXPECT_EQ(p.state.FilePaths, (Paths{u"/a" SEP u"3.mp3", u"/a" SEP u"2.mp3", u"/a" SEP u"3.mp3"}));
  EXPECT_EQ(p.state.RowNo, 2);
}

TEST(TitlePreview, NoSelectionEmptiesTheListAndTouchesNothingElse) {
  Preview p;
  p.List1.rows = {u"1. old → old"};
  p.state.FilePaths = {u"/old" SEP u"1.mp3"};
  p.state.RowNo = 7;
  FakeFileList File1(u"/music", {u"a.mp3", u"b.mp3"});

  p.run(File1);

  EXPECT_TRUE(p.List1.rows.empty());
  EXPECT_EQ(p.List1.clears, 1);
  EXPECT_EQ(p.state.RowNo, 1);
  EXPECT_EQ(p.state.FilePaths, (Paths{u"/old" SEP u"1.mp3"}));
  EXPECT_TRUE(p.library.calls.empty());
  EXPECT_TRUE(p.boxes.shown.empty());

  FakeFileList empty(u"/music", {});
  p.run(empty);
  EXPECT_TRUE(p.List1.rows.empty());
  EXPECT_TRUE(p.library.calls.empty());
}

TEST(TitlePreview, RootFolderGivesTwoSeparators) {
  Preview p;
#ifdef _WIN32
  FakeFileList File1(u"C:\\", {u"a.mp3"});
  const std::u16string expected = u"C:\\\\a.mp3";
#else
  FakeFileList File1(u"/", {u"a.mp3"});
  const std::u16string expected = u"/" SEP u"a.mp3";
#endif
  File1.select({0});
  p.library.addFile(expected, u"いち");

  p.run(File1);

  EXPECT_EQ(p.library.readPaths(), (Paths{expected}));
  EXPECT_EQ(p.state.FilePaths, (Paths{expected}));
  EXPECT_EQ(p.List1.rows, (Rows{u"1. いち → いち"}));
}

TEST(TitlePreview, RecordIsKeptBetweenFilesButNotBetweenRuns) {
  Preview p;
  FakeFileList File1(u"/m", {u"a.mp3", u"b.mp3"});
  File1.select({0, 1});
  p.library.addFile(u"/m" SEP u"a.mp3", u"いち").artist = std::u16string(u"あ");
  p.library.files[u"/m" SEP u"b.mp3"] = FakeTagFile{};  // a read that fills nothing

  p.run(File1);

  // b's read starts from what a's read left.
  EXPECT_EQ(p.List1.rows, (Rows{u"1. いち → いち", u"2. いち → いち"}));
  ASSERT_EQ(p.library.calls.size(), 2u);
  EXPECT_EQ(TrimNul(p.library.calls[1].record.Artist), u"あ");

  // A new run starts from a cleared record.
  FakeFileList onlyB(u"/m", {u"a.mp3", u"b.mp3"});
  onlyB.select({1});
  p.run(onlyB);
  EXPECT_EQ(p.List1.rows, (Rows{u"1.  → "}));
  EXPECT_EQ(p.library.calls.back().record, TagRecord{});
}

TEST(TitlePreview, HasNoRowLimit) {
  Preview p;
  FakeFileList File1(u"/m", {});
  for (int i = 0; i < 1005; ++i) {
    const std::string name = std::to_string(i) + ".mp3";
    File1.entries.push_back({std::u16string(name.begin(), name.end()), true});
    p.library.addFile(u"/m" SEP + File1.entries.back().name, u"あ");
  }

  p.run(File1);

  ASSERT_EQ(p.List1.rows.size(), 1005u);
  EXPECT_EQ(p.List1.rows[1004], u"1005. あ → あ");
  ASSERT_EQ(p.state.FilePaths.size(), 1005u);
  EXPECT_EQ(p.state.FilePaths[1004], u"/m" SEP u"1004.mp3");
  EXPECT_EQ(p.state.RowNo, 1006);
}

}  // namespace
}  // namespace tagkana::test
