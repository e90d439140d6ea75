#include "commands/TitleWriteBack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "commands/TitlePreview.h"
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

std::u16string padded(std::u16string text) {
  text.resize(128, u' ');
  return text;
}

// Rows 0.. of List1 stand for the given files, all writable, titled as given.
struct WriteBack {
  FormState state;
  FakePreviewList List1;
  FakeTagLibrary library;
  FakeFileSystem files;
  ScriptedMessageBoxes boxes;
  SteppedClock clock;

  void addRow(const std::u16string& path, const std::u16string& title,
              std::uint32_t attributes = platform::kArchive) {
    state.FilePaths.push_back(path);
    List1.rows.push_back(u"row of " + path);
    library.addFile(path, title);
    files.add(path, attributes);
  }

  void run(BoxAnswer answer = BoxAnswer::Ok, Progress& progress = noProgress()) {
    boxes.answers.push_back(answer);
    TitleWriteBack(state, List1, library, files, boxes, progress, clock);
  }

  const ShownBox& lastBox() const { return boxes.shown.back(); }
};

TEST(TitleWriteBack, CancelChangesNothing) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.List1.select({0});
  w.state.ResultLog = u"x.mp3　成功\r\n";
  w.state.CurPath = u"/before";

  w.run(BoxAnswer::Cancel);

  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_EQ(w.boxes.shown[0].text, u"タグ情報を書き換えます。本当によろしいですか？");
  EXPECT_EQ(w.boxes.shown[0].title, u"確認");
  EXPECT_EQ(w.boxes.shown[0].buttons, BoxButtons::OkCancel);
  EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::None);
  EXPECT_TRUE(w.library.calls.empty());
  EXPECT_EQ(w.state.ResultLog, u"x.mp3　成功\r\n");
  EXPECT_EQ(w.state.CurPath, u"/before");
}

TEST(TitleWriteBack, WritesEverySelectedRowAndShowsTheLog) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に");
  w.addRow(u"/m" SEP u"c.mp3", u"さん");
  w.addRow(u"/m" SEP u"d.mp3", u"2001");
  w.List1.select({0, 2, 3});

  w.run();

  const auto writes = w.library.writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(w.library.writtenPaths(),
            (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"c.mp3", u"/m" SEP u"d.mp3"}));
  EXPECT_EQ(writes[0].record.Title, padded(u"いち"));
  EXPECT_EQ(writes[2].record.Title, padded(u"2001"));
  for (const auto& write : writes) {
    EXPECT_EQ(write.version, 0);
    EXPECT_EQ(write.keepV1, 1);
  }
  EXPECT_EQ(w.state.ResultLog, u"a.mp3　成功\r\nc.mp3　成功\r\nd.mp3　成功\r\n");
  EXPECT_EQ(w.state.CurPath, u"/m" SEP u"d.mp3");
  EXPECT_EQ(w.state.Title, u"2001");
  ASSERT_EQ(w.boxes.shown.size(), 2u);
  EXPECT_EQ(w.lastBox().text, u"完了しました\r\n\r\na.mp3　成功\r\nc.mp3　成功\r\nd.mp3　成功\r\n");
  EXPECT_EQ(w.lastBox().title, u"");
  EXPECT_EQ(w.lastBox().buttons, BoxButtons::Ok);
  EXPECT_EQ(w.lastBox().icon, BoxIcon::None);
}

TEST(TitleWriteBack, NothingSelectedStillShowsTheEarlierLog) {
  WriteBack w;
  w.run();
  EXPECT_EQ(w.lastBox().text, u"完了しました\r\n\r\n");

  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.state.ResultLog = u"z.mp3　成功\r\n";
  w.run();
  EXPECT_TRUE(w.library.calls.empty());
  EXPECT_EQ(w.lastBox().text, u"完了しました\r\n\r\nz.mp3　成功\r\n");
}

