#ifndef _WIN32

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/FileSystem.h"
#include "support/TempFolder.h"

namespace tagkana::test {
namespace {

using platform::systemFileSystem;

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : m_previous(::umask(mask)) {}
  ~ScopedUmask() { ::umask(m_previous); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t m_previous;
};

std::u16string fileWithMode(const TempFolder& folder, std::u16string_view name, mode_t mode) {
  const auto path = folder.createFile(name);
  EXPECT_EQ(::chmod(path.c_str(), mode), 0);
  return folder.pathOf(name);
}

mode_t modeOf(const TempFolder& folder, std::u16string_view name) {
  struct stat st {};
  EXPECT_EQ(::stat((folder.path() / std::filesystem::path(std::u16string(name))).c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(FileSystemPosix, AttributesComeFromModeAndName) {
  TempFolder folder;
  auto& files = systemFileSystem();
  EXPECT_EQ(files.attributes(fileWithMode(folder, u"w.mp3", 0644)), 32u);
  EXPECT_EQ(files.attributes(fileWithMode(folder, u"r.mp3", 0444)), 33u);
  // Only the owner's write permission counts.
  EXPECT_EQ(files.attributes(fileWithMode(folder, u"g.mp3", 0466)), 33u);
  EXPECT_EQ(files.attributes(fileWithMode(folder, u"u.mp3", 0200)), 32u);
  EXPECT_EQ(files.attributes(fileWithMode(folder, u".h.mp3", 0644)), 34u);
  EXPECT_EQ(files.attributes(fileWithMode(folder, u".hr.mp3", 0444)), 35u);
  EXPECT_EQ(files.attributes(fileWithMode(folder, u"さくら.mp3", 0444)), 33u);
  // A doubled separator names the same file.
  EXPECT_EQ(files.attributes(folder.path().u16string() + u"//r.mp3"), 33u);
  // A folder is not archived.
  std::filesystem::create_directory(folder.path() / "sub");
  EXPECT_EQ(files.attributes(folder.pathOf(u"sub")) & 32u, 0u);

  const std::u16string missing = folder.pathOf(u"missing.mp3");
  try {
    files.attributes(missing);
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), u"ファイルが見つかりません。");
    EXPECT_EQ(e.file(), missing);
    EXPECT_EQ(toUtf8(e.reason()), std::strerror(ENOENT));
  }
  // A step of the path that is a file: the system's reason says so.
  const std::u16string underFile = folder.pathOf(u"w.mp3/x.mp3");
  try {
    files.attributes(underFile);
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(toUtf8(e.reason()), std::strerror(ENOTDIR));
  }
  // A name that is not UTF-8 is looked up by its own bytes.
  const std::filesystem::path raw = folder.path() / std::string("caf\xE9.mp3");
  std::ofstream(raw).put('x');
  EXPECT_EQ(files.attributes(folder.pathOf(u"caf\xDCE9.mp3")), 32u);
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"caf\xDCE9.mp3")), u"caf\xDCE9.mp3");
}

TEST(FileSystemPosix, ArchiveOnlyAddsWritePermissionWithinTheUmask) {
  TempFolder folder;
  auto& files = systemFileSystem();
  {
    ScopedUmask mask(022);
    files.setArchiveOnly(fileWithMode(folder, u"a.mp3", 0444));
    EXPECT_EQ(modeOf(folder, u"a.mp3"), 0644u);
    EXPECT_EQ(files.attributes(folder.pathOf(u"a.mp3")), 32u);
    // Nobody gets to write what they cannot read.
    files.setArchiveOnly(fileWithMode(folder, u"b.mp3", 0400));
    EXPECT_EQ(modeOf(folder, u"b.mp3"), 0600u);
    // Never takes a permission away.
    files.setArchiveOnly(fileWithMode(folder, u"c.mp3", 0777));
    EXPECT_EQ(modeOf(folder, u"c.mp3"), 0777u);
    files.setArchiveOnly(fileWithMode(folder, u"d.mp3", 0644));
    EXPECT_EQ(modeOf(folder, u"d.mp3"), 0644u);
  }
  {
    ScopedUmask mask(002);
    files.setArchiveOnly(fileWithMode(folder, u"e.mp3", 0444));
    EXPECT_EQ(modeOf(folder, u"e.mp3"), 0664u);
    files.setArchiveOnly(fileWithMode(folder, u"f.mp3", 0440));
    EXPECT_EQ(modeOf(folder, u"f.mp3"), 0660u);
  }
  {
    ScopedUmask mask(077);
    files.setArchiveOnly(fileWithMode(folder, u"g.mp3", 0444));
    EXPECT_EQ(modeOf(folder, u"g.mp3"), 0644u);
  }
  // A hidden file keeps its name, so it stays hidden.
  files.setArchiveOnly(fileWithMode(folder, u".h.mp3", 0444));
  EXPECT_EQ(files.attributes(folder.pathOf(u".h.mp3")), 34u);

  EXPECT_THROW(files.setArchiveOnly(folder.pathOf(u"missing.mp3")), RuntimeError);
}

