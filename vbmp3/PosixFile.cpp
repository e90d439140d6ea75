#include "PosixFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>

namespace vbmp3 {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

// Removes a named temporary file unless it was renamed into place.
class TempName {
 public:
  explicit TempName(std::string name) : m_name(std::move(name)) {}
  TempName(const TempName&) = delete;
  TempName& operator=(const TempName&) = delete;
  ~TempName() {
    if (!m_name.empty()) {
      ::unlink(m_name.c_str());
    }
  }
  void adopt(std::string name) { m_name = std::move(name); }
  void release() { m_name.clear(); }

 private:
  std::string m_name;
};

bool copyWithBuffer(int from, off_t fromOffset, int to, off_t toOffset, off_t size) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min<off_t>(size, kCopyChunk)));
  while (size > 0) {
    const auto n = static_cast<std::size_t>(std::min<off_t>(size, kCopyChunk));
    if (!preadExact(from, buffer.data(), n, fromOffset) ||
        !pwriteExact(to, buffer.data(), n, toOffset)) {
      return false;
    }
    fromOffset += static_cast<off_t>(n);
    toOffset += static_cast<off_t>(n);
    size -= static_cast<off_t>(n);
  }
  return true;
}

// Copies in the kernel where it can (no trip through user space, and a
// reflink on file systems that share extents); falls back to a buffer when
// the kernel cannot copy between these two files at all.
bool copyRange(int from, off_t fromOffset, int to, off_t toOffset, off_t size) {
  bool first = true;
  while (size > 0) {
    loff_t in = fromOffset;
    loff_t out = toOffset;
    const auto want = static_cast<std::size_t>(std::min<off_t>(size, off_t{1} << 30));
    const ssize_t n = ::copy_file_range(from, &in, to, &out, want, 0);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (first && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                    errno == ETXTBSY)) {
        return copyWithBuffer(from, fromOffset, to, toOffset, size);
      }
      return false;
    }
    if (n == 0) {
      return false;  // the source is shorter than it was
    }
    first = false;
    fromOffset += n;
    toOffset += n;
    size -= n;
  }
  return true;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// An unnamed file in `folder` where the file system allows it, so that a
// process killed while copying leaves nothing behind; otherwise a named one.
UniqueFd createTemp(const std::string& path, mode_t mode, std::string& tempName, bool& named) {
  const std::string folder = folderOf(path);
  UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
  if (fd) {
    named = false;
  } else {
    const auto slash = path.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    tempName = prefix + "." + base + ".vbmp3-XXXXXX";
    fd.reset(::mkostemp(tempName.data(), O_CLOEXEC));
    named = static_cast<bool>(fd);
  }
  return fd;
}

}  // namespace

void UniqueFd::reset(int fd) noexcept {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
  m_fd = fd;
}

bool UniqueFd::close() noexcept {
  const int fd = std::exchange(m_fd, -1);
  return fd < 0 || ::close(fd) == 0;
}

UniqueFd openRegularForRead(const char* path, struct stat& info) {
  UniqueFd fd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return UniqueFd();
  }
  return fd;
}

namespace {

// Repeats a positioned read or write until all of it is done; a short
// transfer is not an error, an end of file or a failure is.
template <typename Buffer, typename Transfer>
bool transferExact(int fd, Buffer* buffer, std::size_t size, off_t offset, Transfer transfer) {
  while (size > 0) {
    const ssize_t n = transfer(fd, buffer, size, offset);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    buffer += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

}  // namespace

bool preadExact(int fd, void* buffer, std::size_t size, off_t offset) {
  return transferExact(fd, static_cast<char*>(buffer), size, offset, ::pread);
}

bool pwriteExact(int fd, const void* buffer, std::size_t size, off_t offset) {
  return transferExact(fd, static_cast<const char*>(buffer), size, offset, ::pwrite);
}

bool replaceFile(const std::string& path, const struct stat& original, std::string_view front,
                 int source, off_t middleOffset, off_t middleSize, std::string_view back) {
  std::string tempName;
  bool named = false;
  // Created with the original's permissions where the umask lets them through,
  // so that the usual case needs no chmod.
  UniqueFd out = createTemp(path, original.st_mode & 0777, tempName, named);
  if (!out) {
    return false;
  }
  TempName guard(named ? tempName : std::string());

  // Owner before mode: a change of owner clears the set-id bits.
  struct stat created {};
  if (::fstat(out.get(), &created) != 0) {
    return false;
  }
  if ((created.st_uid != original.st_uid || created.st_gid != original.st_gid) &&
      ::fchown(out.get(), original.st_uid, original.st_gid) != 0) {
    return false;
  }
  if ((created.st_mode & 07777) != (original.st_mode & 07777) &&
      ::fchmod(out.get(), original.st_mode & 07777) != 0) {
    return false;
  }

  const auto frontSize = static_cast<off_t>(front.size());
  if (!pwriteExact(out.get(), front.data(), front.size(), 0) ||
      !copyRange(source, middleOffset, out.get(), frontSize, middleSize) ||
      !pwriteExact(out.get(), back.data(), back.size(), frontSize + middleSize) ||
      ::fsync(out.get()) != 0) {
    return false;
  }

  if (!named) {
    // Give the unnamed file a name only now that it is complete.
    std::array<char, 64> self{};
    std::snprintf(self.data(), self.size(), "/proc/self/fd/%d", out.get());
    const auto slash = path.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100 && !named; ++attempt) {
      tempName = prefix + "." + base + ".vbmp3-" + std::to_string(::getpid()) + "-" +
                 std::to_string(attempt);
      if (::linkat(AT_FDCWD, self.data(), AT_FDCWD, tempName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        named = true;
      } else if (errno != EEXIST) {
        return false;
      }
    }
    if (!named) {
      return false;
    }
    guard.adopt(tempName);
  }
  if (!out.close() || ::rename(tempName.c_str(), path.c_str()) != 0) {
    return false;
  }
  guard.release();
  return true;
}

}  // namespace vbmp3
