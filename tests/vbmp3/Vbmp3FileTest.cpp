// The write path's file handling, driven through its system-call seam: the
// fallbacks a file system without a feature takes, failures at every step
// and their reasons, files replaced under it, writers killed at every call,
// hostile names beside the file and the properties a replacement keeps.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "FileLayer.h"
#include "Mp3Fixture.h"
#include "Sys.h"
#include "TagFile.h"
#include "Vbmp3TestSupport.h"
#include "vbmp3.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#if defined(__linux__)
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#endif

namespace vbmp3test {
namespace {

namespace sys = vbmp3::sys;

const std::string kNewTitle = [] {
  std::string t;
  for (int i = 0; i < 40; ++i) {
    t += "\x82\xA0";
  }
  return t;
}();

bool read(const std::string& path, Record& r) {
  return vbmp3::readTag(path.c_str(), r.data());
}

bool write(const std::string& path, const std::string& title = kNewTitle) {
  Record r{};
  if (!read(path, r)) {
    return false;
  }
  assignSlot(r, kTitle, title);
  return vbmp3::writeTag(path.c_str(), r.data(), 0, true);
}

// A title with a picture after it and no padding: a new title moves
// everything and the file grows.
std::string pictureFile(std::size_t padding = 0) {
  return Id3v2(3)
             .frame("TIT2", latin1Text("old"))
             .frame("APIC", std::string("\0image/png\0\x03\0", 13) + std::string(300'000, '\x55'))
             .padding(padding)
             .render() +
         mpegFrames(300);
}

// The folders the tests run in: the usual temporary folder, and tmpfs when
// there is one (no inode flags, other extended attributes).
std::vector<std::string> bases() {
  std::vector<std::string> out{""};
  struct statfs fs {};
  if (::statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC &&
      ::access("/dev/shm", W_OK) == 0) {
    out.push_back("/dev/shm");
  } else {
    std::printf("no tmpfs at /dev/shm: its cases are not run\n");
  }
  return out;
}

// Per-test state the hooks read; the calls are plain function pointers.
struct Hooks {
  int calls = 0;
  int failAt = -1;
  int error = 0;
  std::function<void()> action;
} hooks;

class Vbmp3Files : public ::testing::Test {
 protected:
  void SetUp() override { hooks = Hooks{}; }
  void TearDown() override { sys::calls() = sys::systemCalls(); }
};

// Fails the `failAt`-th call of a hooked function with `error`.
bool failing() {
  if (hooks.calls++ == hooks.failAt) {
    errno = hooks.error;
    return true;
  }
  return false;
}

TEST_F(Vbmp3Files, FallbacksWhereTheSystemLacksAFeature) {
  const std::map<std::string, std::function<void(sys::Calls&)>> lacking{
      {"no unnamed files",
       [](sys::Calls& c) {
         c.openat = [](int dir, const char* path, int flags, mode_t mode) {
#if defined(O_TMPFILE)
           if ((flags & O_TMPFILE) == O_TMPFILE) {
             errno = EOPNOTSUPP;
             return -1;
           }
#endif
           return sys::systemCalls().openat(dir, path, flags, mode);
         };
       }},
      {"no way to name an unnamed file",
       [](sys::Calls& c) {
         c.linkUnnamed = [](int, int, const char*) {
           errno = ENOENT;
           return -1;
         };
       }},
      {"no kernel copy", [](sys::Calls& c) { c.copyFileRange = nullptr; }},
      {"kernel copy across devices",
       [](sys::Calls& c) {
         c.copyFileRange = [](int, off_t*, int, off_t*, std::size_t) -> ssize_t {
           errno = EXDEV;
           return -1;
         };
       }},
      {"short and interrupted transfers",
       [](sys::Calls& c) {
         c.pread = [](int fd, void* b, std::size_t n, off_t at) -> ssize_t {
           if (hooks.calls++ % 3 == 0) {
             errno = EINTR;
             return -1;
           }
           return ::pread(fd, b, std::min<std::size_t>(n, 4093), at);
         };
         c.pwrite = [](int fd, const void* b, std::size_t n, off_t at) -> ssize_t {
           if (hooks.calls++ % 3 == 0) {
             errno = EINTR;
             return -1;
           }
           return ::pwrite(fd, b, std::min<std::size_t>(n, 4091), at);
         };
         c.copyFileRange = [](int in, off_t* inAt, int out, off_t* outAt, std::size_t n) {
           return sys::systemCalls().copyFileRange(in, inAt, out, outAt,
                                                   std::min<std::size_t>(n, 1000));
         };
       }},
      {"no extended attributes",
       [](sys::Calls& c) {
         c.flistxattr = [](int, char*, std::size_t) -> ssize_t {
           errno = ENOTSUP;
           return -1;
         };
       }},
      {"no locks (some network file systems)",
       [](sys::Calls& c) {
         c.flock = [](int, int) {
           errno = ENOLCK;
           return -1;
         };
       }},
      {"no holes to find",
       [](sys::Calls& c) {
         c.lseek = [](int, off_t, int) -> off_t {
           errno = EINVAL;
           return -1;
         };
       }},
  };
  for (const auto& base : bases()) {
    TempDir dir(base);
    const std::string reference = dir.file("reference.mp3");
    writeFile(reference, pictureFile());
    ASSERT_TRUE(write(reference));
    const std::string expected = readFile(reference);
    std::filesystem::remove(reference);

    for (const auto& [name, lack] : lacking) {
      SCOPED_TRACE(name + " in " + (base.empty() ? "the temporary folder" : base));
      hooks = Hooks{};
      const std::string path = dir.file("song.mp3");
      writeFile(path, pictureFile());
      lack(sys::calls());
      EXPECT_TRUE(write(path));
      sys::calls() = sys::systemCalls();
      EXPECT_TRUE(readFile(path) == expected);
      EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});
    }
  }
}

// The syncs a write makes, on regular files and on folders.
struct Syncs {
  int files = 0;
  int folders = 0;
  bool operator==(const Syncs&) const = default;
} syncs;

int countedSync(int fd, int (*sync)(int)) {
  struct stat st {};
  ::fstat(fd, &st);
  ++(S_ISDIR(st.st_mode) ? syncs.folders : syncs.files);
  return sync(fd);
}

// A caller that makes the file system durable once for its run (the
// program) spares each write the syncs that only make it durable; those that
// order it stay.
TEST_F(Vbmp3Files, ACallerThatSyncsTheRunGetsOnlyTheSyncsThatOrderAWrite) {
  const std::string audio = mpegFrames(300);
  const std::string tag = Id3v2(3).frame("TIT2", latin1Text("old")).padding(500).render();
  struct Case {
    std::string name;
    std::string file;
    Syncs each;
    Syncs run;
  };
  const std::vector<Case> cases{
      {"within one page", tag + audio, {1, 0}, {0, 0}},
      {"within one page in each of two tags", tag + audio + id3v1("old"), {1, 0}, {0, 0}},
      // The new file before its rename, the folder after it.
      {"into a new file", pictureFile(), {1, 1}, {1, 0}},
  };
  TempDir dir;
  const std::string path = dir.file("song.mp3");
  for (const auto& c : cases) {
    for (const bool run : {false, true}) {
      SCOPED_TRACE(c.name + (run ? ", the run synced by the caller" : ", each write synced"));
      writeFile(path, c.file);
      vbmp3::setCallerSyncs(run);
      syncs = Syncs{};
      sys::calls().fsync = [](int fd) { return countedSync(fd, ::fsync); };
      sys::calls().fdatasync = [](int fd) { return countedSync(fd, ::fdatasync); };
      EXPECT_TRUE(write(path));
      sys::calls() = sys::systemCalls();
      vbmp3::setCallerSyncs(false);
      EXPECT_EQ(syncs, run ? c.run : c.each);
      Record r{};
      ASSERT_TRUE(read(path, r));
      EXPECT_EQ(slot(r, kTitle), kNewTitle);
      EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});
    }
  }
}

