#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/Listing.h"
#include "platform/PathEncoding.h"
#include "platform/Paths.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace tagkana::platform {
namespace {

using Kind = FolderEntry::Kind;
using Names = std::vector<std::u16string>;

TEST(Listing, RowsFollowTheListRules) {
  const std::vector<FolderEntry> entries{
      {u"b.mp3", Kind::File, false},
      {u"A.MP3", Kind::File, false},
      {u"a.mp3", Kind::File, false},
      {u"c.Mp3", Kind::File, false},
      {u".h.mp3", Kind::File, true},
      {u"notes.txt", Kind::File, false},
      {u"x.mp3.txt", Kind::File, false},
      {u"folder.mp3", Kind::Folder, false},
      {u"fifo.mp3", Kind::Other, false},
      {u"Sub", Kind::Folder, false},
      {u"apple", Kind::Folder, false},
      {u".git", Kind::Folder, true},
      {u"\u00C9t\u00E9.mp3", Kind::File, false},
      {u"\u00E9t\u00E9.mp3", Kind::File, false},
      {u"\uFF22.mp3", Kind::File, false},
      {u"\uFF41.mp3", Kind::File, false},
  };
  // Case folds for Latin letters only; equal but for case, a fixed order.
  EXPECT_EQ(fileRows(entries, u"*.mp3"),
            (Names{u"A.MP3", u"a.mp3", u"b.mp3", u"c.Mp3", u"\u00C9t\u00E9.mp3",
                   u"\u00E9t\u00E9.mp3", u"\uFF41.mp3", u"\uFF22.mp3"}));
  EXPECT_EQ(fileRows(entries, u" *.TXT ; ?.mp3"),
            (Names{u"A.MP3", u"a.mp3", u"b.mp3", u"c.Mp3", u"notes.txt", u"x.mp3.txt",
                   u"\uFF41.mp3", u"\uFF22.mp3"}));
  EXPECT_EQ(fileRows(entries, u"").size(), 10u);  // no pattern: every visible file
  EXPECT_EQ(folderRows(entries), (Names{u"apple", u"folder.mp3", u"Sub"}));

  EXPECT_TRUE(matchesPattern(u"song.mp3", u"*.mp3"));
  EXPECT_TRUE(matchesPattern(u"a.b.mp3", u"*.*"));
  EXPECT_TRUE(matchesPattern(u"abcabd", u"*ab?"));
  EXPECT_FALSE(matchesPattern(u"song.mp3x", u"*.mp3"));
  EXPECT_FALSE(matchesPattern(u"ab", u"a?b"));
  EXPECT_TRUE(matchesPattern(u"", u"*"));
  EXPECT_FALSE(matchesPattern(u"", u"?"));
}

TEST(Paths, FoldersAreCleanAbsoluteAndSplitOnce) {
#ifdef _WIN32
  EXPECT_EQ(absoluteFolder(u"C:\\Music", u"..\\Video/./x\\"), u"C:\\Video\\x");
  EXPECT_EQ(absoluteFolder(u"C:\\Music", u"D:/a/../.."), u"D:\\");
  EXPECT_EQ(absoluteFolder(u"C:\\", u"\\\\srv\\share\\a"), u"\\\\srv\\share\\a");
  EXPECT_EQ(folderChain(u"C:\\Music\\J"), (Names{u"C:\\", u"C:\\Music", u"C:\\Music\\J"}));
  EXPECT_EQ(joinPath(u"C:\\", u"a.mp3"), u"C:\\a.mp3");
  EXPECT_EQ(namePart(u"C:\\m/a.mp3"), u"a.mp3");
#else
  EXPECT_EQ(absoluteFolder(u"/home/ann", u"../bob/./music//"), u"/home/bob/music");
  EXPECT_EQ(absoluteFolder(u"/home/ann", u"/a/../../.."), u"/");
  EXPECT_EQ(absoluteFolder(u"/home/ann", u""), u"/home/ann");
  EXPECT_EQ(absoluteFolder(u"/", u"caf\xDCE9"), u"/caf\xDCE9");
  EXPECT_EQ(folderChain(u"/"), Names{u"/"});
  EXPECT_EQ(folderChain(u"/home/ann"), (Names{u"/", u"/home", u"/home/ann"}));
  EXPECT_EQ(joinPath(u"/", u"a.mp3"), u"/a.mp3");
  EXPECT_EQ(joinPath(u"/m", u"a.mp3"), u"/m/a.mp3");
  EXPECT_EQ(namePart(u"/m/a.mp3"), u"a.mp3");
  EXPECT_EQ(namePart(u"/m/"), u"");
#endif
  EXPECT_EQ(namePart(u"a.mp3"), u"a.mp3");
}

void createRaw(const std::filesystem::path& file) {
  std::ofstream out(file, std::ios::binary);
  ASSERT_TRUE(out) << file;
}

void hide(const std::filesystem::path& file) {
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
  (void)file;  // a dot name is hidden already
#endif
}

// Real folders, with names no widget can show as they are: the rows are the
// OS's names, and the path made from a row reaches the very file.
TEST(Listing, RealFolderGivesEveryNameAsItIs) {
  test::TempFolder folder;
  const std::filesystem::path& dir = folder.path();
  const std::u16string longName = std::u16string(80, u'\u3042') + u".mp3";
  for (const std::u16string name :
       {u"b.mp3", u"A.MP3", u"&amp;.mp3", u"notes.txt", u".hidden.mp3", longName.c_str()}) {
    createRaw(dir / std::filesystem::path(name));
  }
  hide(dir / ".hidden.mp3");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / "folder.mp3");
  std::filesystem::create_directory(dir / ".git");
  hide(dir / ".git");
  Names expected{u"&amp;.mp3", u"A.MP3", u"b.mp3"};
#ifndef _WIN32
  // Markup, not UTF-8, a line break, a link to a file and a dangling link.
  createRaw(dir / "<b>.mp3");
  createRaw(dir / std::string("caf\xE9.mp3"));
  createRaw(dir / "line\nbreak.mp3");
  std::filesystem::create_symlink(dir / "b.mp3", dir / "link.mp3");
  std::filesystem::create_symlink(dir / "gone", dir / "dangling.mp3");
  expected = {u"&amp;.mp3",     u"<b>.mp3",         u"A.MP3",   u"b.mp3",
              u"caf\xDCE9.mp3", u"line\nbreak.mp3", u"link.mp3"};
#endif
  expected.push_back(longName);
  const std::u16string path = dir.u16string();
  const Names files = listFiles(path, u"*.mp3");
  EXPECT_EQ(files, expected);
  EXPECT_EQ(listFolders(path), (Names{u"folder.mp3", u"sub"}));

