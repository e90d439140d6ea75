#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "Mp3Fixture.h"
#include "commands/TitleWriteBack.h"
#include "conversion/RtoK.h"
#include "platform/PathEncoding.h"
#include "record/Utf8.h"
#include "support/FakeLists.h"
#include "support/FakeMessageBoxes.h"
#include "support/TempFolder.h"
#include "taglib/Vbmp3Library.h"
#include "undo/Undo.h"

namespace tagkana {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;  // standard output and error together
};

// Runs the program in `cwd` with no terminal on its input and the undo files
// kept under `state`.
Outcome shell(const std::string& command) {
  Outcome run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char chunk[4096];
  while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) {
    run.out.append(chunk, got);
  }
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string inFolder(const fs::path& cwd, const fs::path& state) {
  return "cd '" + cwd.string() + "' && XDG_STATE_HOME='" + state.string() + "' ";
}

Outcome cli(const fs::path& cwd, const fs::path& state, const std::string& args) {
  return shell(inFolder(cwd, state) + "'" TAGKANA_CLI "' " + args + " </dev/null 2>&1");
}

std::string mp3(std::string_view title, std::string_view artist = "hikaru",
                std::string_view album = "natsu") {
  return vbmp3test::mpegFrames(6) + vbmp3test::id3v1(title, artist, album);
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string kana(std::u16string_view romaji) {
  return toUtf8(RtoK(romaji));
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The line of `text` that holds `part`.
std::string lineWith(const std::string& text, const std::string& part) {
  const std::size_t at = text.find(part);
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t begin = text.rfind('\n', at) + 1;
  return text.substr(begin, text.find('\n', at) - begin);
}

class Cli : public ::testing::Test {
 protected:
  test::TempFolder temp;
  fs::path music = temp.path() / "music";
  fs::path state = temp.path() / "state";
};

TEST_F(Cli, PreviewFollowsTheListingAndWritesNothing) {
  writeFile(music / "sakura.mp3", mp3("sakura"));
  writeFile(music / "artist" / "album" / "Yama.MP3", mp3("yama"));
  writeFile(music / ".hidden.mp3", mp3("himitsu"));
  writeFile(music / ".secret" / "inside.mp3", mp3("naka"));
  writeFile(music / "notes.txt", "kawa");
  writeFile(music / "odd\xff.mp3", mp3("tokyo"));
  writeFile(temp.path() / "elsewhere" / "far.mp3", mp3("tooi"));
  fs::create_directory_symlink(temp.path() / "elsewhere", music / "link");
  const std::string before = readFile(music / "sakura.mp3");

  const Outcome flat = cli(temp.path(), state, "preview music");
  EXPECT_EQ(flat.status, 0) << flat.out;
  EXPECT_TRUE(has(flat.out, "sakura → " + kana(u"sakura"))) << flat.out;
  EXPECT_FALSE(has(flat.out, "yama")) << "subfolders only with -r";

  const Outcome deep = cli(temp.path(), state, "preview -r music");
  EXPECT_EQ(deep.status, 0) << deep.out;
  // A folder's files, then each subfolder in turn, all of it before the next.
  writeFile(temp.path() / "tree" / "b.mp3", mp3("b"));
  writeFile(temp.path() / "tree" / "A.mp3", mp3("a"));
  writeFile(temp.path() / "tree" / "X" / "Deep" / "d.mp3", mp3("d"));
  writeFile(temp.path() / "tree" / "X" / "c.mp3", mp3("c"));
  writeFile(temp.path() / "tree" / "y" / "e.mp3", mp3("e"));
  std::istringstream tree(cli(temp.path(), state, "preview -r tree").out);
  std::string order;
  for (std::string line; std::getline(tree, line);) {
    order += line.substr(line.find('\t') + 1, 1);
  }
  EXPECT_EQ(order, "abcde");
  EXPECT_TRUE(has(deep.out, "Yama.MP3\tyama → " + kana(u"yama"))) << deep.out;
  // Undecodable bytes show as U+FFFD, and the file is still read.
  EXPECT_TRUE(has(deep.out, "odd\xEF\xBF\xBD.mp3\ttokyo → " + kana(u"tokyo"))) << deep.out;
  for (const char* left : {"himitsu", "naka", "kawa", "tooi"}) {
    EXPECT_FALSE(has(deep.out, left)) << left << " listed:\n" << deep.out;
  }
  EXPECT_EQ(readFile(music / "sakura.mp3"), before);

  // A file that is no MP3 fails its own line, with the library's reason.
  writeFile(temp.path() / "odd" / "fake.mp3", "no audio here");
  const Outcome fake = cli(temp.path(), state, "preview odd");
  EXPECT_EQ(fake.status, 1) << fake.out;
  EXPECT_TRUE(
      has(fake.out,
          "/fake.mp3　タグ情報を読み取れないため失敗（MPEG オーディオのファイルではありません）"))
      << fake.out;
}

TEST_F(Cli, ConvertWritesReportsAndUndoes) {
  writeFile(music / "sakura.mp3", mp3("sakura"));
  writeFile(music / "sub" / "odd\xfe.mp3", mp3("tokyo"));
  writeFile(music / "locked.mp3", mp3("yama"));
  ::chmod((music / "locked.mp3").c_str(), 0444);
  // A title that converts to itself is left alone.
  ASSERT_EQ(RtoK(u"2024"), u"2024");
  writeFile(music / "same.mp3", mp3("2024"));
  const auto sameTime = fs::last_write_time(music / "same.mp3");

  // Without a terminal and without --yes nothing is written.
  const Outcome asked = cli(temp.path(), state, "convert -r music");
  EXPECT_EQ(asked.status, 2) << asked.out;
  EXPECT_TRUE(has(cli(temp.path(), state, "preview music").out, "sakura → "));

  // On a terminal it asks once, counting the files that would change; no is no.
  const Outcome declined =
      shell(inFolder(temp.path(), state) + "printf 'n\\n' | script -qec \"'" TAGKANA_CLI
                                           "' convert -r music\" /dev/null 2>&1");
  EXPECT_TRUE(has(declined.out, "3 件のファイル")) << declined.out;
  EXPECT_TRUE(has(cli(temp.path(), state, "preview music").out, "sakura → "));

  const Outcome run = cli(temp.path(), state, "convert -r --yes music");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(has(lineWith(run.out, "sakura.mp3"), "　成功")) << run.out;
  EXPECT_TRUE(has(lineWith(run.out, "odd\xEF\xBF\xBD.mp3"), "　成功")) << run.out;
  EXPECT_TRUE(has(lineWith(run.out, "locked.mp3"), "　読みとり専用のため失敗")) << run.out;
  EXPECT_FALSE(has(run.out, "same.mp3")) << run.out;
  EXPECT_EQ(fs::last_write_time(music / "same.mp3"), sameTime);

  const Outcome after = cli(temp.path(), state, "preview -r music");
  EXPECT_TRUE(has(after.out, "\t" + kana(u"sakura") + " → ")) << after.out;
  EXPECT_TRUE(has(after.out, "\t" + kana(u"tokyo") + " → ")) << after.out;
  EXPECT_TRUE(has(after.out, "\tyama → ")) << after.out;

  // The undo file is named, listed and puts the old titles back from anywhere.
  const std::string prefix = "取り消し用のファイル: ";
  const std::string undoLine = lineWith(run.out, prefix);
  ASSERT_FALSE(undoLine.empty()) << run.out;
  const std::string undoFile = undoLine.substr(prefix.size());
  EXPECT_TRUE(has(undoFile, (state / "tagkana").string())) << undoFile;
  EXPECT_TRUE(has(cli(temp.path(), state, "history").out, undoFile));

  const Outcome undone = cli("/", state, "undo '" + undoFile + "'");
  EXPECT_EQ(undone.status, 0) << undone.out;
  const Outcome restored = cli(temp.path(), state, "preview -r music");
  EXPECT_TRUE(has(restored.out, "\tsakura → ")) << restored.out;
  EXPECT_TRUE(has(restored.out, "\ttokyo → ")) << restored.out;

  // Twice is refused: the files no longer hold what the run wrote.
  const Outcome again = cli(temp.path(), state, "undo '" + undoFile + "'");
  EXPECT_EQ(again.status, 1) << again.out;
  EXPECT_TRUE(has(lineWith(again.out, "sakura.mp3"), "元に戻せません")) << again.out;
}

TEST_F(Cli, UndoRefusesFilesChangedOrReplacedSince) {
  writeFile(music / "changed.mp3", mp3("sakura"));
  writeFile(music / "replaced.mp3", mp3("yama"));
  writeFile(music / "kept.mp3", mp3("kawa"));
  writeFile(music / "gone.mp3", mp3("umi"));
  const Outcome run = cli(temp.path(), state, "convert --yes music");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string prefix = "取り消し用のファイル: ";
  const std::string undoFile = lineWith(run.out, prefix).substr(prefix.size());

  // Same file and size, one audio byte changed.
  {
    std::fstream file(music / "changed.mp3", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(fs::file_size(music / "changed.mp3") / 2));
    file.put('\x11');
  }
  // Same bytes, another file put in its place.
  const std::string copy = readFile(music / "replaced.mp3");
  writeFile(music / "replaced.new", copy);
  fs::rename(music / "replaced.new", music / "replaced.mp3");
  fs::remove(music / "gone.mp3");

  // Long undo files are read in pieces: the same entries many times over, and
  // a bad line at the end that makes the whole file refused before anything
  // is put back.
  const std::string text = readFile(undoFile);
  const std::size_t headerEnd = text.find('\n') + 1;
  std::string longer = text.substr(0, headerEnd);
  while (longer.size() < 300000) {
    longer += text.substr(headerEnd);
  }
  writeFile(temp.path() / "long.undo", longer);
  writeFile(temp.path() / "broken.undo", longer + "{\"path\":\n");
  const Outcome broken = cli(temp.path(), state, "undo broken.undo");
  EXPECT_EQ(broken.status, 1) << broken.out;
  EXPECT_TRUE(has(broken.out, "取り消し用のファイルではありません")) << broken.out;
  EXPECT_FALSE(has(broken.out, "成功")) << broken.out;

  const Outcome undone = cli(temp.path(), state, "undo long.undo");
  EXPECT_EQ(undone.status, 1) << undone.out;
  EXPECT_TRUE(has(lineWith(undone.out, "changed.mp3"), "書き換えた後に変更されています"))
      << undone.out;
  EXPECT_TRUE(has(lineWith(undone.out, "replaced.mp3"), "別のファイルに置き換えられています"))
      << undone.out;
  EXPECT_TRUE(has(lineWith(undone.out, "gone.mp3"), "元に戻せません（")) << undone.out;
  EXPECT_TRUE(has(lineWith(undone.out, "kept.mp3"), "　成功")) << undone.out;
  EXPECT_EQ(readFile(music / "replaced.mp3"), copy);
}

TEST_F(Cli, WindowRunsAreUndoneFromTheCommandLine) {
  writeFile(music / "sakura.mp3", mp3("sakura"));
  writeFile(music / "yama.mp3", mp3("yama"));
  Vbmp3Library library;
  library.init();
  const auto windowRun = [&](const fs::path& stateHome) {
    ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    FormState form;
    test::FakePreviewList List1;
    for (const char* name : {"sakura.mp3", "yama.mp3"}) {
      form.FilePaths.push_back(platform::decodePath((music / name).string()));
      List1.rows.push_back(u"row");
    }
    List1.select({0, 1});
    test::ScriptedMessageBoxes boxes{BoxAnswer::Ok, BoxAnswer::Ok};
    TitleWriteBack(form, List1, library, platform::systemFileSystem(), boxes);
    ::unsetenv("XDG_STATE_HOME");
    return toUtf8(form.ResultLog);
  };

  const std::string log = windowRun(state);
  EXPECT_TRUE(has(log, "sakura.mp3　成功")) << log;
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  const std::vector<std::u16string> saved = undoFiles();
  ::unsetenv("XDG_STATE_HOME");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_FALSE(has(log, "取り消し用")) << log;
  EXPECT_TRUE(has(cli(temp.path(), state, "history").out, toUtf8(saved[0])));
  const Outcome undone = cli(temp.path(), state, "undo '" + toUtf8(saved[0]) + "'");
  EXPECT_EQ(undone.status, 0) << undone.out;
  const Outcome restored = cli(temp.path(), state, "preview music");
  EXPECT_TRUE(has(restored.out, "\tsakura → ")) << restored.out;
  EXPECT_TRUE(has(restored.out, "\tyama → ")) << restored.out;

  // With no place for the undo file the files are written all the same, and
  // the log says why there is none.
  writeFile(temp.path() / "blocked", "");
  const std::string unsaved = windowRun(temp.path() / "blocked");
  EXPECT_TRUE(has(unsaved, "sakura.mp3　成功")) << unsaved;
  EXPECT_TRUE(has(unsaved, "yama.mp3　成功")) << unsaved;
  EXPECT_TRUE(has(unsaved, "取り消し用のファイルを保存できませんでした（")) << unsaved;
  EXPECT_TRUE(has(cli(temp.path(), state, "preview music").out, "\t" + kana(u"yama") + " → "));
}

TEST_F(Cli, FieldsAndJson) {
  writeFile(music / "q\"uote\xff.mp3", mp3("sakura", "hikaru", "natsu"));
  // 100 letters read whole, but their hiragana needs 200 bytes.
  const std::string longArtist(100, 'a');
  writeFile(music / "long.mp3", vbmp3test::Id3v2(3)
                                        .frame("TIT2", vbmp3test::latin1Text("sora"))
                                        .frame("TPE1", vbmp3test::latin1Text(longArtist))
                                        .render() +
                                    vbmp3test::mpegFrames(6));
  const Outcome run = cli(temp.path(), state, "convert --yes --json --fields artist,album music");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(
      has(lineWith(run.out, "long.mp3"),
          R"("outcome":"write-failed","reason":"変換後のアーティスト名が長すぎて保存できません")"))
      << run.out;
  const std::string line = lineWith(run.out, "uote");
  EXPECT_TRUE(has(line, R"(q\"uote)"
                        "\xEF\xBF\xBD.mp3\""))
      << line;
  EXPECT_TRUE(has(line, R"("old":{"artist":"hikaru","album":"natsu"})")) << line;
  EXPECT_TRUE(has(
      line, R"("new":{"artist":")" + kana(u"hikaru") + R"(","album":")" + kana(u"natsu") + "\"}"))
      << line;
  EXPECT_TRUE(has(line, R"("outcome":"written","reason":"")")) << line;
  EXPECT_TRUE(has(run.out, "{\"undo\":")) << run.out;

  const Outcome after = cli(temp.path(), state, "preview --fields title,artist,album music");
  EXPECT_TRUE(has(after.out, "\ttitle: sakura → ")) << "the title is not among the fields";
  EXPECT_TRUE(has(after.out, "\tartist: " + kana(u"hikaru") + " → ")) << after.out;
  EXPECT_TRUE(has(after.out, "\talbum: " + kana(u"natsu") + " → ")) << after.out;
}

TEST_F(Cli, ExitCodesAndUsage) {
  writeFile(music / "done.mp3", mp3("2024"));
  for (const char* args :
       {"", "frobnicate music", "preview", "preview --bogus music",
        "convert --fields title,genre music", "undo", "history extra", "preview --yes music",
        "preview --jobs 0 music", "convert --jobs=65 music", "undo --jobs 2 x.undo"}) {
    const Outcome run = cli(temp.path(), state, args);
    EXPECT_EQ(run.status, 2) << args << ":\n" << run.out;
    EXPECT_TRUE(has(run.out, "tagkana-cli convert")) << args << ":\n" << run.out;
  }
  // Nothing to change is success without a question; a missing path is not.
  EXPECT_EQ(cli(temp.path(), state, "convert music").status, 0);
  EXPECT_EQ(cli(temp.path(), state, "preview music missing").status, 1);
  EXPECT_EQ(cli(temp.path(), state, "preview /dev/null").status, 1);
  EXPECT_EQ(cli(temp.path(), state, "undo music/done.mp3").status, 1);
}

TEST_F(Cli, JobsKeepTheListingsOrder) {
  for (int folder = 0; folder < 4; ++folder) {
    for (int i = 0; i < 60; ++i) {
      const std::string title = i % 7 == 0 ? "2024" : "sakura" + std::to_string(i);
      writeFile(music / ("d" + std::to_string(folder)) / ("f" + std::to_string(i) + ".mp3"),
                mp3(title));
    }
  }
  writeFile(music / "d1" / "fake.mp3", "no audio here");
  writeFile(music / "d2" / "locked.mp3", mp3("yama"));
  ::chmod((music / "d2" / "locked.mp3").c_str(), 0444);

  const Outcome one = cli(temp.path(), state, "preview -r music");
  const Outcome four = cli(temp.path(), state, "preview -r --jobs 4 music");
  EXPECT_EQ(one.status, 1) << one.out;
  EXPECT_EQ(four.status, 1);
  EXPECT_EQ(four.out, one.out);
  // Paths that cannot be listed keep their place among the files too.
  const std::string operands = " music/d3 missing music/d0/f1.mp3 /dev/null music/d1";
  const Outcome mixed = cli(temp.path(), state, "preview -r --jobs 3" + operands);
  EXPECT_EQ(mixed.out, cli(temp.path(), state, "preview -r" + operands).out);
  EXPECT_LT(mixed.out.find("missing"), mixed.out.find("/d0/f1.mp3")) << mixed.out;

  // The written files in the listing's order, each once, all in the undo file.
  const Outcome run = cli(temp.path(), state, "convert -r --yes --jobs 3 music");
  EXPECT_EQ(run.status, 1) << run.out;
  std::string expected;
  std::size_t changing = 0;
  std::istringstream listed(one.out);
  for (std::string line; std::getline(listed, line);) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos && line.find("2024 → ") == std::string::npos) {
      const std::string path = line.substr(0, tab);
      expected += path + (has(path, "locked") ? "　読みとり専用のため失敗" : "　成功") + '\n';
      ++changing;
    } else if (tab == std::string::npos) {
      expected += line.substr(0, line.find("　")) + "　タグ情報を読み取れないため失敗" + '\n';
    }
  }
  std::string got;
  std::istringstream written(run.out);
  for (std::string line; std::getline(written, line);) {
    if (has(line, "　")) {
      got += line.substr(0, line.find("（")) + '\n';
    }
  }
  EXPECT_EQ(got, expected);
  const std::string prefix = "取り消し用のファイル: ";
  const std::string undoFile = lineWith(run.out, prefix).substr(prefix.size());
  std::istringstream undo(readFile(undoFile));
  std::size_t undoLines = 0;
  for (std::string line; std::getline(undo, line);) {
    ++undoLines;
  }
  EXPECT_EQ(undoLines, 1 + (changing - 1)) << "a header, and a line for each file written";

  // Without a terminal standard error carries only the real messages; on one,
  // a progress line is drawn and cleared.
  const Outcome quiet = shell(inFolder(temp.path(), state) + "'" TAGKANA_CLI "' undo '" + undoFile +
                              "' 2>&1 >/dev/null");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  const Outcome drawn =
      shell(inFolder(temp.path(), state) + "script -qec \"'" TAGKANA_CLI
                                           "' preview -r --jobs 2 music >/dev/null\" /dev/null");
  EXPECT_TRUE(has(drawn.out, "\r読み取り 1 件")) << drawn.out;
  EXPECT_TRUE(drawn.out.ends_with("\r")) << drawn.out;
}