TEST(TitleWriteBack, LogGrowsOverRuns) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に");
  w.List1.select({0});
  w.run();
  w.List1.selected = {1};
  w.run();

  EXPECT_EQ(w.state.ResultLog, u"a.mp3　成功\r\nb.mp3　成功\r\n");
  EXPECT_EQ(w.lastBox().text, u"完了しました\r\n\r\na.mp3　成功\r\nb.mp3　成功\r\n");
  // The box opens where this run's lines begin.
  EXPECT_EQ(w.lastBox().text.substr(w.lastBox().inView), u"b.mp3　成功\r\n");
}

TEST(TitleWriteBack, RefusesReadOnlyFilesAndGoesOn) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に", platform::kArchive | platform::kReadOnly);
  w.addRow(u"/m" SEP u"c.mp3", u"さん");
  w.List1.select({0, 1, 2});

  w.run();

  // Still read (a failed read of it would stop the run), never written.
  EXPECT_EQ(w.library.readPaths(),
            (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"b.mp3", u"/m" SEP u"c.mp3"}));
  EXPECT_EQ(w.library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"c.mp3"}));
  EXPECT_EQ(w.state.ResultLog, u"a.mp3　成功\r\nb.mp3　読みとり専用のため失敗\r\nc.mp3　成功\r\n");
}

TEST(TitleWriteBack, ReportsAFailedWriteAndGoesOn) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に");
  w.library.files[u"/m" SEP u"a.mp3"].writable = false;
  w.List1.select({0, 1});

  w.run();

  EXPECT_EQ(w.state.ResultLog, u"a.mp3　書き込みエラーのため失敗\r\nb.mp3　成功\r\n");
  EXPECT_EQ(w.lastBox().text,
            u"完了しました\r\n\r\na.mp3　書き込みエラーのため失敗\r\nb.mp3　成功\r\n");

  // The library's refusal of a title it could not read whole says why.
  WriteBack t;
  t.addRow(u"/m" SEP u"b.mp3", u"hoshi");
  t.addRow(u"/m" SEP u"c.mp3", u"nagai");
  t.addRow(u"/m" SEP u"d.mp3", u"ka");
  t.library.files[u"/m" SEP u"b.mp3"].writable = false;
  t.library.files[u"/m" SEP u"b.mp3"].failure = {WriteFailure::Kind::TitleCharacters, 84};
  t.library.files[u"/m" SEP u"c.mp3"].writable = false;
  t.library.files[u"/m" SEP u"c.mp3"].failure = {WriteFailure::Kind::TitleTooLong, 75};
  t.List1.select({0, 1, 2});

  t.run();

  EXPECT_EQ(t.library.writtenPaths(),
            (Paths{u"/m" SEP u"b.mp3", u"/m" SEP u"c.mp3", u"/m" SEP u"d.mp3"}));
  EXPECT_EQ(t.state.ResultLog,
            u"b.mp3　書き込みエラーのため失敗（タイトルに保存できない文字が含まれています）\r\n"
            u"c.mp3　書き込みエラーのため失敗（タイトルが長すぎて保存できません）\r\n"
            u"d.mp3　成功\r\n");

  // Every other reason too: the library's own in Japanese, the system's in
  // its own words.
  using Kind = WriteFailure::Kind;
  WriteBack r;
  const std::pair<WriteFailure, std::u16string> reasons[] = {
      {{Kind::Busy, 16}, u"ほかのプログラムがファイルを使用中です"},
      {{Kind::TagTooBig, 27}, u"タグが大きすぎるか壊れています"},
      {{Kind::SeveralNames, 31},
       u"ハードリンクで複数の名前を持つファイルは、この変更では書き換えられません"},
      {{Kind::NotAsPlanned, 74}, u"書き換えたタグを確かめられなかったため、変更していません"},
      {{Kind::NotDurable, 115}, u"書き込みましたが、ディスクに保存されたか確認できません"},
      {{Kind::System, 28}, platform::systemErrorText(28)},
      {{Kind::System, 30}, platform::systemErrorText(30)}};
  std::u16string expected;
  for (std::size_t i = 0; i < std::size(reasons); ++i) {
    const std::u16string name = u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".mp3";
    r.addRow(u"/m" SEP + name, u"ka");
    r.library.files[u"/m" SEP + name].writable = false;
    r.library.files[u"/m" SEP + name].failure = reasons[i].first;
    r.List1.select({static_cast<int>(i)});
    expected += name + u"　書き込みエラーのため失敗（" + reasons[i].second + u"）\r\n";
  }
  r.run();
  EXPECT_EQ(r.state.ResultLog, expected);
  EXPECT_EQ(r.lastBox().text, u"完了しました\r\n\r\n" + expected);
}

