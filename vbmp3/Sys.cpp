#include "Sys.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>

#if defined(__linux__)
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#elif defined(__APPLE__)
#include <sys/xattr.h>
#endif

namespace vbmp3::sys {
namespace {

int openAt(int dir, const char* path, int flags, mode_t mode) {
  return ::openat(dir, path, flags, mode);
}

int setLength(int fd, off_t length) {
  return ::ftruncate(fd, length);
}

int dataSync(int fd) {
#if defined(__APPLE__)
  return ::fsync(fd);
#else
  return ::fdatasync(fd);
#endif
}

#if defined(__linux__)
ssize_t copyRange(int in, off_t* inOffset, int out, off_t* outOffset, std::size_t size) {
  return ::copy_file_range(in, inOffset, out, outOffset, size, 0);
}

// A descriptor's /proc link, through which the system reaches the file
// itself: an O_TMPFILE file gets its name there, and a folder its watch.
struct ProcLink {
  explicit ProcLink(int fd) { std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd); }
  char path[32];
};

int linkUnnamed(int fd, int dir, const char* name) {
  return ::linkat(AT_FDCWD, ProcLink(fd).path, dir, name, AT_SYMLINK_FOLLOW);
}

int fileSystemType(int fd, long* type) {
  struct statfs info {};
  const int rc = ::fstatfs(fd, &info);
  *type = static_cast<long>(info.f_type);
  return rc;
}

int watchInstance() {
  return ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}
int watchNames(int instance, int folder) {
  return ::inotify_add_watch(instance, ProcLink(folder).path,
                             IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF |
                                 IN_UNMOUNT | IN_ONLYDIR);
}
int unwatchNames(int instance, int watch) {
  return ::inotify_rm_watch(instance, watch);
}

ssize_t listAttributes(int fd, char* names, std::size_t size) {
  return ::flistxattr(fd, names, size);
}
ssize_t getAttribute(int fd, const char* name, void* value, std::size_t size) {
  return ::fgetxattr(fd, name, value, size);
}
int setAttribute(int fd, const char* name, const void* value, std::size_t size) {
  return ::fsetxattr(fd, name, value, size, 0);
}

int getFlags(int fd, unsigned* flags) {
  int value = 0;
  const int rc = ::ioctl(fd, FS_IOC_GETFLAGS, &value);
  *flags = static_cast<unsigned>(value);
  return rc;
}
int setFlags(int fd, unsigned flags) {
  int value = static_cast<int>(flags);
  return ::ioctl(fd, FS_IOC_SETFLAGS, &value);
}
#else
#if defined(__APPLE__)
ssize_t listAttributes(int fd, char* names, std::size_t size) {
  return ::flistxattr(fd, names, size, 0);
}
ssize_t getAttribute(int fd, const char* name, void* value, std::size_t size) {
  return ::fgetxattr(fd, name, value, size, 0, 0);
}
int setAttribute(int fd, const char* name, const void* value, std::size_t size) {
  return ::fsetxattr(fd, name, value, size, 0, 0);
}
#else
ssize_t listAttributes(int, char*, std::size_t) {
  errno = ENOTSUP;
  return -1;
}
ssize_t getAttribute(int, const char*, void*, std::size_t) {
  errno = ENOTSUP;
  return -1;
}
int setAttribute(int, const char*, const void*, std::size_t) {
  errno = ENOTSUP;
  return -1;
}
#endif
int getFlags(int, unsigned*) {
  errno = ENOTTY;
  return -1;
}
int setFlags(int, unsigned) {
  errno = ENOTTY;
  return -1;
}
#endif

Calls makeSystemCalls() {
  Calls c{};
  c.openat = openAt;
  c.close = ::close;
  c.fstat = ::fstat;
  c.fstatat = ::fstatat;
  c.realpath = ::realpath;
  c.fdopendir = ::fdopendir;
  c.readdir = ::readdir;
  c.closedir = ::closedir;
  c.pread = ::pread;
  c.pwrite = ::pwrite;
#if defined(__linux__)
  c.copyFileRange = copyRange;
  c.linkUnnamed = linkUnnamed;
  c.watchInstance = watchInstance;
  c.watchNames = watchNames;
  c.unwatchNames = unwatchNames;
  c.readEvents = ::read;
  c.fileSystemType = fileSystemType;
#endif
  c.lseek = ::lseek;
  c.ftruncate = setLength;
  c.fsync = ::fsync;
  c.fdatasync = dataSync;
  c.flock = ::flock;
  c.fchown = ::fchown;
  c.fchmod = ::fchmod;
  c.renameat = ::renameat;
  c.unlinkat = ::unlinkat;
  c.flistxattr = listAttributes;
  c.fgetxattr = getAttribute;
  c.fsetxattr = setAttribute;
  c.getFlags = getFlags;
  c.setFlags = setFlags;
  c.clockGettime = ::clock_gettime;
  return c;
}

}  // namespace

const Calls& systemCalls() {
  static const Calls real = makeSystemCalls();
  return real;
}

Calls& calls() {
  static Calls current = systemCalls();
  return current;
}

}  // namespace vbmp3::sys