TEST_F(Vbmp3Files, AFailureAnywhereLeavesTheFileAndNothingElse) {
  using Set = std::function<void(sys::Calls&)>;
  const auto failingSync = [](sys::Calls& c) {
    c.fsync = [](int fd) { return failing() ? -1 : ::fsync(fd); };
    c.fdatasync = [](int fd) { return failing() ? -1 : ::fdatasync(fd); };
  };
  struct Case {
    Set set;
    int failAt;
    int error;
  };
  const std::map<std::string, Case> failures{
      {"the new file's sync", {failingSync, 0, EIO}},
      {"a full disk",
       {[](sys::Calls& c) {
          c.pwrite = [](int fd, const void* b, std::size_t n, off_t at) -> ssize_t {
            return failing() ? -1 : ::pwrite(fd, b, n, at);
          };
        },
        0, ENOSPC}},
      {"bytes that land otherwise than written",
       {[](sys::Calls& c) {
          c.pwrite = [](int fd, const void* b, std::size_t n, off_t at) -> ssize_t {
            std::string bytes(static_cast<const char*>(b), n);
            if (failing() && !bytes.empty()) {
              bytes.back() ^= 1;  // the tag's last byte, far past its first pieces
            }
            return ::pwrite(fd, bytes.data(), n, at);
          };
        },
        0, EBADMSG}},
      {"the rename",
       {[](sys::Calls& c) {
          c.renameat = [](int a, const char* f, int b, const char* t) {
            return failing() ? -1 : ::renameat(a, f, b, t);
          };
        },
        0, EXDEV}},
      {"an attribute the new file refuses",
       {[](sys::Calls& c) {
          c.fsetxattr = [](int, const char*, const void*, std::size_t) {
            errno = EPERM;
            return -1;
          };
        },
        0, EPERM}},
  };
  TempDir dir;
  for (const auto& [name, failure] : failures) {
    SCOPED_TRACE(name);
    hooks = Hooks{};
    hooks.failAt = failure.failAt;
    hooks.error = failure.error;
    const std::string path = dir.file("song.mp3");
    writeFile(path, pictureFile());
    ASSERT_EQ(::setxattr(path.c_str(), "user.kept", "1", 1, 0), 0);
    const std::string before = readFile(path);
    failure.set(sys::calls());
    EXPECT_FALSE(write(path));
    // The first cause, whatever the clean-up after it did.
    EXPECT_EQ(errno, failure.error);
    sys::calls() = sys::systemCalls();
    EXPECT_TRUE(readFile(path) == before);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});
  }

  // Only the folder's sync after the rename fails: the file holds the new
  // title, and says so.
  {
    const std::string path = dir.file("song.mp3");
    writeFile(path, pictureFile());
    hooks = Hooks{};
    hooks.failAt = 1;
    hooks.error = EIO;
    failingSync(sys::calls());
    EXPECT_FALSE(write(path));
    EXPECT_EQ(errno, VBMP3_NOT_DURABLE);
    sys::calls() = sys::systemCalls();
    Record r{};
    ASSERT_TRUE(read(path, r));
    EXPECT_EQ(slot(r, kTitle), kNewTitle);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});
  }

  // A title written in place within one page whose sync fails is put back.
  const std::string path = dir.file("song.mp3");
  writeFile(path,
            Id3v2(3).frame("TIT2", latin1Text("old")).padding(500).render() + mpegFrames(300));
  const std::string before = readFile(path);
  hooks = Hooks{};
  hooks.failAt = 0;
  hooks.error = EIO;
  failingSync(sys::calls());
  EXPECT_FALSE(write(path, "short"));
  EXPECT_EQ(errno, EIO);
  sys::calls() = sys::systemCalls();
  EXPECT_TRUE(readFile(path) == before);

  // Refusals say why, and change nothing.
  TempDir other;
  const std::string song = other.file("song.mp3");
  const std::string link = other.file("link.mp3");
  writeFile(song, pictureFile());
  ASSERT_EQ(::link(song.c_str(), link.c_str()), 0);
  const std::string linked = readFile(song);
  EXPECT_FALSE(write(link));
  EXPECT_EQ(errno, EMLINK);  // a new file would split the names
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::chmod(song.c_str(), 0444), 0);
  EXPECT_FALSE(write(song));
  EXPECT_EQ(errno, EACCES);  // read-only, even to root
  EXPECT_TRUE(readFile(song) == linked);
  ASSERT_EQ(::chmod(song.c_str(), 0644), 0);
  writeFile(song, std::string(5000, 'x'));
  Record r{};
  EXPECT_FALSE(read(song, r));
  EXPECT_EQ(errno, ENOEXEC);
  EXPECT_FALSE(vbmp3::writeTag(song.c_str(), r.data(), 0, true));
  EXPECT_EQ(errno, ENOEXEC);

  // A read-only file system, where one can be mounted.
  TempDir mountPoint;
  if (::mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=4m") != 0) {
    std::printf("cannot mount a file system here: the read-only one is not checked\n");
    return;
  }
  const std::string onIt = mountPoint.file("song.mp3");
  writeFile(onIt, pictureFile());
  const std::string mounted = readFile(onIt);
  ASSERT_EQ(::mount(nullptr, mountPoint.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
            0);
  EXPECT_FALSE(write(onIt));
  EXPECT_EQ(errno, EROFS);
  EXPECT_TRUE(read(onIt, r));
  EXPECT_TRUE(readFile(onIt) == mounted);
  ASSERT_EQ(::umount(mountPoint.path().c_str()), 0);
}