// The library leaves each write's last sync to the run: each folder is
// watched before the run's first write in it, and the written files are made
// durable in batches before the box; one that cannot be fails with the
// system's reason, and a folder that cannot be watched is not written to.
TEST(TitleWriteBack, WrittenFoldersAreMadeDurableBeforeTheLogSaysSo) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に", platform::kArchive | platform::kReadOnly);
  w.addRow(u"/n" SEP u"c.mp3", u"さん");
  w.addRow(u"/n" SEP u"d.mp3", u"し");
  w.addRow(u"/m" SEP u"e.mp3", u"ご");
  w.addRow(u"/o" SEP u"f.mp3", u"ろく");
  w.library.files[u"/n" SEP u"c.mp3"].writable = false;
  w.files.durabilityFailures[u"/n" SEP u"d.mp3"] = u"入出力エラーです";
  w.files.watchFailures[u"/o" SEP u"f.mp3"] = u"アクセスが拒否されました";
  w.List1.select({0, 1, 2, 3, 4, 5});

  w.run();

  EXPECT_EQ(w.files.watched, (Paths{u"/m" SEP u"a.mp3", u"/n" SEP u"c.mp3", u"/n" SEP u"d.mp3",
                                    u"/m" SEP u"e.mp3", u"/o" SEP u"f.mp3"}));
  EXPECT_EQ(w.library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3", u"/n" SEP u"c.mp3",
                                             u"/n" SEP u"d.mp3", u"/m" SEP u"e.mp3"}));
  EXPECT_EQ(w.files.madeDurable,
            (std::vector<Paths>{{u"/m" SEP u"a.mp3", u"/n" SEP u"d.mp3", u"/m" SEP u"e.mp3"}}));
  EXPECT_EQ(w.files.runsEnded, 1);
  const std::u16string log =
      u"a.mp3　成功\r\nb.mp3　読みとり専用のため失敗\r\nc.mp3　書き込みエラーのため失敗\r\n"
      u"d.mp3　書き込みエラーのため失敗（入出力エラーです）\r\ne.mp3　成功\r\n"
      u"f.mp3　書き込みエラーのため失敗（アクセスが拒否されました）\r\n";
  EXPECT_EQ(w.state.ResultLog, log);
  EXPECT_EQ(w.lastBox().text, u"完了しました\r\n\r\n" + log);

  // A hundred written files at a time, so that no one sync is long.
  WriteBack many;
  for (int i = 0; i < 250; ++i) {
    many.addRow(u"/m" SEP + std::u16string(1, static_cast<char16_t>(u'一' + i)), u"いち");
    many.List1.selected.insert(i);
  }
  many.run();
  const Paths& all = many.state.FilePaths;
  EXPECT_EQ(many.files.madeDurable, (std::vector<Paths>{Paths(all.begin(), all.begin() + 100),
                                                        Paths(all.begin() + 100, all.begin() + 200),
                                                        Paths(all.begin() + 200, all.end())}));
}

// A sync the fake file system holds until a pulse of the progress has seen
// it held; the pulses answer `goOn`.
struct HeldSync : StoppingProgress {
  explicit HeldSync(FakeFileSystem& files, bool goOn) : m_goOn(goOn) {
    files.whileSyncing = [this] {
      syncing = true;
      // Bounded only so that a fault fails instead of hanging.
      heldToTheEnd = released.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
      syncing = false;
    };
  }
  bool pulse() override {
    if (syncing && pulsesDuringSync++ == 0) {
      release.set_value();
    }
    return m_goOn;
  }

  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> syncing{false};
  std::atomic<bool> heldToTheEnd{false};
  int pulsesDuringSync = 0;

 private:
  bool m_goOn;
};