TEST_F(Cli, TheWritingPassTakesTheFilesAsTheyAreAfterTheQuestion) {
  writeFile(music / "a.mp3", mp3("sakura"));
  writeFile(music / "b.mp3", mp3("yama"));
  writeFile(music / "c.mp3", mp3("kawa"));
  writeFile(music / "d.mp3", mp3("umi"));
  // The question comes after the count and before the first write: files
  // change while it waits.
  const fs::path answer = temp.path() / "answer";
  const fs::path out = temp.path() / "out";
  ASSERT_EQ(::mkfifo(answer.c_str(), 0600), 0);
  FILE* run = ::popen((inFolder(temp.path(), state) +
                       "script -qec \"'" TAGKANA_CLI "' convert music\" /dev/null <'" +
                       answer.string() + "' >'" + out.string() + "' 2>&1")
                          .c_str(),
                      "r");
  ASSERT_NE(run, nullptr);
  std::ofstream reply(answer);
  for (int wait = 0; wait < 3000 && !has(readFile(out), "件のファイル"); ++wait) {
    ::usleep(10000);
  }
  ASSERT_TRUE(has(readFile(out), "4 件のファイル")) << readFile(out);
  fs::remove(music / "b.mp3");
  writeFile(music / "c.mp3", mp3("2024"));
  writeFile(music / "e.mp3", mp3("hana"));
  reply << "y\n";
  reply.close();
  const int status = ::pclose(run);
  const std::string text = readFile(out);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << text;
  EXPECT_TRUE(has(text, "music/a.mp3　成功")) << text;
  EXPECT_TRUE(has(text, "music/d.mp3　成功")) << text;
  EXPECT_TRUE(has(text, "music/e.mp3　成功")) << text;
  EXPECT_FALSE(has(text, "b.mp3")) << text;
  EXPECT_FALSE(has(text, "c.mp3")) << text;
  EXPECT_TRUE(has(cli(temp.path(), state, "preview music").out, "c.mp3\t2024 → 2024"));
}