TEST(FileSystemPosix, NormalFileNameIsTheNameOfAVisibleRegularFile) {
  TempFolder folder;
  auto& files = systemFileSystem();
  EXPECT_EQ(files.normalFileName(fileWithMode(folder, u"a.mp3", 0444)), u"a.mp3");
  EXPECT_EQ(files.normalFileName(fileWithMode(folder, u"さくら.mp3", 0644)), u"さくら.mp3");
  EXPECT_EQ(files.normalFileName(folder.path().u16string() + u"//a.mp3"), u"a.mp3");
  EXPECT_EQ(files.normalFileName(fileWithMode(folder, u".h.mp3", 0644)), u"");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"missing.mp3")), u"");
  std::filesystem::create_directory(folder.path() / "sub");
  EXPECT_EQ(files.normalFileName(folder.pathOf(u"sub")), u"");
}

// Where the tag library leaves the run's syncs to the program, each watched
// folder's file system is synced through the descriptor kept since before
// the run's first write there; an error fails every file of the batch on
// that file system and no other, and a folder that cannot be watched says why.
dev_t failingDevice = 0;
int syncFailingOnOneDevice(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_dev == failingDevice) {
    errno = EIO;
    return -1;
  }
  return ::syncfs(fd);
}

// Another open of the file stands for another program: flock locks belong to
// an open, not to a process.
TEST(FileSystemPosix, BusyWhileAnotherOpenHoldsTheLockAWriteOrReadWouldTake) {
  TempFolder folder;
  const std::u16string file = folder.createFile(u"a.mp3", "x").u16string();
  platform::FileSystem& files = systemFileSystem();
  const int other = ::open(toUtf8(file).c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_SH), 0);
  EXPECT_FALSE(files.busy(file, false));
  EXPECT_TRUE(files.busy(file, true));
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_TRUE(files.busy(file, false));
  ::close(other);
  EXPECT_FALSE(files.busy(file, true));
  EXPECT_FALSE(files.busy(file, false));  // asking left no lock behind

  // Neither a FIFO nor a missing file is busy, and asking never blocks.
  ASSERT_EQ(::mkfifo(toUtf8(folder.pathOf(u"fifo.mp3")).c_str(), 0600), 0);
  EXPECT_FALSE(files.busy(folder.pathOf(u"fifo.mp3"), true));
  EXPECT_FALSE(files.busy(folder.pathOf(u"gone.mp3"), true));
}

int syncs = 0;
int countingSync(int fd) {
  ++syncs;
  return ::syncfs(fd);
}

TEST(FileSystemPosix, MakeDurableSyncsTheWatchedFoldersOrSaysWhyNot) {
  TempFolder folder;
  auto& files = systemFileSystem();
  const std::u16string a = fileWithMode(folder, u"a.mp3", 0644);
  EXPECT_EQ(files.watchFolder(a), u"");
  EXPECT_EQ(files.makeDurable({a}), std::vector<std::u16string>{u""});
  files.endRun();
#if defined(__linux__)
  EXPECT_NE(files.watchFolder(folder.pathOf(u"missing") + u"/a.mp3"), u"");
  // A folder never watched cannot be vouched for.
  EXPECT_NE(files.makeDurable({a}), std::vector<std::u16string>{u""});

  std::filesystem::create_directory(folder.path() / "one");
  std::filesystem::create_directory(folder.path() / "two");
  const std::u16string one = folder.pathOf(u"one/a.mp3");
  const std::u16string two = folder.pathOf(u"two/b.mp3");
  struct stat st {};
  ASSERT_EQ(::stat(folder.path().c_str(), &st), 0);
  struct stat shm {};
  const bool otherDevice =
      ::stat("/dev/shm", &shm) == 0 && shm.st_dev != st.st_dev && ::access("/dev/shm", W_OK) == 0;
  const std::u16string elsewhere = u"/dev/shm/c.mp3";
  failingDevice = st.st_dev;
  const auto injected = platform::makeFileSystemSyncingWith(syncFailingOnOneDevice);
  for (const auto& path : {one, two}) {
    EXPECT_EQ(injected->watchFolder(path), u"");
  }
  std::vector<std::u16string> batch{one, two};
  if (otherDevice) {
    EXPECT_EQ(injected->watchFolder(elsewhere), u"");
    batch.push_back(elsewhere);
  } else {
    std::printf("no second file system at /dev/shm: only the failing one is checked\n");
  }
  const auto reasons = injected->makeDurable(batch);
  ASSERT_EQ(reasons.size(), batch.size());
  EXPECT_NE(reasons[0], u"");
  EXPECT_EQ(reasons[1], reasons[0]);  // the same file system, the same batch
  if (otherDevice) {
    EXPECT_EQ(reasons[2], u"");
  }
  injected->endRun();

  // One sync and one open descriptor per file system, however many of its
  // folders are watched.
  const auto openDescriptors = [] {
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(begin(entries), end(entries));
  };
  const auto before = openDescriptors();
  const auto counted = platform::makeFileSystemSyncingWith(countingSync);
  for (const auto& path : {one, two, a}) {
    EXPECT_EQ(counted->watchFolder(path), u"");
  }
  EXPECT_EQ(openDescriptors(), before + 1);
  EXPECT_EQ(counted->makeDurable({one, two, a}), std::vector<std::u16string>(3));
  EXPECT_EQ(syncs, 1);
  counted->endRun();
  EXPECT_EQ(openDescriptors(), before);
#endif
}

}  // namespace
}  // namespace tagkana::test

#endif