// The window lives on while the written files are made durable; a stop asked
// then lets the sync end and its outcome reach the log before the run stops.
TEST(TitleWriteBack, TheWindowLivesOnDuringASync) {
  WriteBack w;
  for (const auto* name : {u"a", u"b", u"c"}) {
    w.addRow(u"/m" SEP + std::u16string(name) + u".mp3", u"いち");
  }
  w.files.durabilityFailures[u"/m" SEP u"b.mp3"] = u"入出力エラーです";
  w.List1.select({0, 1, 2});
  HeldSync held(w.files, true);
  w.run(BoxAnswer::Ok, held);
  EXPECT_GE(held.pulsesDuringSync, 1);
  EXPECT_TRUE(held.heldToTheEnd);
  EXPECT_EQ(held.reports.size(), 3u);
  const std::u16string log =
      u"a.mp3　成功\r\nb.mp3　書き込みエラーのため失敗（入出力エラーです）\r\nc.mp3　成功\r\n";
  EXPECT_EQ(w.state.ResultLog, log);

  WriteBack stop;
  for (int i = 0; i < 103; ++i) {
    stop.addRow(u"/m" SEP + std::u16string(1, static_cast<char16_t>(u'一' + i)), u"いち");
    stop.List1.selected.insert(i);
  }
  const Paths& all = stop.state.FilePaths;
  stop.files.durabilityFailures[all[40]] = u"入出力エラーです";
  HeldSync stopping(stop.files, false);
  stop.run(BoxAnswer::Ok, stopping);
  EXPECT_TRUE(stopping.heldToTheEnd);
  EXPECT_EQ(stop.files.madeDurable, (std::vector<Paths>{Paths(all.begin(), all.begin() + 100)}));
  EXPECT_EQ(stop.library.writtenPaths(), Paths(all.begin(), all.begin() + 100));
  EXPECT_EQ(stopping.reports.size(), 100u);
  const std::u16string failed =
      all[40].substr(3) + u"　書き込みエラーのため失敗（入出力エラーです）\r\n";
  EXPECT_NE(stop.state.ResultLog.find(failed), std::u16string::npos);
  EXPECT_TRUE(stop.state.ResultLog.ends_with(
      all[99].substr(3) + u"　成功\r\nキャンセルのため、選択された 3 件は処理していません\r\n"));
}

TEST(TitleWriteBack, StopsAtAFailedReadAndSaysSo) {
  WriteBack w;
  for (const auto* name : {u"a", u"b", u"c", u"d", u"e"}) {
    w.addRow(u"/m" SEP + std::u16string(name) + u".mp3", u"いち");
  }
  w.library.files[u"/m" SEP u"c.mp3"].readable = false;
  w.library.files[u"/m" SEP u"c.mp3"].failure = {WriteFailure::Kind::NotMpeg, 8};
  w.state.ResultLog = u"x.mp3　成功\r\n";
  w.List1.select({0, 1, 2, 3, 4});

  w.run();

  EXPECT_EQ(w.library.readPaths(),
            (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"b.mp3", u"/m" SEP u"c.mp3"}));
  EXPECT_EQ(w.library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"b.mp3"}));
  const std::u16string log =
      u"x.mp3　成功\r\na.mp3　成功\r\nb.mp3　成功\r\n"
      u"c.mp3　タグ情報を読み取れないため中断（MPEG オーディオのファイルではありません）\r\n"
      u"中断のため、選択された 2 件は処理していません\r\n";
  EXPECT_EQ(w.state.ResultLog, log);
  ASSERT_EQ(w.boxes.shown.size(), 2u);
  EXPECT_EQ(w.lastBox().text, u"中断しました\r\n\r\n" + log);
  EXPECT_EQ(w.lastBox().buttons, BoxButtons::Ok);
  EXPECT_EQ(w.lastBox().title, u"");

  // Stopped at the last marked row: nothing is left to count.
  WriteBack last;
  last.addRow(u"/m" SEP u"a.mp3", u"いち");
  last.library.files[u"/m" SEP u"a.mp3"].readable = false;
  last.List1.select({0});
  last.run();
  EXPECT_EQ(last.state.ResultLog, u"a.mp3　タグ情報を読み取れないため中断\r\n");

  // A file another program holds is not unreadable: it fails, and the run
  // goes on; a vanished file stops it with the system's reason.
  WriteBack busy;
  for (const auto* name : {u"a", u"b", u"c", u"d"}) {
    busy.addRow(u"/m" SEP + std::u16string(name) + u".mp3", u"ka");
  }
  busy.library.files[u"/m" SEP u"b.mp3"].readable = false;
  busy.library.files[u"/m" SEP u"b.mp3"].failure = {WriteFailure::Kind::Busy, 16};
  busy.library.files[u"/m" SEP u"c.mp3"].readable = false;
  busy.library.files[u"/m" SEP u"c.mp3"].failure = {WriteFailure::Kind::System, 2};
  busy.List1.select({0, 1, 2, 3});
  busy.run();
  EXPECT_EQ(busy.library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3"}));
  const std::u16string busyLog =
      u"a.mp3　成功\r\nb."
      u"mp3　書き込みエラーのため失敗（ほかのプログラムがファイルを使用中です）\r\n"
      u"c.mp3　タグ情報を読み取れないため中断（" +
      platform::systemErrorText(2) + u"）\r\n中断のため、選択された 1 件は処理していません\r\n";
  EXPECT_EQ(busy.state.ResultLog, busyLog);
  EXPECT_EQ(busy.lastBox().text, u"中断しました\r\n\r\n" + busyLog);
}

