#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>

// The operating system calls of the write path, through one table so that
// tests can make any of them fail, come up short or be missing, the way a
// file system without those features would.
namespace vbmp3::sys {

struct Calls {
  int (*openat)(int dir, const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  int (*fstat)(int fd, struct stat* info);
  int (*fstatat)(int dir, const char* path, struct stat* info, int flags);
  // The name with every link and "." or ".." resolved, to be freed; null
  // with errno on failure.
  char* (*realpath)(const char* path, char* resolved);
  // A folder's names, through a descriptor the listing then owns.
  DIR* (*fdopendir)(int fd);
  struct dirent* (*readdir)(DIR* listing);
  int (*closedir)(DIR* listing);
  ssize_t (*pread)(int fd, void* buffer, std::size_t size, off_t offset);
  ssize_t (*pwrite)(int fd, const void* buffer, std::size_t size, off_t offset);
  // Copies in the kernel; null where the system has no such call.
  ssize_t (*copyFileRange)(int in, off_t* inOffset, int out, off_t* outOffset, std::size_t size);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*ftruncate)(int fd, off_t length);
  int (*fsync)(int fd);
  int (*fdatasync)(int fd);
  int (*flock)(int fd, int operation);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*fchmod)(int fd, mode_t mode);
  int (*renameat)(int fromDir, const char* from, int toDir, const char* to);
  int (*unlinkat)(int dir, const char* path, int flags);
  // Gives an unnamed file a name; null where files cannot be made unnamed.
  int (*linkUnnamed)(int fd, int dir, const char* name);
  // Extended attributes; ENOTSUP where the file system has none.
  ssize_t (*flistxattr)(int fd, char* names, std::size_t size);
  ssize_t (*fgetxattr)(int fd, const char* name, void* value, std::size_t size);
  int (*fsetxattr)(int fd, const char* name, const void* value, std::size_t size);
  // The file's inode flags (chattr); ENOTTY where the file system has none.
  int (*getFlags)(int fd, unsigned* flags);
  int (*setFlags)(int fd, unsigned flags);
  // The wall clock, which file systems stamp their changes with.
  int (*clockGettime)(clockid_t clock, struct timespec* now);
  // The system's word of names made and removed in folders (inotify); null
  // where it has none. The kind of file system a folder lies on (statfs's
  // f_type), which tells whether that word is whole; an instance that never
  // blocks; a watch of a folder's names through its descriptor; its end; the
  // events queued so far.
  int (*fileSystemType)(int fd, long* type);
  int (*watchInstance)();
  int (*watchNames)(int instance, int folder);
  int (*unwatchNames)(int instance, int watch);
  ssize_t (*readEvents)(int instance, void* buffer, std::size_t size);
};

// The calls in force: the system's own unless a test swapped some.
Calls& calls();
const Calls& systemCalls();

}  // namespace vbmp3::sys
