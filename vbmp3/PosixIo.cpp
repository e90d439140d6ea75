// Reads, writes and syncs of the POSIX file layer.
#include <errno.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

#include "PosixLayer.h"

namespace vbmp3 {
namespace posix {
namespace {

// Repeats a positioned transfer until all of it is done, the end of the
// file comes, or it fails; a short transfer and EINTR are no failures.
template <typename Buffer, typename Transfer>
Transferred transfer(int fd, Buffer* buffer, std::size_t size, off_t offset, Transfer call) {
  Transferred out;
  std::size_t& done = out.done;
  while (done < size) {
    const ssize_t n = call(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    out.failed = n < 0;
    if (n <= 0) {
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return out;
}

bool retried(int rc) {
  return rc != 0 && errno == EINTR;
}

}  // namespace

bool sync(int fd) {
  int rc = 0;
  while (retried(rc = os().fsync(fd))) {
  }
  return rc == 0;
}

bool dataSync(int fd) {
  int rc = 0;
  while (retried(rc = os().fdatasync(fd))) {
  }
  return rc == 0;
}

}  // namespace posix

using posix::os;

void UniqueFd::reset(int fd) noexcept {
  if (m_fd >= 0) {
    KeepError keep;
    os().close(m_fd);
  }
  m_fd = fd;
}

bool UniqueFd::close() noexcept {
  const int fd = std::exchange(m_fd, -1);
  return fd < 0 || os().close(fd) == 0;
}

Transferred preadUpTo(int fd, void* buffer, std::size_t size, off_t offset) {
  return posix::transfer(fd, static_cast<char*>(buffer), size, offset, os().pread);
}

bool preadExact(int fd, void* buffer, std::size_t size, off_t offset) {
  return preadUpTo(fd, buffer, size, offset).done == size;
}

bool pwriteExact(int fd, const void* buffer, std::size_t size, off_t offset) {
  return posix::transfer(fd, static_cast<const char*>(buffer), size, offset, os().pwrite).done ==
         size;
}

}  // namespace vbmp3