  for (const std::u16string& name : files) {
    const std::string encoded = encodePath(joinPath(path, name));
#ifndef _WIN32
    struct stat st {};
    EXPECT_EQ(::stat(encoded.c_str(), &st), 0) << toUtf8(name);
#endif
    EXPECT_EQ(visibleName(name).find_first_of(u"\n\r\xDCE9"), std::u16string::npos);
  }
#ifndef _WIN32
  EXPECT_EQ(encodePath(joinPath(path, u"caf\xDCE9.mp3")), dir.native() + "/caf\xE9.mp3");
  EXPECT_EQ(visibleName(u"caf\xDCE9.mp3"), u"caf\uFFFD.mp3");
  EXPECT_EQ(visibleName(u"line\nbreak.mp3"), u"line\u23CEbreak.mp3");
#endif
}

TEST(Listing, UnreadableFolderSaysWhyAndWhich) {
  test::TempFolder folder;
  const std::u16string missing = folder.pathOf(u"missing");
  const std::u16string file = folder.createFile(u"plain.mp3").u16string();
  for (const std::u16string& path : {missing, file, std::u16string()}) {
    try {
      listFiles(path, u"*.mp3");
      ADD_FAILURE() << toUtf8(path);
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.description(), u"フォルダを読み取れませんでした。");
      EXPECT_EQ(error.file(), path);
      EXPECT_FALSE(error.reason().empty());
#ifndef _WIN32
      const int expected = path == file ? ENOTDIR : ENOENT;
      EXPECT_EQ(toUtf8(error.reason()), std::strerror(expected));
#endif
    }
  }
}

}  // namespace
}  // namespace tagkana::platform