// Another program holds b (from before the run, or from between its read
// and its write): the run waits for it, asking the window along the way.
struct HeldAfterRead : FakeFileSystem {
  std::u16string path;
  std::uint32_t attributes(std::u16string_view asked) override {
    if (asked == path) {
      heldFor[path] = -1;
    }
    return FakeFileSystem::attributes(asked);
  }
};

TEST(TitleWriteBack, WaitsForAFileAnotherProgramHolds) {
  const std::u16string a = u"/m" SEP u"a.mp3";
  const std::u16string b = u"/m" SEP u"b.mp3";
  const std::u16string c = u"/m" SEP u"c.mp3";
  const auto fourRows = [&](WriteBack& w) {
    for (const auto* name : {u"a", u"b", u"c", u"d"}) {
      w.addRow(u"/m" SEP + std::u16string(name) + u".mp3", u"ka");
    }
    w.List1.select({0, 1, 2, 3});
  };

  // Let go after three looks: written, with the window asked at each.
  WriteBack w;
  fourRows(w);
  w.files.heldFor[b] = 3;
  StoppingProgress progress;
  w.run(BoxAnswer::Ok, progress);
  EXPECT_EQ(w.library.writtenPaths().size(), 4u);
  EXPECT_EQ(std::count(progress.reports.begin(), progress.reports.end(),
                       StoppingProgress::Report{1, 4, b}),
            4);
  EXPECT_EQ(w.clock.waited, std::chrono::milliseconds(30));
  // Looked at as a write takes it, before the read and again before the write.
  EXPECT_EQ(
      std::count(w.files.probes.begin(), w.files.probes.end(), FakeFileSystem::Probe{b, true}), 5);
  EXPECT_EQ(w.files.probes.size(), 4u * 2 + 3);
  EXPECT_EQ(w.state.ResultLog, u"a.mp3　成功\r\nb.mp3　成功\r\nc.mp3　成功\r\nd.mp3　成功\r\n");

  // Never let go: as long as the tag library would wait, then b fails its
  // line unread and the run goes on.
  WriteBack held;
  fourRows(held);
  held.files.heldFor[b] = -1;
  held.run();
  EXPECT_GE(held.clock.waited, std::chrono::seconds(10));
  EXPECT_LT(held.clock.waited, std::chrono::seconds(11));
  EXPECT_EQ(held.library.readPaths().size(), 3u);
  EXPECT_EQ(held.library.writtenPaths().size(), 3u);
  const std::u16string heldLog =
      u"a.mp3　成功\r\nb.mp3　書き込みエラーのため失敗（ほかのプログラムがファイルを使用中です）"
      u"\r\nc.mp3　成功\r\nd.mp3　成功\r\n";
  EXPECT_EQ(held.state.ResultLog, heldLog);
  EXPECT_EQ(held.lastBox().text, u"完了しました\r\n\r\n" + heldLog);

  // キャンセル during the wait: b counts as not attempted.
  WriteBack cancelled;
  fourRows(cancelled);
  cancelled.files.heldFor[b] = -1;
  StoppingProgress stop;
  stop.stopAtReport = 4;
  cancelled.run(BoxAnswer::Ok, stop);
  EXPECT_EQ(stop.reports.size(), 4u);
  EXPECT_EQ(cancelled.library.readPaths(), (Paths{a}));
  EXPECT_EQ(cancelled.state.ResultLog,
            u"a.mp3　成功\r\nキャンセルのため、選択された 3 件は処理していません\r\n");

  // Taken between the read and the write: nothing written; the same line
  // when the wait gives up, the same count when it is cancelled.
  for (const bool cancel : {false, true}) {
    WriteBack late;
    HeldAfterRead files;
    files.path = b;
    for (const auto* name : {u"a", u"b", u"c"}) {
      late.state.FilePaths.push_back(u"/m" SEP + std::u16string(name) + u".mp3");
      late.List1.rows.push_back(u"row");
      late.library.addFile(late.state.FilePaths.back(), u"ka");
      files.add(late.state.FilePaths.back());
    }
    late.List1.select({0, 1, 2});
    StoppingProgress lateStop;
    lateStop.stopAtReport = cancel ? 3 : -1;
    late.boxes.answers.push_back(BoxAnswer::Ok);
    TitleWriteBack(late.state, late.List1, late.library, files, late.boxes, lateStop, late.clock);
    EXPECT_EQ(late.library.readPaths(), cancel ? (Paths{a, b}) : (Paths{a, b, c})) << cancel;
    EXPECT_EQ(late.library.writtenPaths(), cancel ? (Paths{a}) : (Paths{a, c})) << cancel;
    EXPECT_EQ(late.state.ResultLog,
              cancel ? u"a.mp3　成功\r\nキャンセルのため、選択された 2 件は処理していません\r\n"
                     : u"a.mp3　成功\r\nb.mp3　書き込みエラーのため失敗"
                       u"（ほかのプログラムがファイルを使用中です）\r\nc.mp3　成功\r\n")
        << cancel;
  }
}