TEST_F(Vbmp3Files, AFileReplacedOrRemovedMeanwhileIsLeftAlone) {
  TempDir dir;
  const std::string path = dir.file("song.mp3");
  const std::string other = dir.file("other.mp3");
  for (const bool remove : {false, true}) {
    SCOPED_TRACE(remove ? "removed" : "replaced");
    writeFile(path, pictureFile());
    writeFile(other, "another program's file");
    hooks = Hooks{};
    hooks.action = [&] {
      if (remove) {
        ::unlink(path.c_str());
      } else {
        ::rename(other.c_str(), path.c_str());
      }
    };
    // Between the new file's sync and the rename.
    sys::calls().fsync = [](int fd) {
      if (hooks.calls++ == 0) {
        hooks.action();
      }
      return ::fsync(fd);
    };
    EXPECT_FALSE(write(path));
    sys::calls() = sys::systemCalls();
    if (remove) {
      EXPECT_EQ(dir.names(), std::vector<std::string>{"other.mp3"});
    } else {
      EXPECT_EQ(readFile(path), "another program's file");
      EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});
    }
    std::filesystem::remove(path);
  }
}

// The mutating calls of a write, counted in a child that dies just before
// the chosen one, or half-way through it when it moves bytes.
struct Kill {
  int count = 0;
  int at = -1;
  bool halfway = false;
  // The file itself, whose one-page writes a kill cannot cut: they reach the
  // page cache whole or not at all.
  ino_t file = 0;
} killer;
constexpr int kKilled = 99;

bool killHere() {
  return killer.count++ == killer.at;
}

void killAtEveryCall(sys::Calls& c) {
  c.openat = [](int dir, const char* path, int flags, mode_t mode) {
#if defined(O_TMPFILE)
    const bool creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
#else
    const bool creates = (flags & O_CREAT) != 0;
#endif
    if (creates && killHere()) {
      ::_exit(kKilled);
    }
    return sys::systemCalls().openat(dir, path, flags, mode);
  };
  c.pwrite = [](int fd, const void* b, std::size_t n, off_t at) -> ssize_t {
    if (killHere()) {
      struct stat st {};
      if (killer.halfway && ::fstat(fd, &st) == 0 && st.st_ino != killer.file) {
        ::pwrite(fd, b, n / 2, at);
      }
      ::_exit(kKilled);
    }
    return ::pwrite(fd, b, n, at);
  };
  c.copyFileRange = [](int in, off_t* inAt, int out, off_t* outAt, std::size_t n) {
    if (killHere()) {
      if (killer.halfway) {
        sys::systemCalls().copyFileRange(in, inAt, out, outAt, n / 2);
      }
      ::_exit(kKilled);
    }
    return sys::systemCalls().copyFileRange(in, inAt, out, outAt, n);
  };
  c.ftruncate = [](int fd, off_t n) {
    return killHere() ? ::_exit(kKilled), -1 : ::ftruncate(fd, n);
  };
  c.fsync = [](int fd) { return killHere() ? ::_exit(kKilled), -1 : ::fsync(fd); };
  c.fdatasync = [](int fd) { return killHere() ? ::_exit(kKilled), -1 : ::fdatasync(fd); };
  c.fchown = [](int fd, uid_t u, gid_t g) {
    return killHere() ? ::_exit(kKilled), -1 : ::fchown(fd, u, g);
  };
  c.fchmod = [](int fd, mode_t m) { return killHere() ? ::_exit(kKilled), -1 : ::fchmod(fd, m); };
  c.renameat = [](int a, const char* f, int b, const char* t) {
    return killHere() ? ::_exit(kKilled), -1 : ::renameat(a, f, b, t);
  };
  c.unlinkat = [](int d, const char* n, int f) {
    return killHere() ? ::_exit(kKilled), -1 : ::unlinkat(d, n, f);
  };
  if (c.linkUnnamed) {
    c.linkUnnamed = [](int fd, int d, const char* n) {
      return killHere() ? ::_exit(kKilled), -1 : sys::systemCalls().linkUnnamed(fd, d, n);
    };
  }
  c.fsetxattr = [](int fd, const char* n, const void* v, std::size_t size) {
    return killHere() ? ::_exit(kKilled), -1 : sys::systemCalls().fsetxattr(fd, n, v, size);
  };
  c.setFlags = [](int fd, unsigned f) {
    return killHere() ? ::_exit(kKilled), -1 : sys::systemCalls().setFlags(fd, f);
  };
}

