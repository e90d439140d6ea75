// The lock and the identity of the file a read or a write holds.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "PosixLayer.h"

namespace vbmp3 {
namespace posix {

// Another writer holds a file at most this long before we give up on it.
constexpr auto kLockPatience = std::chrono::seconds(10);

bool lockWithin(int fd, int operation) {
  const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (os().flock(fd, operation | LOCK_NB) == 0) {
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    // Some network and FUSE file systems have no locks: then we go without.
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) {
      return true;
    }
    if (errno != EWOULDBLOCK) {
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return fail(Reason::kBusy);
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace posix

using posix::lockWithin;
using posix::os;
using posix::sameFile;

std::optional<LockedFile> LockedFile::open(const char* path, bool forWrite) {
  // A read goes wherever the name leads, as open() does. So does a write,
  // but what it replaces is the file itself: a name that is a symbolic link
  // is resolved first.
  std::string name = path;
  // Never blocks, even on a FIFO planted under the name.
  const int mode = (forWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  for (int attempt = 0; attempt < 8; ++attempt) {
    LockedFile f;
    f.m_path = name;
    f.m_fd = UniqueFd(os().openat(AT_FDCWD, f.m_path.c_str(), mode, 0));
    if (!f.m_fd || os().fstat(f.fd(), &f.m_info) != 0) {
      return std::nullopt;
    }
    if (!S_ISREG(f.m_info.st_mode)) {
      errno = S_ISDIR(f.m_info.st_mode) ? EISDIR : ENOEXEC;
      return std::nullopt;
    }
    // Everything about the file is taken once the lock is held: a writer
    // that waited sees what the one before it left.
    if (!lockWithin(f.fd(), forWrite ? LOCK_EX : LOCK_SH) || os().fstat(f.fd(), &f.m_info) != 0) {
      return std::nullopt;
    }
    struct stat now {};
    if (os().fstatat(AT_FDCWD, f.m_path.c_str(), &now, forWrite ? AT_SYMLINK_NOFOLLOW : 0) != 0) {
      return std::nullopt;  // gone while we waited
    }
    if (forWrite && S_ISLNK(now.st_mode)) {
      const std::unique_ptr<char, decltype(&::free)> real(os().realpath(path, nullptr), &::free);
      if (!real) {
        return std::nullopt;
      }
      name = real.get();
      continue;
    }
    if (sameFile(now, f.m_info)) {
      return f;
    }
    // Replaced while we waited: the new file is the one.
  }
  fail(Reason::kBusy);
  return std::nullopt;
}

}  // namespace vbmp3