TEST_F(Cli, MoreFoldersThanOpenFilesAllowed) {
  // Far more folders than descriptors: the run keeps one per file system.
  constexpr int kFolders = 150;
  for (const std::string jobs : {"", "--jobs 2 "}) {
    for (int i = 0; i < kFolders; ++i) {
      writeFile(music / ("album" + std::to_string(i)) / "t.mp3", mp3("sakura"));
    }
    const Outcome run =
        shell(inFolder(temp.path(), state) + "ulimit -n 48 && '" TAGKANA_CLI "' convert -r --yes " +
              jobs + "music </dev/null 2>&1");
    EXPECT_EQ(run.status, 0) << run.out.substr(0, 2000);
    std::istringstream lines(run.out);
    int written = 0;
    for (std::string line; std::getline(lines, line);) {
      written += line.ends_with("/t.mp3　成功") ? 1 : 0;
    }
    EXPECT_EQ(written, kFolders) << jobs;
  }
}

TEST_F(Cli, InterruptStopsBeforeTheNextFile) {
  // More lines than a pipe holds: unread, the program waits on its output
  // until the interrupt has come.
  constexpr int kFiles = 3000;
  const std::string bytes = mp3("sakura");
  for (int i = 0; i < kFiles; ++i) {
    writeFile(music / ("f" + std::to_string(i) + ".mp3"), bytes);
  }
  // Each file is either shown or counted as not attempted, with one job or
  // more, reading or writing.
  for (const std::string how : {"preview ", "preview --jobs 2 ", "convert --yes --jobs 2 "}) {
    const std::string command = "cd '" + temp.path().string() + "' && export XDG_STATE_HOME='" +
                                state.string() + "' && echo $$ && exec '" TAGKANA_CLI "' " + how +
                                "music 2>&1";
    const std::string mark = how.starts_with("preview") ? " → " : "　成功";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[4096];
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
    const pid_t pid = std::stoi(line);
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);  // the first file is under way
    ::kill(pid, SIGINT);
    std::string rest;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
      rest += line;
    }
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << rest;
    const std::string before = "キャンセルのため、選択された ";
    const std::string notDone = lineWith(rest, before);
    ASSERT_FALSE(notDone.empty()) << rest.substr(rest.size() - 300);
    const int count = std::stoi(notDone.substr(notDone.find(before) + before.size()));
    EXPECT_GT(count, 0);
    int shown = 1;  // the line read before the interrupt
    for (std::size_t at = rest.find(mark); at != std::string::npos; at = rest.find(mark, at + 1)) {
      ++shown;
    }
    EXPECT_EQ(shown + count, kFiles) << how;
  }
}

}  // namespace
}  // namespace tagkana