// The ID3v2 title TagLib reads, and whether it finds audio.
std::string tagLibTitle(const std::string& path) {
  TagLib::MPEG::File file(path.c_str(), false);
  if (!file.isValid() || file.firstFrameOffset() < 0 || !file.hasID3v2Tag()) {
    return "(unreadable)";
  }
  return file.ID3v2Tag()->title().to8Bit(true);
}

// mutagen's ID3v2 title of each file, one line each.
std::vector<std::string> mutagenTitles(const std::vector<std::string>& paths) {
  std::string command =
      "/usr/bin/python3 -c 'import sys\nfrom mutagen.mp3 import MP3\nfor p in sys.argv[1:]:\n"
      "  a = MP3(p)\n  t = a.tags.get(\"TIT2\") if a.tags else None\n"
      "  print(t.text[0] if t and a.info.length > 0 else \"(unreadable)\")\n'";
  for (const auto& p : paths) {
    command += " '" + p + "'";
  }
  std::vector<std::string> out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return out;
  }
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    out.emplace_back(line, std::strcspn(line, "\n"));
  }
  if (::pclose(pipe) != 0) {
    out.clear();
  }
  return out;
}

bool haveMutagen() {
  return std::system("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") == 0;
}

// A writer killed before each mutating call it makes, and half-way through
// each transfer, for every kind of write and in both durability modes: every
// program reads the old or the new file (for a change in two tags, each tag
// old or new) through every name, and the next write leaves nothing behind.
TEST_F(Vbmp3Files, AWriterKilledAtAnyCallLeavesTheOldOrTheNewFile) {
  const std::string small = Id3v2(3).frame("TIT2", latin1Text("old")).padding(500).render();
  std::string newTitleUtf8;
  for (int i = 0; i < 40; ++i) {
    newTitleUtf8 += "\xE3\x81\x82";
  }
  struct Case {
    std::string name;
    std::string file;
    bool secondName;
    bool noUnnamedFiles;
    bool inPlace;
  };
  const std::vector<Case> cases{
      {"one page in place", small + mpegFrames(300), false, false, true},
      {"two tags in place", small + mpegFrames(300) + id3v1("old"), false, false, true},
      {"a new file", pictureFile() + id3v1("old"), false, false, false},
      {"a new file, named from the start", pictureFile() + id3v1("old"), false, true, false},
      {"two names, in place", small + mpegFrames(300) + id3v1("old"), true, false, true},
  };
  const bool mutagen = haveMutagen();
  if (!mutagen) {
    std::printf("python3-mutagen is missing: only TagLib and the library read the files\n");
  }
  TempDir kept;
  std::vector<std::string> keptFiles;
  for (const Case& c : cases) {
    for (const bool run : {false, true}) {
      SCOPED_TRACE(c.name + (run ? ", the run synced by the caller" : ", each write synced"));
      TempDir dir;
      const std::string path = dir.file("song.mp3");
      const std::string link = dir.file("link.mp3");
      const auto reset = [&] {
        std::filesystem::remove(link);
        writeFile(path, c.file);
        if (c.secondName) {
          ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
        }
      };
      const std::vector<std::string> names = c.secondName
                                                 ? std::vector<std::string>{"link.mp3", "song.mp3"}
                                                 : std::vector<std::string>{"song.mp3"};
      const auto lackUnnamed = [&](sys::Calls& calls) {
        if (c.noUnnamedFiles) {
          calls.linkUnnamed = nullptr;
        }
      };
      reset();
      lackUnnamed(sys::calls());
      ASSERT_TRUE(write(path));
      sys::calls() = sys::systemCalls();
      const std::string written = readFile(path);
      const std::string old = c.file;
      // Between the two writes of a change in two tags: ID3v2 new, ID3v1 old.
      const std::string between =
          written.size() == old.size() && written.size() > 128
              ? written.substr(0, written.size() - 128) + old.substr(old.size() - 128)
              : old;

      int sawOld = 0;
      int sawNew = 0;
      for (int point = 0;; ++point) {
        ASSERT_LT(point, 400) << "the write never completed";
        reset();
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        const int code = inChild([&] {
          vbmp3::setCallerSyncs(run);
          lackUnnamed(sys::calls());
          killAtEveryCall(sys::calls());
          killer.count = 0;
          killer.at = point / 2;
          killer.halfway = point % 2 == 1;
          killer.file = before.st_ino;
          return write(path) ? 0 : 1;
        });
        ASSERT_TRUE(code == 0 || code == kKilled) << "point " << point << " exit " << code;
        const std::string now = readFile(path);
        ASSERT_TRUE(now == old || now == written || (c.inPlace && now == between))
            << "point " << point;
        sawOld += now == old;
        sawNew += now == written;
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace || now == old);
        for (const auto& name : names) {
          const std::string through = dir.file(name);
          EXPECT_TRUE(readFile(through) == now) << name << " at point " << point;
          Record r{};
          ASSERT_TRUE(read(through, r)) << name << " at point " << point;
          EXPECT_TRUE(slot(r, kTitle) == "old" || slot(r, kTitle) == kNewTitle);
          const std::string title = tagLibTitle(through);
          EXPECT_TRUE(title == "old" || title == newTitleUtf8) << title << " at point " << point;
        }
        if (mutagen) {
          keptFiles.push_back(kept.file(std::to_string(keptFiles.size()) + ".mp3"));
          writeFile(keptFiles.back(), now);
        }
        // Whatever the kill left, the next write leaves only the file.
        EXPECT_TRUE(write(path, "\x82\xA2"));
        EXPECT_EQ(dir.names(), names) << "point " << point;
        if (code == 0) {
          break;
        }
      }
      EXPECT_GT(sawOld, 0);
      EXPECT_GT(sawNew, 0);
    }
  }
  if (mutagen) {
    const auto titles = mutagenTitles(keptFiles);
    ASSERT_EQ(titles.size(), keptFiles.size());
    for (std::size_t i = 0; i < titles.size(); ++i) {
      EXPECT_TRUE(titles[i] == "old" || titles[i] == newTitleUtf8)
          << keptFiles[i] << ": " << titles[i];
    }
  }
}

