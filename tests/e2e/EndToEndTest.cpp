// Whole flows through the real window, the real tag library and MP3 files made
// here: nothing is faked but the person answering the message boxes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Mp3Fixture.h"
#include "common/Utf.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "support/FakeMessageBoxes.h"
#include "support/TempFolder.h"
#include "taglib/Vbmp3Library.h"
#include "ui/Form1.h"
#include "ui/ShownProgress.h"

namespace tagkana {
namespace {

namespace fs = std::filesystem;
using tagkana::uitest::progressBox;
using tagkana::uitest::shownFile;
using test::ScriptedMessageBoxes;
using test::ShownBox;
using test::TempFolder;

QString q(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

// An ID3v2.3 title with room to spare, audio, and an ID3v1 tag when asked.
std::string mp3(std::u16string_view title, bool withId3v1 = false) {
  using namespace vbmp3test;
  std::string bytes = Id3v2(3)
                          .frame("TIT2", utf16Text(title))
                          .frame("TPE1", latin1Text("Artist"))
                          .padding(1024)
                          .render() +
                      mpegFrames(8);
  if (withId3v1) {
    bytes += id3v1(toUtf8(title), "Artist");
  }
  return bytes;
}

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool ownerMayWrite(const fs::path& file) {
  return (fs::status(file).permissions() & fs::perms::owner_write) != fs::perms::none;
}

// The title as TagLib reads it, in UTF-8.
std::string taglibTitle(const fs::path& file) {
  TagLib::MPEG::File mpeg(file.c_str(), false);
  return mpeg.isValid() ? mpeg.tag()->title().to8Bit(true) : "<unreadable>";
}

// The title slot as the tag library's own read fills it, in code page 932,
// up to its first NUL. The library is the one the window loaded.
std::string libraryTitle(const fs::path& file) {
  platform::DynamicLibrary library(platform::kVbmp3FileName);
  using Read = std::int32_t (*)(const char*, void*);
  const auto read = reinterpret_cast<Read>(library.symbol("vbmp3_getFileTagInfoEX"));
  std::array<char, 656> record{};
  if (read(file.c_str(), record.data()) == 0) {
    return "<unreadable>";
  }
  return std::string(record.data(), strnlen(record.data(), 128));
}

// The real window with the real binding and file system, kept from ending
// the test program; no progress box, however slow the disk, unless asked.
struct Window {
  explicit Window(std::chrono::milliseconds progressDelay = std::chrono::hours(1)) {
    Form1Hooks hooks;
    hooks.endProgram = [this] { ++ends; };
    hooks.progressDelay = progressDelay;
    form = std::make_unique<Form1>(library, boxes, platform::systemFileSystem(), std::move(hooks));
    form->show();
  }

  QObject* child(const char* name) const {
    QObject* found = form->findChild<QObject*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void browse(std::u16string_view folder) { child("Dir1")->setProperty("Path", q(folder)); }
  void browse(const fs::path& folder) { browse(std::u16string_view(folder.u16string())); }
  // The rows as the list shows them to the user.
  std::vector<QString> shownRows(const char* list) const {
    std::vector<QString> result;
    const auto* widget = qobject_cast<QListWidget*>(child(list));
    for (int i = 0; i < widget->count(); ++i) {
      result.push_back(widget->item(i)->text());
    }
    return result;
  }
  std::vector<QString> entries(const char* list) const {
    std::vector<QString> result;
    const int count = child(list)->property("ListCount").toInt();
    for (int i = 0; i < count; ++i) {
      QString entry;
      QMetaObject::invokeMethod(child(list), "List", Q_RETURN_ARG(QString, entry), Q_ARG(int, i));
      result.push_back(entry);
    }
    return result;
  }
  void select(const char* list, std::vector<int> indices) {
    const int count = child(list)->property("ListCount").toInt();
    for (int i = 0; i < count; ++i) {
      const bool chosen = std::find(indices.begin(), indices.end(), i) != indices.end();
      QMetaObject::invokeMethod(child(list), "setSelected", Q_ARG(int, i), Q_ARG(bool, chosen));
    }
  }
  void click(const char* button) {
    QTest::mouseClick(qobject_cast<QPushButton*>(child(button)), Qt::LeftButton);
  }
  void trigger(const char* item) { qobject_cast<QAction*>(child(item))->trigger(); }
  // The boxes shown since the last call.
  std::vector<ShownBox> newBoxes() {
    std::vector<ShownBox> result(boxes.shown.begin() + static_cast<std::ptrdiff_t>(seen),
                                 boxes.shown.end());
    seen = boxes.shown.size();
    return result;
  }

  Vbmp3Library library;
  ScriptedMessageBoxes boxes;
  std::size_t seen = 0;
  int ends = 0;
  std::unique_ptr<Form1> form;
};

void expectBox(const ShownBox& box, std::u16string_view text, std::u16string_view title,
               BoxButtons buttons) {
  EXPECT_EQ(toUtf8(box.text), toUtf8(text));
  EXPECT_EQ(toUtf8(box.title), toUtf8(title));
  EXPECT_EQ(box.buttons, buttons);
  EXPECT_EQ(box.icon, BoxIcon::None);
}

const std::u16string_view kConfirmWrite = u"タグ情報を書き換えます。本当によろしいですか？";

// Code page 932 bytes of the expected titles.
const std::string kSakuraSjis = "\x82\xB3\x82\xAD\x82\xE7";
const std::string kKakkoSjis = "\x82\xA9\x82\xC1\x82\xB1";
const std::string kKyoutoSjis = "\x82\xAB\x82\xE5\x82\xA4\x82\xC6";

TEST(EndToEnd, PreviewWriteBackRefuseReadOnlyThenUnlockAndWriteIt) {
  TempFolder music;
  TempFolder elsewhere;
  const fs::path a = music.createFile(u"a.mp3", mp3(u"sakura", true));
  const fs::path b = music.createFile(u"b.mp3", mp3(u"Tokyo"));
  const fs::path c = music.createFile(u"c.mp3", mp3(u"kakko"));
  const fs::path kyoto = music.createFile(u"京都.mp3", mp3(u"kyouto"));
  music.createFile(u".hidden.mp3", mp3(u"himitsu"));
  music.createFile(u"notes.txt", "sakura");
  elsewhere.createFile(u"z.mp3", mp3(u"zzz"));
  fs::permissions(c, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string bBefore = contents(b);
  const std::string cBefore = contents(c);

  Window w;
  ASSERT_EQ(w.newBoxes().size(), 0u);
  w.browse(music.path());
  EXPECT_EQ(w.child("File1")->property("Path").toString(), q(music.path().u16string()));
  EXPECT_EQ(w.entries("File1"), (std::vector<QString>{"a.mp3", "b.mp3", "c.mp3", "京都.mp3"}));

  // Files at scattered positions; b is left out.
  w.select("File1", {0, 2, 3});
  w.click("btnGet");
  EXPECT_EQ(w.entries("List1"), (std::vector<QString>{"1. sakura → さくら", "2. kakko → かっこ",
                                                      "3. kyouto → きょうと"}));
  EXPECT_EQ(w.newBoxes().size(), 0u);

  // The rows keep their files when another folder is shown.
  w.browse(elsewhere.path());
  EXPECT_EQ(w.entries("File1"), std::vector<QString>{"z.mp3"});
  w.select("List1", {0, 1, 2});
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  std::vector<ShownBox> shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  expectBox(shown[0], kConfirmWrite, u"確認", BoxButtons::OkCancel);
  expectBox(shown[1],
            u"完了しました\r\n\r\n"
            u"a.mp3　成功\r\n"
            u"c.mp3　読みとり専用のため失敗\r\n"
            u"京都.mp3　成功\r\n",
            u"", BoxButtons::Ok);

  EXPECT_EQ(taglibTitle(a), "さくら");
  EXPECT_EQ(libraryTitle(a), kSakuraSjis);
  EXPECT_EQ(taglibTitle(kyoto), "きょうと");
  EXPECT_EQ(libraryTitle(kyoto), kKyoutoSjis);
  // The ID3v1 tag beside the ID3v2 one is kept and carries the new title.
  const std::string aAfter = contents(a);
  EXPECT_EQ(aAfter.substr(aAfter.size() - 128, 3 + kSakuraSjis.size() + 1),
            "TAG" + kSakuraSjis + std::string(1, '\0'));
  EXPECT_EQ(contents(b), bBefore);
  EXPECT_EQ(contents(c), cBefore);
  EXPECT_FALSE(ownerMayWrite(c));
  EXPECT_EQ(taglibTitle(c), "kakko");

  // "読み取り禁止の解除" on c alone, then the same rows again with only c's row.
  w.browse(music.path());
  w.select("File1", {2});
  w.boxes.answers = {BoxAnswer::Ok};
  w.trigger("menUnReadonly");
  shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 1u);
  expectBox(shown[0],
            u"選択ファイルの属性を書き換えます。\r\n"
            u"読み取り専用属性・隠しファイル属性は解除され、\r\n"
            u"アーカイブ属性のみになります。\r\n"
            u"本当によろしいですか？",
            u"確認", BoxButtons::OkCancel);
  EXPECT_TRUE(ownerMayWrite(c));
  EXPECT_EQ(contents(c), cBefore);
  EXPECT_EQ(w.entries("File1"), (std::vector<QString>{"a.mp3", "b.mp3", "c.mp3", "京都.mp3"}));

  const std::string aBefore = contents(a);
  w.select("List1", {1});
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  expectBox(shown[0], kConfirmWrite, u"確認", BoxButtons::OkCancel);
  expectBox(shown[1],
            u"完了しました\r\n\r\n"
            u"a.mp3　成功\r\n"
            u"c.mp3　読みとり専用のため失敗\r\n"
            u"京都.mp3　成功\r\n"
            u"c.mp3　成功\r\n",
            u"", BoxButtons::Ok);
  EXPECT_EQ(taglibTitle(c), "かっこ");
  EXPECT_EQ(libraryTitle(c), kKakkoSjis);
  EXPECT_EQ(contents(a), aBefore);

  // A new preview of every file shows what is on disk now.
  w.select("File1", {0, 1, 2, 3});
  w.click("btnGet");
  EXPECT_EQ(w.entries("List1"),
            (std::vector<QString>{"1. さくら → さくら", "2. Tokyo → ときょ", "3. かっこ → かっこ",
                                  "4. きょうと → きょうと"}));
  EXPECT_EQ(w.newBoxes().size(), 0u);
  EXPECT_EQ(w.ends, 0);
}

TEST(EndToEnd, UnreadableFilesStopTheRunAndSaySo) {
  TempFolder music;
  const fs::path a = music.createFile(u"a.mp3", mp3(u"sakura"));
  const fs::path b = music.createFile(u"b.mp3", "sakura, but no MPEG audio at all");
  const fs::path c = music.createFile(u"c.mp3", mp3(u"kakko"));
  const std::string bPath = toUtf8(music.pathOf(u"b.mp3"));
  Window w;
  w.browse(music.path());

  // The preview keeps the rows before the unreadable file and names it.
  w.select("File1", {0, 1, 2});
  w.click("btnGet");
  EXPECT_EQ(w.entries("List1"), std::vector<QString>{"1. sakura → さくら"});
  std::vector<ShownBox> shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(
      toUtf8(shown[0].text),
      "タグ情報を読み取れませんでした。（MPEG オーディオのファイルではありません）\r\n" + bPath);
  EXPECT_EQ(toUtf8(shown[0].title), "");
  EXPECT_EQ(shown[0].buttons, BoxButtons::Ok);

  // A file spoilt between preview and write-back ends the write-back there.
  music.createFile(u"b.mp3", mp3(u"Tokyo"));
  w.click("btnGet");
  ASSERT_EQ(w.entries("List1").size(), 3u);
  music.createFile(u"b.mp3", "spoilt");
  const std::string cBefore = contents(c);
  w.newBoxes();
  w.select("List1", {0, 1, 2});
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  expectBox(shown[1],
            u"中断しました\r\n\r\n"
            u"a.mp3　成功\r\n"
            u"b.mp3　タグ情報を読み取れないため中断（MPEG オーディオのファイルではありません）\r\n"
            u"中断のため、選択された 1 件は処理していません\r\n",
            u"", BoxButtons::Ok);
  EXPECT_EQ(taglibTitle(a), "さくら");
  EXPECT_EQ(contents(b), "spoilt");
  EXPECT_EQ(contents(c), cBefore);

  // A file removed after the folder was listed: the system's own reason.
  fs::remove(c);
  w.select("File1", {2});
  w.click("btnGet");
  shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, u"タグ情報を読み取れませんでした。（" +
                               platform::systemErrorText(ENOENT) + u"）\r\n" +
                               music.pathOf(u"c.mp3"));
}

// A title the record cannot carry whole is never written back cut or with
// "?": the file stays as it was, its row says why, and the run goes on.
TEST(EndToEnd, TitlesTheRecordCannotCarryStayAsTheyAre) {
  TempFolder music;
  const fs::path a = music.createFile(u"a.mp3", mp3(u"sakura"));
  // 65 "あ" are 130 bytes of code page 932, two more than the record holds.
  const fs::path b = music.createFile(u"b.mp3", mp3(std::u16string(65, u'a')));
  const fs::path c = music.createFile(u"c.mp3", mp3(u"hoshi \U0001F31F"));
  const fs::path d = music.createFile(u"d.mp3", mp3(u"kakko"));
  const std::string bBefore = contents(b);
  const std::string cBefore = contents(c);
  Window w;
  w.browse(music.path());
  w.select("File1", {0, 1, 2, 3});
  w.click("btnGet");
  ASSERT_EQ(w.entries("List1").size(), 4u);
  w.newBoxes();

  w.select("List1", {0, 1, 2, 3});
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  const std::vector<ShownBox> shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  expectBox(shown[1],
            u"完了しました\r\n\r\n"
            u"a.mp3　成功\r\n"
            u"b.mp3　書き込みエラーのため失敗（変換後のタイトルが長すぎて保存できません）\r\n"
            u"c.mp3　書き込みエラーのため失敗（タイトルに保存できない文字が含まれています）\r\n"
            u"d.mp3　成功\r\n",
            u"", BoxButtons::Ok);
  EXPECT_EQ(contents(b), bBefore);
  EXPECT_EQ(contents(c), cBefore);
  EXPECT_EQ(taglibTitle(c), "hoshi \xF0\x9F\x8C\x9F");
  EXPECT_EQ(taglibTitle(a), "さくら");
  EXPECT_EQ(taglibTitle(d), "かっこ");
}

// Names no widget can show as they are: listed, previewed, written and
// reported as the very files, shown with visible stand-ins.
TEST(EndToEnd, OddNamesReachTheirOwnFiles) {
  TempFolder music;
  const std::u16string longName = std::u16string(80, u'\u3042') + u".mp3";  // 244 bytes
  const fs::path latin1 = music.path() / std::string("caf\xE9.mp3");        // not UTF-8
  const fs::path newline = music.path() / "line\nbreak.mp3";
  const fs::path markup = music.path() / "<i>&amp;.mp3";
  const fs::path longFile = music.path() / fs::path(longName);
  const fs::path bom = music.path() / fs::path(u"\uFEFFbom.mp3");  // not a byte order mark
  for (const fs::path& file : {latin1, newline, markup, longFile, bom}) {
    std::ofstream(file, std::ios::binary) << mp3(u"sakura");
  }
  const fs::path folder = music.path() / std::string("d\xE9mo");
  fs::create_directory(folder);
  std::ofstream(folder / std::string("\xE9t\xE9.mp3"), std::ios::binary) << mp3(u"kakko");

  Window w;
  w.browse(music.path());
  EXPECT_EQ(w.shownRows("File1"),
            (std::vector<QString>{q(u"<i>&amp;.mp3"), q(u"caf\uFFFD.mp3"),
                                  q(u"line\u23CEbreak.mp3"), q(longName), q(u"\uFEFFbom.mp3")}));
  EXPECT_EQ(w.entries("File1")[1], q(u"caf\xDCE9.mp3"));
  EXPECT_EQ(w.shownRows("Dir1").back().trimmed(), q(u"d\uFFFDmo"));

  w.select("File1", {0, 1, 2, 3, 4});
  w.click("btnGet");
  EXPECT_EQ(w.entries("List1").size(), 5u);
  EXPECT_EQ(w.newBoxes().size(), 0u);
  w.select("List1", {0, 1, 2, 3, 4});
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  std::vector<ShownBox> shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  expectBox(shown[1],
            u"完了しました\r\n\r\n"
            u"<i>&amp;.mp3　成功\r\n"
            u"caf\uFFFD.mp3　成功\r\n"
            u"line\u23CEbreak.mp3　成功\r\n" +
                longName + u"　成功\r\n\uFEFFbom.mp3　成功\r\n",
            u"", BoxButtons::Ok);
  for (const fs::path& file : {latin1, newline, markup, longFile, bom}) {
    EXPECT_EQ(taglibTitle(file), "さくら") << file;
  }

  // A folder whose name is not UTF-8 opens, and its file is read.
  w.browse(std::u16string_view(music.path().u16string() + u"/d\xDCE9mo"));
  EXPECT_EQ(w.shownRows("File1"), std::vector<QString>{q(u"\uFFFDt\uFFFD.mp3")});
  w.select("File1", {0});
  w.click("btnGet");
  EXPECT_EQ(w.entries("List1"), std::vector<QString>{"1. kakko → かっこ"});
  EXPECT_EQ(w.newBoxes().size(), 0u);
}

// Another program: a child process holding the file's lock as the tag library
// takes it (flock, exclusive) until let go.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& file) {
    const char* name = file.c_str();
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) {
      return;
    }
    m_child = ::fork();
    if (m_child == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
      // Never waits: a lock still held elsewhere fails the test instead.
      char byte = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
      if (::write(ready[1], &byte, 1) == 1) {
        (void)::read(release[0], &byte, 1);  // until the parent closes its end
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char byte = 'n';
    m_held = m_child > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 'y';
    ::close(ready[0]);
    m_release = release[1];
  }
  ~LockHolder() { letGo(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool held() const { return m_held; }
  // Returns once the child and its lock are gone.
  void letGo() {
    if (m_release >= 0) {
      ::close(m_release);
      m_release = -1;
    }
    if (m_child > 0) {
      ::waitpid(m_child, nullptr, 0);
      m_child = -1;
    }
  }

 private:
  pid_t m_child = -1;
  int m_release = -1;
  bool m_held = false;
};

// While another program holds a file, the write-back waits with the window
// alive: the progress box names the file and events keep coming; the file is
// written once it is let go, and キャンセル or closing the window ends the wait.
TEST(EndToEnd, AFileAnotherProgramHoldsIsWaitedForWithTheWindowAlive) {
  TempFolder music;
  const fs::path a = music.createFile(u"a.mp3", mp3(u"sakura"));
  const fs::path b = music.createFile(u"b.mp3", mp3(u"kakko"));
  const fs::path c = music.createFile(u"c.mp3", mp3(u"kyouto"));
  Window w(std::chrono::milliseconds(0));
  w.browse(music.path());
  w.select("File1", {0, 1, 2});
  w.click("btnGet");
  ASSERT_EQ(w.entries("List1").size(), 3u);
  w.select("List1", {0, 1, 2});
  w.newBoxes();

  // Let go once three timer events came while the box showed b.
  auto holder = std::make_unique<LockHolder>(b);
  ASSERT_TRUE(holder->held());
  int ticksOnB = 0;
  QTimer timer;
  timer.setInterval(20);
  const QMetaObject::Connection letGo = QObject::connect(&timer, &QTimer::timeout, [&] {
    if (shownFile().endsWith(QStringLiteral("b.mp3")) && ++ticksOnB == 3) {
      holder->letGo();
    }
  });
  timer.start();
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  timer.stop();
  EXPECT_GE(ticksOnB, 3);
  std::vector<ShownBox> shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(toUtf8(shown[1].text),
            toUtf8(u"完了しました\r\n\r\na.mp3　成功\r\nb.mp3　成功\r\nc.mp3　成功\r\n"));
  EXPECT_EQ(taglibTitle(b), "かっこ");

  // Held again, and キャンセル while the box shows it: b and c are left alone.
  holder = std::make_unique<LockHolder>(b);
  ASSERT_TRUE(holder->held());
  const std::string bBefore = contents(b);
  const std::string cBefore = contents(c);
  bool cancelled = false;
  QObject::disconnect(letGo);
  const QMetaObject::Connection cancel = QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!cancelled && shownFile().endsWith(QStringLiteral("b.mp3"))) {
      cancelled = true;
      QTest::mouseClick(progressBox()->findChild<QPushButton*>(QStringLiteral("btnCancel")),
                        Qt::LeftButton);
    }
  });
  timer.start();
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  timer.stop();
  EXPECT_TRUE(cancelled);
  shown = w.newBoxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(toUtf8(shown[1].text),
            toUtf8(u"完了しました\r\n\r\na.mp3　成功\r\nb.mp3　成功\r\nc.mp3　成功\r\n"
                   u"a.mp3　成功\r\nキャンセルのため、選択された 2 件は処理していません\r\n"));
  EXPECT_EQ(contents(b), bBefore);
  EXPECT_EQ(contents(c), cBefore);

  // Closing the window while it waits ends the wait, and then the program.
  holder.reset();
  holder = std::make_unique<LockHolder>(b);
  ASSERT_TRUE(holder->held());
  bool closed = false;
  QObject::disconnect(cancel);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!closed && shownFile().endsWith(QStringLiteral("b.mp3"))) {
      closed = true;
      w.form->windowHandle()->close();
    }
  });
  timer.start();
  w.boxes.answers = {BoxAnswer::Ok};
  w.click("btnChange");
  timer.stop();
  EXPECT_TRUE(closed);
  EXPECT_EQ(w.ends, 1);
  EXPECT_EQ(contents(b), bBefore);
}

}  // namespace
}  // namespace tagkana
