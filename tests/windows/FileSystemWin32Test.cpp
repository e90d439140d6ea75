#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/RuntimeError.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "support/TempFolder.h"

namespace tagkana::platform {
namespace {

using test::TempFolder;

std::wstring wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

void setRaw(const std::u16string& path, DWORD attributes) {
  ASSERT_TRUE(SetFileAttributesW(wide(path).c_str(), attributes)) << GetLastError();
}

DWORD raw(const std::u16string& path) {
  return GetFileAttributesW(wide(path).c_str());
}

void expectFailureNaming(const std::u16string& path, void (*call)(const std::u16string&)) {
  try {
    call(path);
    ADD_FAILURE() << "no RuntimeError";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), u"ファイルが見つかりません。");
    EXPECT_EQ(e.file(), path);
    // The system's own words follow: a missing file, or a missing folder on the way.
    EXPECT_TRUE(e.reason() == platform::systemErrorText(ERROR_FILE_NOT_FOUND) ||
                e.reason() == platform::systemErrorText(ERROR_PATH_NOT_FOUND));
  }
}

TEST(FileSystemWin32, ReadsTheAttributesAsWindowsReportsThem) {
  TempFolder folder;
  folder.createFile(u"a.mp3");
  const std::u16string path = folder.pathOf(u"a.mp3");
  FileSystem& files = systemFileSystem();

  EXPECT_EQ(files.attributes(path), 32u);  // a new file has the archive attribute
  setRaw(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(files.attributes(path), 33u);
  setRaw(path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(files.attributes(path), 34u);
  setRaw(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(files.attributes(path) & 7u, 7u);
  // Read-only alone: Wine keeps reporting archive with it, Windows does not;
  // either way read-only reads as 1 and nothing is made up.
  setRaw(path, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(files.attributes(path) & ~32u, 1u);
  EXPECT_EQ(files.attributes(path), raw(path));
  setRaw(path, FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(files.attributes(path) & ~32u, 2u);
  setRaw(path, FILE_ATTRIBUTE_NORMAL);

  expectFailureNaming(folder.pathOf(u"gone.mp3"),
                      [](const std::u16string& p) { systemFileSystem().attributes(p); });
  expectFailureNaming(folder.pathOf(u"no folder\\a.mp3"),
                      [](const std::u16string& p) { systemFileSystem().attributes(p); });
}

TEST(FileSystemWin32, ArchiveOnlyClearsReadOnlyHiddenAndSystem) {
  TempFolder folder;
  FileSystem& files = systemFileSystem();
  const DWORD cases[] = {
      FILE_ATTRIBUTE_READONLY,
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
      FILE_ATTRIBUTE_ARCHIVE,  // set again, no harm
      FILE_ATTRIBUTE_NORMAL,
  };
  char16_t name = u'a';
  for (const DWORD before : cases) {
    const std::u16string fileName = std::u16string(1, name++) + u".mp3";
    folder.createFile(fileName, "x");
    const std::u16string path = folder.pathOf(fileName);
    setRaw(path, before);
    files.setArchiveOnly(path);
    EXPECT_EQ(raw(path), DWORD{FILE_ATTRIBUTE_ARCHIVE}) << before;
  }

  expectFailureNaming(folder.pathOf(u"gone.mp3"),
                      [](const std::u16string& p) { systemFileSystem().setArchiveOnly(p); });
}

TEST(FileSystemWin32, NameLookupFindsOnlyNormalFiles) {
  TempFolder folder;
  FileSystem& files = systemFileSystem();
  for (const auto* name : {u"a.mp3", u"さくら.mp3", u"ro.mp3", u"hidden.mp3", u"system.mp3"}) {
    folder.createFile(name);
  }
  std::filesystem::create_directory(folder.path() / "folder.mp3");
  setRaw(folder.pathOf(u"ro.mp3"), FILE_ATTRIBUTE_READONLY);
  setRaw(folder.pathOf(u"hidden.mp3"), FILE_ATTRIBUTE_HIDDEN);
  setRaw(folder.pathOf(u"system.mp3"), FILE_ATTRIBUTE_SYSTEM);

  EXPECT_EQ(files.normalFileName(folder.pathOf(u"a.mp3")), u"a.mp3");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"さくら.mp3")), u"さくら.mp3");
  // The name as the file system holds it, whatever the case asked for.
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"A.MP3")), u"a.mp3");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"ro.mp3")), u"ro.mp3");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"hidden.mp3")), u"");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"system.mp3")), u"");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"folder.mp3")), u"");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"gone.mp3")), u"");
  // Wildcards would match a.mp3; a path names one file or none.
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"*.mp3")), u"");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"?.mp3")), u"");

  setRaw(folder.pathOf(u"ro.mp3"), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace tagkana::platform