// What a power cut leaves: each inode's bytes as last synced, the writes
// since then applied page by page or not at all, and the name changes since
// the folder's last sync applied in order up to any point.
struct Disk {
  struct Piece {
    off_t at = 0;
    std::string bytes;
    off_t length = -1;  // a change of length, when not negative
  };
  struct NameChange {
    std::string from;  // empty: `ino` gets the name `to`
    std::string to;
    ino_t ino = 0;
  };
  std::map<std::string, ino_t> names;
  std::map<ino_t, std::string> synced;
  std::map<ino_t, std::vector<Piece>> unsynced;
  std::vector<NameChange> renames;
  std::vector<std::string> images;  // the song's bytes after each simulated cut
  std::mt19937 random{7};

  static ino_t inode(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
  }
  void wrote(int fd, const char* data, std::size_t size, off_t at) {
    auto& pieces = unsynced[inode(fd)];
    for (std::size_t done = 0; done < size;) {
      const std::size_t part = std::min(size - done, 4096 - static_cast<std::size_t>(at % 4096));
      pieces.push_back({at, std::string(data + done, part)});
      done += part;
      at += static_cast<off_t>(part);
    }
  }
  std::string contents(ino_t ino, const std::vector<bool>& applied) {
    std::string out = synced[ino];
    const auto& pieces = unsynced[ino];
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (!applied[i]) {
        continue;
      }
      const Piece& p = pieces[i];
      if (p.length >= 0) {
        out.resize(static_cast<std::size_t>(p.length), '\0');
      } else {
        out.resize(std::max(out.size(), static_cast<std::size_t>(p.at) + p.bytes.size()), '\0');
        out.replace(static_cast<std::size_t>(p.at), p.bytes.size(), p.bytes);
      }
    }
    return out;
  }
  // The song as every cut at this instant could leave it.
  void cut() {
    for (std::size_t kept = 0; kept <= renames.size(); ++kept) {
      auto now = names;
      for (std::size_t i = 0; i < kept; ++i) {
        const NameChange& c = renames[i];
        if (c.from.empty()) {
          now[c.to] = c.ino;
        } else if (now.count(c.from) != 0) {
          now[c.to] = now[c.from];
          now.erase(c.from);
        }
      }
      if (now.count("song.mp3") == 0) {
        images.push_back("(no file)");
        continue;
      }
      const ino_t ino = now["song.mp3"];
      const std::size_t count = unsynced[ino].size();
      const std::size_t tries = count <= 8 ? (std::size_t{1} << count) : 300;
      for (std::size_t t = 0; t < tries; ++t) {
        std::vector<bool> applied(count);
        for (std::size_t i = 0; i < count; ++i) {
          applied[i] = count <= 8 ? ((t >> i) & 1) != 0 : random() % 2 == 0;
        }
        images.push_back(contents(ino, applied));
      }
    }
  }
  void syncs(int fd) {
    cut();
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    if (S_ISDIR(st.st_mode)) {
      for (const NameChange& c : renames) {
        if (c.from.empty()) {
          names[c.to] = c.ino;
        } else {
          names[c.to] = names[c.from];
          names.erase(c.from);
        }
      }
      renames.clear();
      return;
    }
    std::string& bytes = synced[st.st_ino];
    bytes.assign(static_cast<std::size_t>(st.st_size), '\0');
    ASSERT_EQ(::pread(fd, bytes.data(), bytes.size(), 0), st.st_size);
    unsynced[st.st_ino].clear();
  }
} disk;