TEST(TitleWriteBack, EveryLineNamesItsFile) {
  WriteBack w;
  w.addRow(u"/m" SEP u".a.mp3", u"いち", platform::kArchive | platform::kHidden);
  w.addRow(u"/m" SEP u".b.mp3", u"に",
           platform::kArchive | platform::kHidden | platform::kReadOnly);
  // Deleted after the preview: named from the stored path.
  w.addRow(u"/m" SEP u"gone.mp3", u"さん");
  w.files.files.erase(u"/m" SEP u"gone.mp3");
  w.library.files[u"/m" SEP u"gone.mp3"].readable = false;
  w.List1.select({0, 1, 2});

  w.run();

  EXPECT_EQ(w.state.ResultLog,
            u".a.mp3　成功\r\n.b.mp3　読みとり専用のため失敗\r\n"
            u"gone.mp3　タグ情報を読み取れないため中断\r\n");
}

TEST(TitleWriteBack, StopAskedMidRunKeepsWhatWasWrittenAndCountsTheRest) {
  WriteBack w;
  for (const auto* name : {u"a", u"b", u"c", u"d", u"e", u"f"}) {
    w.addRow(u"/m" SEP + std::u16string(name) + u".mp3", u"ichi");
  }
  w.state.ResultLog = u"x.mp3　成功\r\n";
  w.List1.select({0, 2, 3, 4, 5});
  StoppingProgress stop(2);  // after a and c

  w.run(BoxAnswer::Ok, stop);

  EXPECT_EQ(stop.reports, (std::vector<StoppingProgress::Report>{{0, 5, u"/m" SEP u"a.mp3"},
                                                                 {1, 5, u"/m" SEP u"c.mp3"},
                                                                 {2, 5, u"/m" SEP u"d.mp3"}}));
  EXPECT_EQ(w.library.readPaths(), (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"c.mp3"}));
  EXPECT_EQ(w.library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3", u"/m" SEP u"c.mp3"}));
  const std::u16string log =
      u"x.mp3　成功\r\na.mp3　成功\r\nc.mp3　成功\r\n"
      u"キャンセルのため、選択された 3 件は処理していません\r\n";
  EXPECT_EQ(w.state.ResultLog, log);
  EXPECT_EQ(w.state.CurPath, u"/m" SEP u"c.mp3");
  EXPECT_EQ(stop.ends, 1);
  ASSERT_EQ(w.boxes.shown.size(), 2u);
  EXPECT_EQ(w.lastBox().text, u"完了しました\r\n\r\n" + log);

  // Stopped before the first file: nothing read; large counts are grouped.
  WriteBack many;
  many.addRow(u"/m" SEP u"a.mp3", u"ichi");
  many.state.FilePaths.resize(12345, u"/m" SEP u"a.mp3");
  many.List1.rows.resize(12345, u"row");
  for (int i = 0; i < 12345; ++i) {
    many.List1.selected.insert(i);
  }
  StoppingProgress atOnce(0);
  many.run(BoxAnswer::Ok, atOnce);
  EXPECT_TRUE(many.library.calls.empty());
  EXPECT_EQ(many.state.ResultLog, u"キャンセルのため、選択された 12,345 件は処理していません\r\n");
}

