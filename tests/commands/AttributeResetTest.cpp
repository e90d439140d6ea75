#include "commands/AttributeReset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/TitleWriteBack.h"
#include "common/RuntimeError.h"
#include "support/FakeFileSystem.h"
#include "support/FakeLists.h"
#include "support/FakeMessageBoxes.h"
#include "support/FakeProgress.h"
#include "support/FakeTagLibrary.h"
#include "support/TestPaths.h"

namespace tagkana::test {
namespace {

using Paths = std::vector<std::u16string>;
using platform::kArchive;
using platform::kHidden;
using platform::kReadOnly;
using platform::kSystem;

TEST(AttributeReset, AsksFirstAndCancelChangesNothing) {
  FormState state;
  FakeFileSystem files;
  files.add(u"/m" SEP u"a.mp3", kArchive | kReadOnly);
  FakeFileList File1(u"/m", {u"a.mp3"});
  File1.select({0});
  ScriptedMessageBoxes boxes{BoxAnswer::Cancel};

  AttributeReset(state, File1, files, boxes);

  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            u"選択ファイルの属性を書き換えます。\r\n"
            u"読み取り専用属性・隠しファイル属性は解除され、\r\n"
            u"アーカイブ属性のみになります。\r\n"
            u"本当によろしいですか？");
  EXPECT_EQ(boxes.shown[0].title, u"確認");
  EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::OkCancel);
  EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
  EXPECT_TRUE(files.archiveOnlySets.empty());
  EXPECT_EQ(files.files[u"/m" SEP u"a.mp3"], kArchive | kReadOnly);
}

TEST(AttributeReset, SetsEverySelectedFileAndSaysNothingAfter) {
  FormState state;
  FakeFileSystem files;
  files.add(u"/m" SEP u"a.mp3", kArchive | kReadOnly);
  files.add(u"/m" SEP u"b.mp3", kArchive | kReadOnly);
  files.add(u"/m" SEP u"c.mp3", kArchive | kReadOnly | kHidden | kSystem);
  files.add(u"/m" SEP u"d.mp3", kArchive);
  FakeFileList File1(u"/m", {u"a.mp3", u"b.mp3", u"c.mp3", u"d.mp3"});
  File1.select({0, 2, 3});
  ScriptedMessageBoxes boxes{BoxAnswer::Ok};

  AttributeReset(state, File1, files, boxes);

  EXPECT_EQ(files.archiveOnlySets,
            (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"c.mp3", u"/m" SEP u"d.mp3"}));
  EXPECT_EQ(files.files[u"/m" SEP u"b.mp3"], kArchive | kReadOnly);
  EXPECT_EQ(files.files[u"/m" SEP u"c.mp3"], kArchive);
  EXPECT_EQ(state.CurPath, u"/m" SEP u"d.mp3");
  EXPECT_EQ(boxes.shown.size(), 1u);

  // Stopped after the first of three selected files.
  for (const auto* name : {u"a.mp3", u"c.mp3", u"d.mp3"}) {
    files.add(u"/m" SEP + std::u16string(name), kArchive | kReadOnly);
  }
  files.archiveOnlySets.clear();
  StoppingProgress stop(1);
  boxes.answers.push_back(BoxAnswer::Ok);
  AttributeReset(state, File1, files, boxes, stop);
  EXPECT_EQ(files.archiveOnlySets, (Paths{u"/m" SEP u"a.mp3"}));
  EXPECT_EQ(files.files[u"/m" SEP u"c.mp3"], kArchive | kReadOnly);
  EXPECT_EQ(stop.reports.back(), (StoppingProgress::Report{1, 3, u"/m" SEP u"c.mp3"}));
  EXPECT_EQ(state.CurPath, u"/m" SEP u"a.mp3");
  EXPECT_EQ(boxes.shown.size(), 2u);
  files.archiveOnlySets = {u"/m" SEP u"a.mp3", u"/m" SEP u"c.mp3", u"/m" SEP u"d.mp3"};

  // Nothing selected: no file touched, still no message afterwards.
  FakeFileList none(u"/m", {u"a.mp3"});
  boxes.answers.push_back(BoxAnswer::Ok);
  AttributeReset(state, none, files, boxes);
  EXPECT_EQ(files.archiveOnlySets.size(), 3u);
  EXPECT_EQ(boxes.shown.size(), 3u);
}

TEST(AttributeReset, RootFolderGivesTwoSeparators) {
  FormState state;
  FakeFileSystem files;
#ifdef _WIN32
  FakeFileList File1(u"C:\\", {u"a.mp3"});
  const std::u16string expected = u"C:\\\\a.mp3";
#else
  FakeFileList File1(u"/", {u"a.mp3"});
  const std::u16string expected = u"/" SEP u"a.mp3";
#endif
  files.add(expected, kArchive | kReadOnly);
  File1.select({0});
  ScriptedMessageBoxes boxes{BoxAnswer::Ok};

  AttributeReset(state, File1, files, boxes);

  EXPECT_EQ(files.archiveOnlySets, (Paths{expected}));
}

TEST(AttributeReset, AFailureStopsWithTheEarlierFilesDone) {
  FormState state;
  FakeFileSystem files;
  files.add(u"/m" SEP u"a.mp3", kArchive | kReadOnly);
  files.add(u"/m" SEP u"c.mp3", kArchive | kReadOnly);
  FakeFileList File1(u"/m", {u"a.mp3", u"gone.mp3", u"c.mp3"});
  File1.select({0, 1, 2});
  ScriptedMessageBoxes boxes{BoxAnswer::Ok};

  EXPECT_THROW(AttributeReset(state, File1, files, boxes), RuntimeError);

  EXPECT_EQ(files.files[u"/m" SEP u"a.mp3"], kArchive);
  EXPECT_EQ(files.files[u"/m" SEP u"c.mp3"], kArchive | kReadOnly);
  EXPECT_EQ(state.CurPath, u"/m" SEP u"gone.mp3");
}

TEST(AttributeReset, MakesAReadOnlyFileWritableForTheWriteBack) {
  FormState state;
  FakeFileSystem files;
  FakeTagLibrary library;
  files.add(u"/m" SEP u"a.mp3", kArchive | kReadOnly);
  library.addFile(u"/m" SEP u"a.mp3", u"いち");
  state.FilePaths = {u"/m" SEP u"a.mp3"};
  FakePreviewList List1;
  List1.rows = {u"1. いち → いち"};
  List1.select({0});
  FakeFileList File1(u"/m", {u"a.mp3"});
  File1.select({0});
  ScriptedMessageBoxes boxes{BoxAnswer::Ok, BoxAnswer::Ok, BoxAnswer::Ok};

  TitleWriteBack(state, List1, library, files, boxes);
  AttributeReset(state, File1, files, boxes);
  TitleWriteBack(state, List1, library, files, boxes);

  EXPECT_EQ(library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3"}));
  EXPECT_EQ(state.ResultLog, u"a.mp3　読みとり専用のため失敗\r\na.mp3　成功\r\n");
}

}  // namespace
}  // namespace tagkana::test