// Cut at every sync of every kind of write, in both durability modes: the
// song is always its old or new self (each tag old or new), and once a
// durable write has returned success, a cut leaves it new.
TEST_F(Vbmp3Files, APowerCutAtAnySyncLeavesTheOldOrTheNewFile) {
  const std::string small = Id3v2(3).frame("TIT2", latin1Text("old")).padding(500).render();
  const std::vector<std::pair<std::string, std::string>> cases{
      {"one page in place", small + mpegFrames(300)},
      {"two tags in place", small + mpegFrames(300) + id3v1("old")},
      {"a new file", pictureFile() + id3v1("old")},
      {"a new file, named from the start", pictureFile() + id3v1("old")},
  };
  for (const auto& [name, old] : cases) {
    for (const bool run : {false, true}) {
      SCOPED_TRACE(name + (run ? ", the run synced by the caller" : ", each write synced"));
      const bool named = name.find("named") != std::string::npos;
      TempDir dir;
      const std::string path = dir.file("song.mp3");
      writeFile(path, old);
      ASSERT_TRUE(write(path));
      const std::string written = readFile(path);
      // Each tag of a change in two is old or new, in either pairing.
      const bool twoTags = written.size() == old.size() && written.size() > 128;
      const std::string between =
          twoTags ? written.substr(0, written.size() - 128) + old.substr(old.size() - 128) : old;
      const std::string otherPair =
          twoTags ? old.substr(0, old.size() - 128) + written.substr(written.size() - 128) : old;
      writeFile(path, old);
      disk = Disk{};
      struct stat st {};
      ASSERT_EQ(::stat(path.c_str(), &st), 0);
      disk.names["song.mp3"] = st.st_ino;
      disk.synced[st.st_ino] = old;

      sys::Calls& c = sys::calls();
      c.copyFileRange = nullptr;  // every byte through pwrite, where the model sees it
      if (named) {
        c.linkUnnamed = nullptr;
      }
      c.openat = [](int at, const char* file, int flags, mode_t mode) {
        const int fd = sys::systemCalls().openat(at, file, flags, mode);
        if (fd >= 0 && (flags & O_CREAT) != 0) {
          disk.renames.push_back({"", file, Disk::inode(fd)});
        }
        return fd;
      };
      c.pwrite = [](int fd, const void* data, std::size_t size, off_t at) {
        const ssize_t n = sys::systemCalls().pwrite(fd, data, size, at);
        if (n > 0) {
          disk.wrote(fd, static_cast<const char*>(data), static_cast<std::size_t>(n), at);
        }
        return n;
      };
      c.ftruncate = [](int fd, off_t length) {
        disk.unsynced[Disk::inode(fd)].push_back({0, {}, length});
        return sys::systemCalls().ftruncate(fd, length);
      };
      c.fsync = [](int fd) {
        disk.syncs(fd);
        return sys::systemCalls().fsync(fd);
      };
      c.fdatasync = [](int fd) {
        disk.syncs(fd);
        return sys::systemCalls().fdatasync(fd);
      };
      c.renameat = [](int from, const char* a, int to, const char* b) {
        disk.renames.push_back({a, b, 0});
        return sys::systemCalls().renameat(from, a, to, b);
      };
      if (c.linkUnnamed) {
        c.linkUnnamed = [](int fd, int at, const char* file) {
          disk.renames.push_back({"", file, Disk::inode(fd)});
          return sys::systemCalls().linkUnnamed(fd, at, file);
        };
      }
      vbmp3::setCallerSyncs(run);
      const bool ok = write(path);
      vbmp3::setCallerSyncs(false);
      sys::calls() = sys::systemCalls();
      ASSERT_TRUE(ok);
      ASSERT_EQ(readFile(path), written);
      const std::size_t beforeReturn = disk.images.size();
      EXPECT_TRUE(run || beforeReturn > 0);
      disk.cut();
      for (std::size_t i = 0; i < disk.images.size(); ++i) {
        const std::string& image = disk.images[i];
        ASSERT_TRUE(image == old || image == written || image == between || image == otherPair)
            << "cut " << i;
        if (!run && i >= beforeReturn) {
          ASSERT_TRUE(image == written) << "cut " << i << ", after the write returned success";
        }
      }
    }
  }
}