TEST(TitleWriteBack, RecordTravelsFromReadToWriteWithOnlyTheTitleReplaced) {
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に");
  w.library.files[u"/m" SEP u"a.mp3"].artist = u"あーてぃすと";
  w.library.files[u"/m" SEP u"a.mp3"].trackNumber = {{7, 0, 0, 0}};
  w.List1.select({0, 1});

  w.run();

  const auto writes = w.library.writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(TrimNul(writes[0].record.Artist), u"あーてぃすと");
  EXPECT_EQ(writes[0].record.TrackNumber, (std::array<unsigned char, 4>{7, 0, 0, 0}));
  // b's read left the other fields as a's read made them.
  EXPECT_EQ(TrimNul(writes[1].record.Artist), u"あーてぃすと");
  EXPECT_EQ(writes[1].record.TrackNumber, (std::array<unsigned char, 4>{7, 0, 0, 0}));
  // The title goes out space-filled, without a NUL: "に" is 2 bytes, then 126 spaces.
  EXPECT_EQ(writes[1].buffer[0], 0x82);
  EXPECT_EQ(writes[1].buffer[1], 0xC9);
  EXPECT_EQ(writes[1].buffer[2], ' ');
  EXPECT_EQ(writes[1].buffer[127], ' ');

  // A new run starts from a cleared record.
  w.List1.selected = {1};
  w.run();
  ASSERT_EQ(w.library.writes().size(), 3u);
  EXPECT_EQ(w.library.writes()[2].record.Artist, std::u16string(128, u'\0'));
}

// The record would cut a longer conversion: such a file keeps its title.
TEST(TitleWriteBack, NeverWritesAConversionTheRecordWouldCut) {
  WriteBack w;
  std::u16string longTitle;
  for (int i = 0; i < 64; ++i) {
    longTitle += u"va";  // "う゛ぁ", six bytes
  }
  // "あ" is two bytes: 64 of them fill the 128-byte slot exactly.
  w.addRow(u"/m" SEP u"a.mp3", u"sakura");
  w.addRow(u"/m" SEP u"b.mp3", std::u16string(64, u'a'));
  w.addRow(u"/m" SEP u"c.mp3", std::u16string(65, u'a'));
  w.addRow(u"/m" SEP u"d.mp3", longTitle);
  w.List1.select({0, 1, 2, 3});

  w.run();

  const auto writes = w.library.writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].record.Title, padded(u"さくら"));
  EXPECT_EQ(writes[1].record.Title, std::u16string(64, u'あ') + std::u16string(64, u' '));
  EXPECT_EQ(w.state.Title, longTitle);
  EXPECT_EQ(w.library.files[u"/m" SEP u"c.mp3"].title, std::u16string(65, u'a'));
  EXPECT_EQ(w.library.files[u"/m" SEP u"d.mp3"].title, longTitle);
  EXPECT_EQ(w.state.ResultLog,
            u"a.mp3　成功\r\nb.mp3　成功\r\n"
            u"c.mp3　書き込みエラーのため失敗（変換後のタイトルが長すぎて保存できません）\r\n"
            u"d.mp3　書き込みエラーのため失敗（変換後のタイトルが長すぎて保存できません）\r\n");
}

