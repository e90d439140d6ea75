// The binding, the write-back and the attribute reset against the real file
// system and a VBMP3.dll found by its bare name, as on the user's machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "commands/AttributeReset.h"
#include "commands/FormState.h"
#include "commands/TitleWriteBack.h"
#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/FileSystem.h"
#include "support/FakeLists.h"
#include "support/FakeMessageBoxes.h"
#include "support/TempFolder.h"
#include "taglib/Vbmp3Library.h"

namespace tagkana {
namespace {

using test::FakeFileList;
using test::FakePreviewList;
using test::ScriptedMessageBoxes;
using test::TempFolder;

// Puts the folder of the test VBMP3.dll on the library search path for the
// length of a test.
class LibraryFolder {
 public:
  LibraryFolder() {
    std::array<wchar_t, MAX_PATH> program{};
    GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    const auto folder = std::filesystem::path(program.data()).parent_path() / "fakelib";
    EXPECT_TRUE(SetDllDirectoryW(folder.c_str()));
  }
  ~LibraryFolder() { SetDllDirectoryW(nullptr); }
  LibraryFolder(const LibraryFolder&) = delete;
  LibraryFolder& operator=(const LibraryFolder&) = delete;
};

// A record whose title and artist slots hold NUL-terminated text.
std::string record(std::string_view title, std::string_view artist = "Artist") {
  std::string bytes(656, '\0');
  bytes.replace(0, title.size(), title);
  bytes.replace(128, artist.size(), artist);
  bytes[520] = 7;  // genre number
  return bytes;
}

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The title slot after a write: the kana in code page 932, then spaces.
std::string writtenTitle(std::string_view kana) {
  return std::string(kana) + std::string(128 - kana.size(), ' ');
}

TEST(Vbmp3Win32, MissingLibraryNamesVbmp3Dll) {
  ASSERT_EQ(GetModuleHandleW(L"VBMP3.dll"), nullptr) << "an earlier test left it loaded";
  SetDllDirectoryW(L"");  // not even the current folder
  Vbmp3Library library;
  try {
    library.init();
    ADD_FAILURE() << "a missing library was loaded";
  } catch (const RuntimeError& e) {
    EXPECT_NE(e.description().find(u"VBMP3.dll"), std::u16string::npos);
  }
  SetDllDirectoryW(nullptr);
}

TEST(Vbmp3Win32, WriteBackRefusesReadOnlyFilesAndWritesTheOthers) {
  ASSERT_EQ(GetACP(), 932u) << "run with the Japanese ANSI code page (LC_ALL=ja_JP.UTF-8)";
  LibraryFolder libraryFolder;
  TempFolder folder;
  const auto normal = folder.createFile(u"さくら.mp3", record("sakura"));
  const auto readOnly = folder.createFile(u"hana.mp3", record("hana"));
  const auto hidden = folder.createFile(u"kaze.mp3", record("kaze", ""));
  ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));

  FormState state;
  state.FilePaths = {folder.pathOf(u"さくら.mp3"), folder.pathOf(u"hana.mp3"),
                     folder.pathOf(u"kaze.mp3")};
  FakePreviewList List1;
  List1.rows = {u"1.", u"2.", u"3."};
  List1.select({0, 1, 2});
  ScriptedMessageBoxes boxes{BoxAnswer::Ok};
  {
    Vbmp3Library library;
    library.init();
    TitleWriteBack(state, List1, library, platform::systemFileSystem(), boxes);
    library.free();
  }

  std::string expected = record("sakura");
  expected.replace(0, 128, writtenTitle("\x82\xB3\x82\xAD\x82\xE7"));  // さくら
  EXPECT_EQ(contents(normal), expected);
  EXPECT_EQ(contents(readOnly), record("hana"));
  expected = record("kaze", "");
  expected.replace(0, 128, writtenTitle("\x82\xA9\x82\xBA"));  // かぜ
  EXPECT_EQ(contents(hidden), expected);
  // The hidden file is written; the name lookup does not find it, so its line
  // names it from its path.
  EXPECT_EQ(state.ResultLog,
            u"さくら.mp3　成功\r\n"
            u"hana.mp3　読みとり専用のため失敗\r\n"
            u"kaze.mp3　成功\r\n");
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, u"完了しました\r\n\r\n" + state.ResultLog);

  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// In a drive's root folder the path has two backslashes after the drive; both