// Whatever lies under the names this library makes, or made in earlier
// versions, a read changes nothing and blocks on nothing, and reads and
// writes of the file work; only a regular file of the caller's own under a
// name of ours is removed, by a write. Also as another user in a shared
// sticky folder.
TEST_F(Vbmp3Files, HostileNamesBesideTheFileChangeNothing) {
  const std::string leftover = vbmp3::tempName("song.mp3", "0123456789");
  const std::vector<std::string> hostile{
      vbmp3::tempName("song.mp3", "abcdefghij"), vbmp3::tempName("song.mp3", "ABCDEFGHIJ"),
      vbmp3::tempName("song.mp3", "klmnopqrst"), ".song.mp3.vbmp3-journal", ".song.mp3.vbmp3-new"};
  // As ourselves, and as user nobody planting in a sticky folder of ours.
  for (const bool otherUser : {false, true}) {
    if (otherUser && !runningAsRoot()) {
      std::printf("not root: the second user's case is not run\n");
      continue;
    }
    SCOPED_TRACE(otherUser ? "planted by another user" : "planted by the same user");
    TempDir dir;
    const std::string path = dir.file("song.mp3");
    const std::string victim = dir.file("victim");
    writeFile(path, pictureFile(500));
    writeFile(victim, "another file");
    if (otherUser) {
      ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
    }
    const auto plant = [&] {
      return ::mkfifo(dir.file(hostile[0]).c_str(), 0666) == 0 &&
                     ::symlink(victim.c_str(), dir.file(hostile[1]).c_str()) == 0 &&
                     ::mkdir(dir.file(hostile[2]).c_str(), 0777) == 0
                 ? 0
                 : 1;
    };
    ASSERT_EQ(inChild(plant, otherUser), 0);
    ASSERT_EQ(inChild(
                  [&] {
                    // A forged journal of the earlier versions, and their
                    // fixed temporary name.
                    writeFile(dir.file(hostile[3]),
                              "VBMP3JNL" + std::string(200, '\x01') + "VBMP3END");
                    writeFile(dir.file(hostile[4]), "half a copy");
                    return 0;
                  },
                  otherUser),
              0);
    writeFile(dir.file(leftover), "a killed write's copy");
    if (otherUser) {
      ASSERT_EQ(::chown(dir.file(leftover).c_str(), nobodyUid(), nobodyGid()), 0);
    }
    std::vector<std::string> expected = dir.names();
    const std::string before = readFile(path);
    // Reads, by the owner and by the other user, never block and change nothing.
    for (const bool asOther : {false, otherUser}) {
      const int code = inChild(
          [&] {
            ::alarm(20);
            Record r{};
            return read(path, r) && slot(r, kTitle) == "old" ? 0 : 1;
          },
          asOther);
      EXPECT_EQ(code, 0);
      EXPECT_TRUE(readFile(path) == before);
      EXPECT_EQ(dir.names(), expected);
    }
    EXPECT_EQ(readFile(victim), "another file");
    // A write through a new file works, and removes only our own leftover.
    const int code = inChild([&] {
      ::alarm(20);
      return write(path) ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    if (!otherUser) {
      expected.erase(std::find(expected.begin(), expected.end(), leftover));
    }
    EXPECT_EQ(dir.names(), expected);
    EXPECT_EQ(readFile(victim), "another file");
    struct stat st {};
    EXPECT_EQ(::lstat(dir.file(hostile[0]).c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    Record r{};
    ASSERT_TRUE(read(path, r));
    EXPECT_EQ(slot(r, kTitle), kNewTitle);
  }
}

// Writes in one folder list it once, in place or through a new file. On a
// local file system the system's word of each name made or removed keeps that
// listing exact: a leftover that appears later goes at its file's next write
// without another listing, and a child process's writes take none of that
// word from its parent. Elsewhere a listing serves while the folder stays as
// listed, and only once its last change is older than a file system clock's
// tick.
TEST_F(Vbmp3Files, LeftoversGoAtTheNextWriteWithoutAListingPerWrite) {
  static long fileSystem = 0;
  sys::calls().fileSystemType = [](int, long* type) {
    *type = fileSystem;
    return 0;
  };
  sys::calls().openat = [](int dir, const char* path, int flags, mode_t mode) {
    // A listing, not a new unnamed file (O_TMPFILE holds O_DIRECTORY's bit).
    if ((flags & O_TMPFILE) != O_TMPFILE && (flags & O_DIRECTORY) != 0 &&
        std::strcmp(path, ".") == 0) {
      ++hooks.calls;
    }
    return sys::systemCalls().openat(dir, path, flags, mode);
  };
  const auto songsIn = [](const TempDir& dir) {
    std::vector<std::string> songs;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
      songs.push_back(dir.file(name));
      writeFile(songs.back(),
                Id3v2(3).frame("TIT2", latin1Text("old")).padding(500).render() + mpegFrames(30));
    }
    writeFile(songs[1], pictureFile());  // grows: a new file renamed into place
    return songs;
  };
  const auto leftoverOf = [](const TempDir& dir, const char* name) {
    const std::string leftover = dir.file(vbmp3::tempName(name, "0123456789"));
    writeFile(leftover, "a killed write's copy");
    return leftover;
  };
  {
    SCOPED_TRACE("a local file system");
    fileSystem = 0xEF53;
    TempDir dir;
    const auto songs = songsIn(dir);
    ASSERT_TRUE(write(songs[0]));
    ASSERT_TRUE(write(songs[1]));
    ASSERT_TRUE(write(songs[0], "second"));
    EXPECT_EQ(hooks.calls, 1);
    const std::string leftover = leftoverOf(dir, "c.mp3");
    ASSERT_TRUE(write(songs[2]));
    EXPECT_FALSE(std::filesystem::exists(leftover));
    // The child reads none of the parent's word of the next leftover.
    const std::string another = leftoverOf(dir, "a.mp3");
    ASSERT_EQ(inChild([&] { return write(songs[1], "third") ? 0 : 1; }), 0);
    ASSERT_TRUE(write(songs[0], "third"));
    EXPECT_FALSE(std::filesystem::exists(another));
    EXPECT_EQ(hooks.calls, 1);
  }
  {
    SCOPED_TRACE("a network's file system");
    fileSystem = 0x6969;
    hooks.calls = 0;
    TempDir dir;
    const auto songs = songsIn(dir);
    // Just changed: every write lists.
    ASSERT_TRUE(write(songs[0]));
    ASSERT_TRUE(write(songs[2]));
    EXPECT_EQ(hooks.calls, 2);
    // Changed long ago, as far as the clock says: one listing serves both.
    sys::calls().clockGettime = [](clockid_t clock, struct timespec* now) {
      const int rc = sys::systemCalls().clockGettime(clock, now);
      now->tv_sec += 3600;
      return rc;
    };
    hooks.calls = 0;
    ASSERT_TRUE(write(songs[0], "second"));
    ASSERT_TRUE(write(songs[2], "second"));
    EXPECT_EQ(hooks.calls, 1);
    // Past the tick of the listing, a killed write's copy appears.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string leftover = leftoverOf(dir, "c.mp3");
    ASSERT_TRUE(write(songs[2], "third"));
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_EQ(hooks.calls, 2);
  }
}

TEST_F(Vbmp3Files, TheNewFileKeepsEveryPropertyOfTheOld) {
  for (const auto& base : bases()) {
    SCOPED_TRACE(base.empty() ? "the temporary folder" : base);
    TempDir dir(base);
    const std::string path = dir.file("song.mp3");
    // A hole of 64 MiB inside the audio.
    writeFile(path, pictureFile());
    const std::string audio = mpegFrames(300);
    {
      const int fd = ::open(path.c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      const off_t end = ::lseek(fd, 0, SEEK_END);
      ASSERT_EQ(::pwrite(fd, audio.data(), audio.size(), end + (64 << 20)),
                static_cast<ssize_t>(audio.size()));
      ::close(fd);
    }
    ASSERT_EQ(::chown(path.c_str(), 1234, 4321), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const bool xattrs = ::setxattr(path.c_str(), "user.rating", "5", 1, 0) == 0;
    // user 1234 may read and write, the group only read: an ACL with a mask.
    const char acl[] =
        "\x02\0\0\0"                    // version
        "\x01\0\x06\0\xff\xff\xff\xff"  // owner rw
        "\x02\0\x06\0\xd2\x04\0\0"      // user 1234 rw
        "\x04\0\x04\0\xff\xff\xff\xff"  // group r
        "\x10\0\x06\0\xff\xff\xff\xff"  // mask rw
        "\x20\0\0\0\xff\xff\xff\xff";   // others none
    const bool acls =
        ::setxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl - 1, 0) == 0;
    int flags = 0;
#if defined(__linux__)
    const int fd = ::open(path.c_str(), O_RDONLY);
    flags = FS_NODUMP_FL;
    const bool inodeFlags = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
#else
    const bool inodeFlags = false;
#endif
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    ASSERT_TRUE(write(path));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file took its name
    EXPECT_EQ(after.st_uid, 1234u);
    EXPECT_EQ(after.st_gid, 4321u);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_LT(after.st_blocks, before.st_blocks + 64);  // the hole stayed a hole
    char value[256] = {};
    if (xattrs) {
      EXPECT_EQ(::getxattr(path.c_str(), "user.rating", value, sizeof value), 1);
    } else {
      std::printf("no user extended attributes here\n");
    }
    if (acls) {
      EXPECT_EQ(::getxattr(path.c_str(), "system.posix_acl_access", value, sizeof value),
                static_cast<ssize_t>(sizeof acl - 1));
      EXPECT_EQ(std::memcmp(value, acl, sizeof acl - 1), 0);
    } else {
      std::printf("no ACLs here\n");
    }
#if defined(__linux__)
    if (inodeFlags) {
      const int check = ::open(path.c_str(), O_RDONLY);
      flags = 0;
      ASSERT_EQ(::ioctl(check, FS_IOC_GETFLAGS, &flags), 0);
      ::close(check);
      EXPECT_NE(flags & FS_NODUMP_FL, 0);
    } else {
      std::printf("no inode flags here\n");
    }
#endif
    // Another name for the same file: written in place, never split; a
    // change that would need a new file is refused.
    const std::string link = dir.file("link.mp3");
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    std::string sameLength;
    for (int i = 0; i < 40; ++i) {
      sameLength += "\x82\xA2";
    }
    ASSERT_TRUE(write(link, sameLength));
    EXPECT_FALSE(write(link, "\x82\xA4"));
    EXPECT_EQ(errno, EMLINK);
    struct stat linked {};
    ASSERT_EQ(::stat(path.c_str(), &linked), 0);
    EXPECT_EQ(linked.st_ino, after.st_ino);
    EXPECT_EQ(linked.st_nlink, 2u);
    Record r{};
    ASSERT_TRUE(read(path, r));
    EXPECT_EQ(slot(r, kTitle), sameLength);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.mp3", "song.mp3"}));
  }
}

TEST_F(Vbmp3Files, WritersTakeTurns) {
  TempDir dir;
  const std::string path = dir.file("song.mp3");
  writeFile(path, pictureFile(500));

  // Another holds the file: the write waits for it, then goes through. The
  // holder finds the file as it was when it lets go, however slow the machine.
  const std::string before = readFile(path);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::flock(fd, LOCK_EX);
    ::write(ready[1], "x", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::_exit(readFile(path) == before ? 0 : 1);
  }
  char x;
  ASSERT_EQ(::read(ready[0], &x, 1), 1);
  EXPECT_TRUE(write(path));
  EXPECT_NE(readFile(path), before);
  int held = 0;
  ASSERT_EQ(::waitpid(holder, &held, 0), holder);
  EXPECT_TRUE(WIFEXITED(held) && WEXITSTATUS(held) == 0) << "written while another held the file";

  // One that keeps it past our patience: the write gives up, busy, and
  // changes nothing.
  const pid_t keeper = ::fork();
  if (keeper == 0) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::flock(fd, LOCK_SH);
    ::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  ASSERT_EQ(::read(ready[0], &x, 1), 1);
  const std::string kept = readFile(path);
  EXPECT_FALSE(write(path, "\x82\xA6"));
  EXPECT_EQ(errno, EBUSY);
  ::kill(keeper, SIGKILL);
  ASSERT_EQ(::waitpid(keeper, nullptr, 0), keeper);
  EXPECT_TRUE(readFile(path) == kept);
  ::close(ready[0]);
  ::close(ready[1]);

  // Two writers at once through the two names of a file, again and again:
  // the file is always one of the two results whole, never a mix of them,
  // and no frame is lost.
  const std::string link = dir.file("link.mp3");
  const std::string twoFrames = Id3v2(3)
                                    .frame("TIT2", latin1Text("old"))
                                    .frame("COMM", std::string("\0eng\0a comment", 15))
                                    .padding(500)
                                    .render() +
                                mpegFrames(300);
  const std::vector<std::string> titles{"\x82\xA2\x82\xA2", "\x82\xA4\x82\xA4\x82\xA4\x82\xA4"};
  std::vector<std::string> results;
  for (const auto& title : titles) {
    writeFile(path, twoFrames);
    ASSERT_TRUE(write(path, title));
    results.push_back(readFile(path));
  }
  for (int round = 0; round < 20; ++round) {
    std::filesystem::remove(link);
    writeFile(path, twoFrames);
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    std::vector<pid_t> writers;
    for (std::size_t i = 0; i < titles.size(); ++i) {
      writers.push_back(::fork());
      if (writers.back() == 0) {
        ::_exit(write(i == 0 ? path : link, titles[i]) ? 0 : 1);
      }
    }
    for (const pid_t w : writers) {
      int status = 0;
      ASSERT_EQ(::waitpid(w, &status, 0), w);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string now = readFile(path);
    EXPECT_TRUE(now == results[0] || now == results[1]) << "round " << round;
    EXPECT_TRUE(readFile(link) == now);
  }
}

}  // namespace
}  // namespace vbmp3test