TEST(TitleWriteBack, ConvertsTheTitleReadNowNotTheRowText) {
  WriteBack w;
  w.library.addFile(u"/m" SEP u"a.mp3", u"いち");
  w.files.add(u"/m" SEP u"a.mp3");
  FakeFileList File1(u"/m", {u"a.mp3"});
  File1.select({0});
  TitlePreview(w.state, File1, w.List1, w.library, w.boxes);
  ASSERT_EQ(w.List1.rows, (std::vector<std::u16string>{u"1. いち → いち"}));

  w.library.files[u"/m" SEP u"a.mp3"].title = u"kyouto";
  w.List1.select({0});
  w.run();

  ASSERT_EQ(w.library.writes().size(), 1u);
  EXPECT_EQ(w.library.writes()[0].record.Title, padded(u"きょうと"));
  EXPECT_EQ(w.state.Title, u"kyouto");
}

TEST(TitleWriteBack, WritesThePreviewedFilesAfterTheFolderChanged) {
  WriteBack w;
  for (const auto* path :
       {u"/one" SEP u"a.mp3", u"/one" SEP u"b.mp3", u"/one" SEP u"c.mp3", u"/two" SEP u"a.mp3"}) {
    w.library.addFile(path, u"いち");
    w.files.add(path);
  }
  FakeFileList File1(u"/one", {u"a.mp3", u"b.mp3", u"c.mp3"});
  File1.select({0, 2});
  TitlePreview(w.state, File1, w.List1, w.library, w.boxes);

  File1.folder = u"/two";
  File1.entries = {{u"a.mp3", true}};
  w.List1.select({1});
  w.run();

  EXPECT_EQ(w.library.writtenPaths(), (Paths{u"/one" SEP u"c.mp3"}));
  EXPECT_EQ(w.state.ResultLog, u"c.mp3　成功\r\n");
}

TEST(TitleWriteBack, RunTimeErrorsNameTheFileAndKeepTheLog) {
  // The file vanished between the tag read and the attribute read.
  WriteBack w;
  w.addRow(u"/m" SEP u"a.mp3", u"いち");
  w.addRow(u"/m" SEP u"b.mp3", u"に");
  w.files.files.erase(u"/m" SEP u"b.mp3");
  w.List1.select({0, 1});
  try {
    w.run();
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.file(), u"/m" SEP u"b.mp3");
  }
  EXPECT_EQ(w.state.ResultLog, u"a.mp3　成功\r\n");
  EXPECT_EQ(w.library.writtenPaths(), (Paths{u"/m" SEP u"a.mp3"}));
  EXPECT_EQ(w.files.madeDurable, (std::vector<Paths>{{u"/m" SEP u"a.mp3"}}));
  EXPECT_EQ(w.files.runsEnded, 1);

  // An error before the last marked row: the rows after it are counted.
  WriteBack early;
  for (const auto* name : {u"a", u"b", u"c", u"d"}) {
    early.addRow(u"/m" SEP + std::u16string(name) + u".mp3", u"いち");
  }
  early.files.files.erase(u"/m" SEP u"b.mp3");
  early.List1.select({0, 1, 2, 3});
  EXPECT_THROW(early.run(), RuntimeError);
  EXPECT_EQ(early.state.ResultLog,
            u"a.mp3　成功\r\n中断のため、選択された 2 件は処理していません\r\n");
  EXPECT_EQ(w.boxes.shown.size(), 1u);

  // A selected row that no preview gave a path.
  WriteBack rows;
  rows.addRow(u"/m" SEP u"a.mp3", u"いち");
  rows.List1.rows.push_back(u"2. stray");
  rows.List1.select({1});
  EXPECT_THROW(rows.run(), RuntimeError);
  EXPECT_TRUE(rows.library.calls.empty());
}

}  // namespace
}  // namespace tagkana::test
