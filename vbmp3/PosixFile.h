#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace vbmp3 {

// Owns one file descriptor; closes it once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(std::exchange(other.m_fd, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const noexcept { return m_fd; }
  explicit operator bool() const noexcept { return m_fd >= 0; }
  void reset(int fd = -1) noexcept;
  // Closes and reports whether the close succeeded (a failed close can mean
  // lost data on network file systems).
  bool close() noexcept;

 private:
  int m_fd = -1;
};

// Opens an existing regular file for reading without blocking on FIFOs or
// devices; an empty handle when it is anything else or cannot be opened.
UniqueFd openRegularForRead(const char* path, struct stat& info);

// Every byte or false; retries short transfers and EINTR.
bool preadExact(int fd, void* buffer, std::size_t size, off_t offset);
bool pwriteExact(int fd, const void* buffer, std::size_t size, off_t offset);

// Replaces `path` by a new file made of `front`, then `middleSize` bytes of
// `source` from `middleOffset`, then `back`. The new file is written beside
// the old one, flushed and renamed over it, with the old file's mode and
// owner. On failure the old file is untouched and no new file is left.
bool replaceFile(const std::string& path, const struct stat& original, std::string_view front,
                 int source, off_t middleOffset, off_t middleSize, std::string_view back);

}  // namespace vbmp3
