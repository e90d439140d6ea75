// The new file's bytes and properties, copied from the old one.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "PosixLayer.h"

namespace vbmp3::posix {
namespace {

// The inode flags a user may set and a copy should keep (chattr's s, u, c,
// S, d, A, j, t, T, C, P).
#if defined(__linux__)
constexpr unsigned kCopiedFlags = 0x00000001 | 0x00000002 | 0x00000004 | 0x00000008 | 0x00000040 |
                                  0x00000080 | 0x00004000 | 0x00008000 | 0x00020000 | 0x00800000 |
                                  0x20000000;
#endif

// Copies bytes in the kernel where it can (no trip through user space, and
// a reflink on file systems that share extents), else through a buffer.
bool copyBytes(int from, off_t fromOffset, int to, off_t toOffset, off_t size) {
  bool kernel = os().copyFileRange != nullptr;
  while (size > 0 && kernel) {
    off_t in = fromOffset;
    off_t out = toOffset;
    const auto want = static_cast<std::size_t>(std::min<off_t>(size, off_t{1} << 30));
    const ssize_t n = os().copyFileRange(from, &in, to, &out, want);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
          errno == ETXTBSY) {
        kernel = false;
        break;
      }
      return false;
    }
    if (n == 0) {
      return false;  // the source is shorter than it was
    }
    fromOffset += n;
    toOffset += n;
    size -= n;
  }
  return copyBuffered(from, fromOffset, to, toOffset, size);
}

}  // namespace

// Copies only the data of a sparse file; the holes stay holes in a
// destination already sized to hold them.
bool copyData(int from, off_t fromOffset, int to, off_t toOffset, off_t size) {
  const off_t end = fromOffset + size;
  off_t pos = fromOffset;
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
  while (pos < end) {
    const off_t data = os().lseek(from, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) {
        return true;  // a hole to the end
      }
      break;  // the file system cannot tell: copy it all
    }
    if (data >= end) {
      return true;
    }
    off_t hole = os().lseek(from, data, SEEK_HOLE);
    hole = hole < 0 ? end : std::min(hole, end);
    if (!copyBytes(from, data, to, toOffset + (data - fromOffset), hole - data)) {
      return false;
    }
    pos = hole;
  }
#endif
  return pos >= end || copyBytes(from, pos, to, toOffset + (pos - fromOffset), end - pos);
}

// The inode flags of `from` onto the new, still empty file `to` (some, such
// as no copy-on-write, take effect only on an empty file).
bool copyFlags([[maybe_unused]] int from, [[maybe_unused]] int to) {
#if defined(__linux__)
  unsigned flags = 0;
  if (os().getFlags(from, &flags) == 0) {
    if ((flags & kCopiedFlags) != 0 && os().setFlags(to, flags & kCopiedFlags) != 0) {
      return false;
    }
  } else if (errno != ENOTTY && errno != ENOTSUP && errno != EINVAL && errno != ENOSYS) {
    return false;
  }
#endif
  return true;
}

// Owner, mode and extended attributes (ACLs among them) of `from` onto the
// new file `to`, once it is complete: until then only its maker may open it.
bool copyProperties(int from, const struct stat& info, int to) {
  struct stat made {};
  if (os().fstat(to, &made) != 0) {
    return false;
  }
  // Owner before mode: a change of owner clears the set-id bits.
  if ((made.st_uid != info.st_uid || made.st_gid != info.st_gid) &&
      os().fchown(to, info.st_uid, info.st_gid) != 0) {
    return false;
  }
  if ((made.st_mode & 07777) != (info.st_mode & 07777) &&
      os().fchmod(to, info.st_mode & 07777) != 0) {
    return false;
  }
  const ssize_t listed = os().flistxattr(from, nullptr, 0);
  if (listed <= 0) {
    return listed == 0 || errno == ENOTSUP || errno == ENOSYS;
  }
  std::vector<char> names(static_cast<std::size_t>(listed) + 1, '\0');
  const ssize_t got = os().flistxattr(from, names.data(), static_cast<std::size_t>(listed));
  if (got < 0) {
    return false;
  }
  std::vector<char> value;
  for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    const ssize_t size = os().fgetxattr(from, name, nullptr, 0);
    if (size < 0) {
      return false;
    }
    value.resize(static_cast<std::size_t>(size) + 1);
    const ssize_t read = os().fgetxattr(from, name, value.data(), static_cast<std::size_t>(size));
    if (read < 0 || os().fsetxattr(to, name, value.data(), static_cast<std::size_t>(read)) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace vbmp3::posix
