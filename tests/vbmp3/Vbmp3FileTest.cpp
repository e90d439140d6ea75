// The write path's file handling, driven through its system-call seam: the
// fallbacks a file system without a feature takes, failures at every step,
// files replaced under it, interrupted journals and the properties a
// replacement keeps.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "Mp3Fixture.h"
#include "PosixFile.h"
#include "Sys.h"
#include "TagFile.h"
#include "Vbmp3TestSupport.h"
#include "vbmp3.h"

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
      // The journal and its name before the file is touched, the file before
      // the journal goes, the folder once it has gone.
      {"in place under a journal", tag + audio + id3v1("old"), {2, 2}, {2, 1}},
      // The new file before its rename, the folder after it.
      {"into a new file", pictureFile(), {1, 1}, {1, 0}},
  };
  TempDir dir;
  const std::string path = dir.file("song.mp3");
  for (const auto& c : cases) {
    for (const bool run : {false, true}) {
      SCOPED_TRACE(c.name + (run ? ", the run synced by the caller" : ", each write synced"));
      writeFile(path, c.file);
      if (run) {
        ::setenv(VBMP3_SYNC_VARIABLE, VBMP3_SYNC_RUN, 1);
      }
      syncs = Syncs{};
      sys::calls().fsync = [](int fd) { return countedSync(fd, ::fsync); };
      sys::calls().fdatasync = [](int fd) { return countedSync(fd, ::fdatasync); };
      EXPECT_TRUE(write(path));
      sys::calls() = sys::systemCalls();
      ::unsetenv(VBMP3_SYNC_VARIABLE);
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
      {"the folder's sync after the rename", {failingSync, 1, EIO}},
      {"a full disk",
       {[](sys::Calls& c) {
          c.pwrite = [](int fd, const void* b, std::size_t n, off_t at) -> ssize_t {
            return failing() ? -1 : ::pwrite(fd, b, n, at);
          };
        },
        0, ENOSPC}},
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
    sys::calls() = sys::systemCalls();
    if (name != "the folder's sync after the rename") {
      EXPECT_TRUE(readFile(path) == before);
    }
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
  sys::calls() = sys::systemCalls();
  EXPECT_TRUE(readFile(path) == before);

  // A failed close after all is a failure too.
  sys::calls().close = [](int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
  };
  EXPECT_FALSE(write(path));
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

TEST_F(Vbmp3Files, AnInterruptedWriteIsPutRightAtTheNextAccess) {
  TempDir dir;
  const std::string path = dir.file("song.mp3");
  // Two names: the change is made in place, under a journal.
  const std::string link = dir.file("link.mp3");
  writeFile(path, pictureFile(500));
  ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
  const std::string before = readFile(path);

  // Dies once the new bytes are written and before they are synced.
  const int code = inChild([&] {
    sys::calls().fdatasync = [](int) -> int { ::_exit(42); };
    sys::calls().fsync = [](int fd) -> int {
      struct stat st {};
      ::fstat(fd, &st);
      if (S_ISREG(st.st_mode) && st.st_nlink == 2) {
        ::_exit(42);
      }
      return ::fsync(fd);
    };
    return write(path) ? 0 : 1;
  });
  ASSERT_EQ(code, 42);
  EXPECT_FALSE(readFile(path) == before);
  EXPECT_EQ(dir.names().size(), 3u);  // the file, its link and the journal

  // Through the name it was written under.
  Record r{};
  EXPECT_TRUE(read(path, r));
  EXPECT_EQ(slot(r, kTitle), "old");
  EXPECT_TRUE(readFile(path) == before);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.mp3", "song.mp3"}));

  // What an interrupted write leaves before it touches the file: a named
  // temporary file, a journal cut short. Both go; the file stays as it is.
  writeFile(dir.file(vbmp3::tempName("song.mp3")), "half a copy");
  // Someone who may not remove it still reads the file.
  if (runningAsRoot()) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(inChild([&] { return read(path, r) ? 0 : 1; }, true), 0);
  }
  writeFile(dir.file(vbmp3::journalName("song.mp3")), "VBMP3JNL cut short");
  EXPECT_TRUE(read(path, r));
  EXPECT_TRUE(readFile(path) == before);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.mp3", "song.mp3"}));
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
    // Another name for the same file: written in place, never split.
    const std::string link = dir.file("link.mp3");
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(write(link, "\x82\xA2"));
    struct stat linked {};
    ASSERT_EQ(::stat(path.c_str(), &linked), 0);
    EXPECT_EQ(linked.st_ino, after.st_ino);
    EXPECT_EQ(linked.st_nlink, 2u);
    Record r{};
    ASSERT_TRUE(read(path, r));
    EXPECT_EQ(slot(r, kTitle), "\x82\xA2");
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
  ::close(ready[0]);
  ::close(ready[1]);

  // Two writers at once, again and again: the file is always one of the
  // two results whole, never a mix of them.
  std::vector<std::string> results;
  for (const char* title : {"\x82\xA2\x82\xA2", "\x82\xA4\x82\xA4\x82\xA4\x82\xA4"}) {
    writeFile(path, pictureFile(500));
    ASSERT_TRUE(write(path, title));
    results.push_back(readFile(path));
  }
  for (int round = 0; round < 10; ++round) {
    writeFile(path, pictureFile(500));
    std::vector<pid_t> writers;
    for (const char* title : {"\x82\xA2\x82\xA2", "\x82\xA4\x82\xA4\x82\xA4\x82\xA4"}) {
      writers.push_back(::fork());
      if (writers.back() == 0) {
        ::_exit(write(path, title) ? 0 : 1);
      }
    }
    for (const pid_t w : writers) {
      int status = 0;
      ASSERT_EQ(::waitpid(w, &status, 0), w);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string now = readFile(path);
    EXPECT_TRUE(now == results[0] || now == results[1]) << "round " << round;
  }
}

}  // namespace
}  // namespace vbmp3test