// the attribute reset and the write-back use it as it is.
TEST(Vbmp3Win32, RootFolderPathWithTwoBackslashesWorks) {
  LibraryFolder libraryFolder;
  const std::u16string root = std::filesystem::temp_directory_path().root_path().u16string();
  ASSERT_EQ(root.size(), 3u);  // "C:\"
  const std::u16string name =
      u"tagkana-root-" + fromUtf8(std::to_string(GetCurrentProcessId())) + u".mp3";
  const std::filesystem::path file = std::filesystem::path(root) / name;
  {
    std::ofstream out(file, std::ios::binary);
    out << record("umi");
  }
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  FormState state;
  FakeFileList File1(root, {name});
  File1.select({0});
  ScriptedMessageBoxes resetBoxes{BoxAnswer::Ok};
  AttributeReset(state, File1, platform::systemFileSystem(), resetBoxes);
  EXPECT_EQ(state.CurPath, root + u"\\" + name);
  EXPECT_EQ(GetFileAttributesW(file.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});

  state.FilePaths = {state.CurPath};
  FakePreviewList List1;
  List1.rows = {u"1."};
  List1.select({0});
  ScriptedMessageBoxes writeBoxes{BoxAnswer::Ok};
  {
    Vbmp3Library library;
    library.init();
    TitleWriteBack(state, List1, library, platform::systemFileSystem(), writeBoxes);
  }
  EXPECT_EQ(state.ResultLog, name + u"　成功\r\n");
  EXPECT_EQ(contents(file).substr(0, 128), writtenTitle("\x82\xA4\x82\xDD"));  // うみ

  std::filesystem::remove(file);
}

// Another program's handle on a file, sharing as asked, until closed.
class OtherHandle {
 public:
  OtherHandle(const std::filesystem::path& file, DWORD share)
      : m_handle(CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OtherHandle() { close(); }
  OtherHandle(const OtherHandle&) = delete;
  OtherHandle& operator=(const OtherHandle&) = delete;
  bool open() const { return m_handle != INVALID_HANDLE_VALUE; }
  void close() {
    if (open()) {
      CloseHandle(m_handle);
      m_handle = INVALID_HANDLE_VALUE;
    }
  }

 private:
  HANDLE m_handle;
};

// A window's progress: counts the reports on `path` and acts at the one
// numbered `at` (from 1): lets the handle go, or stops the run.
struct ActingProgress : Progress {
  std::u16string path;
  int at = 0;
  OtherHandle* handle = nullptr;
  int reportsOnPath = 0;
  bool next(int, int, std::u16string_view asked) override {
    if (asked != path || ++reportsOnPath != at) {
      return true;
    }
    if (handle != nullptr) {
      handle->close();
      return true;
    }
    return false;
  }
};

// A handle that shares nothing keeps the tag library out: the write-back
// waits for it with the window asked along the way, and writes the file once
// it is closed; キャンセル ends the wait. A reader sharing reading only keeps
// out a write, never a read.
TEST(Vbmp3Win32, WriteBackWaitsForAFileAnotherProgramHolds) {
  LibraryFolder libraryFolder;
  TempFolder folder;
  const auto a = folder.createFile(u"a.mp3", record("sakura"));
  const auto b = folder.createFile(u"b.mp3", record("kakko"));
  platform::FileSystem& files = platform::systemFileSystem();
  {
    OtherHandle reader(b, FILE_SHARE_READ);
    ASSERT_TRUE(reader.open());
    EXPECT_FALSE(files.busy(folder.pathOf(u"b.mp3"), false));
    EXPECT_TRUE(files.busy(folder.pathOf(u"b.mp3"), true));
  }
  EXPECT_FALSE(files.busy(folder.pathOf(u"b.mp3"), true));
  EXPECT_FALSE(files.busy(folder.pathOf(u"none.mp3"), true));

  const auto run = [&](ActingProgress& progress) {
    FormState state;
    state.FilePaths = {folder.pathOf(u"a.mp3"), folder.pathOf(u"b.mp3")};
    FakePreviewList List1;
    List1.rows = {u"1.", u"2."};
    List1.select({0, 1});
    ScriptedMessageBoxes boxes{BoxAnswer::Ok};
    Vbmp3Library library;
    library.init();
    TitleWriteBack(state, List1, library, files, boxes, progress);
    library.free();
    return state.ResultLog;
  };

  OtherHandle stopper(b, 0);
  ASSERT_TRUE(stopper.open());
  ASSERT_TRUE(files.busy(folder.pathOf(u"b.mp3"), false));
  ActingProgress cancel;
  cancel.path = folder.pathOf(u"b.mp3");
  cancel.at = 4;
  EXPECT_EQ(run(cancel), u"a.mp3　成功\r\nキャンセルのため、選択された 1 件は処理していません\r\n");
  EXPECT_EQ(cancel.reportsOnPath, 4);
  stopper.close();
  EXPECT_EQ(contents(b), record("kakko"));

  OtherHandle holder(b, 0);
  ASSERT_TRUE(holder.open());
  ActingProgress letGo;
  letGo.path = folder.pathOf(u"b.mp3");
  letGo.at = 3;
  letGo.handle = &holder;
  EXPECT_EQ(run(letGo), u"a.mp3　成功\r\nb.mp3　成功\r\n");
  std::string expected = record("kakko");
  expected.replace(0, 128, writtenTitle("\x82\xA9\x82\xC1\x82\xB1"));  // かっこ
  EXPECT_EQ(contents(b), expected);
  EXPECT_EQ(contents(a).substr(0, 6), "\x82\xB3\x82\xAD\x82\xE7");  // さくら
}

}  // namespace
}  // namespace tagkana
