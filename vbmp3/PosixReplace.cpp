// A change that cannot be made in place: the whole new file beside the old
// one, renamed over it once complete.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "PosixLayer.h"

namespace vbmp3::posix {
namespace {

// Removes a name of ours unless it was renamed into place.
class TempGuard {
 public:
  explicit TempGuard(int dir) : m_dir(dir) {}
  TempGuard(const TempGuard&) = delete;
  TempGuard& operator=(const TempGuard&) = delete;
  ~TempGuard() {
    if (!m_name.empty()) {
      removeName(m_dir, m_name);
    }
  }
  void adopt(std::string name) { m_name = std::move(name); }
  void release() { m_name.clear(); }
  const std::string& name() const { return m_name; }

 private:
  int m_dir;
  std::string m_name;
};

// Whether the file holds `wanted` at `at`, read a piece at a time: a tag
// with a picture of megabytes needs no second copy of itself, and memory
// new to the process costs a fault per page.
bool readsAs(int fd, std::string_view wanted, off_t at) {
  constexpr std::size_t kPiece = 64 * 1024;
  char piece[kPiece];
  for (std::size_t done = 0; done < wanted.size();) {
    const std::size_t n = std::min(wanted.size() - done, kPiece);
    if (!preadExact(fd, piece, n, at + static_cast<off_t>(done)) ||
        std::memcmp(piece, wanted.data() + done, n) != 0) {
      return false;
    }
    done += n;
  }
  return true;
}

// The edit's new file, whole, in `out`: the inode flags, the bytes, then
// owner, mode and extended attributes; synced, and read back. What it is
// then goes into `made`.
bool fill(int out, int source, const struct stat& info, const Edit& edit, struct stat& made) {
  const off_t audioBegin = edit.tagAt + edit.oldTagSize();
  const off_t newAudio = edit.tagAt + static_cast<off_t>(edit.tag.size());
  const off_t newBack = newAudio + (edit.backAt - audioBegin);
  const off_t newLength = newBack + static_cast<off_t>(edit.back.size());
  if (!lockWithin(out, LOCK_EX) || !copyFlags(source, out) || os().ftruncate(out, newLength) != 0 ||
      !copyData(source, 0, out, 0, edit.tagAt) ||
      !pwriteExact(out, edit.tag.data(), edit.tag.size(), edit.tagAt) ||
      !copyData(source, audioBegin, out, newAudio, edit.backAt - audioBegin) ||
      !pwriteExact(out, edit.back.data(), edit.back.size(), newBack) ||
      !copyProperties(source, info, out) || !sync(out)) {
    return false;
  }
  // What the file holds now, read afresh, before it can take the name.
  if (os().fstat(out, &made) != 0 || made.st_size != newLength ||
      !readsAs(out, edit.tag, edit.tagAt) || !readsAs(out, edit.back, newBack)) {
    return fail(Reason::kBadEdit);
  }
  return true;
}

// Creates a new file of ours under a fresh name; the guard removes it.
UniqueFd createNamed(int dir, const std::string& name, TempGuard& guard) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temp = tempName(name, randomPart());
    UniqueFd out(
        os().openat(dir, temp.c_str(),
                    O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                    S_IRUSR | S_IWUSR));
    if (out) {
      guard.adopt(temp);
      return out;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  return UniqueFd();
}

// Gives a complete unnamed file a fresh name of ours.
bool nameUnnamed(int out, int dir, const std::string& name, TempGuard& guard) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temp = tempName(name, randomPart());
    if (os().linkUnnamed(out, dir, temp.c_str()) == 0) {
      guard.adopt(temp);
      return true;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  return false;
}

}  // namespace

// The whole new file beside the old one, synced, read back and renamed over
// it; then the folder synced.
std::optional<Replaced> replace(int source, const struct stat& info, int dir,
                                const std::string& name, const Edit& edit) {
  TempGuard guard(dir);
  struct stat made {};
  // Unnamed where the system allows, and named only once complete: a
  // process killed while copying leaves nothing behind.
  UniqueFd out;
#if defined(O_TMPFILE)
  if (os().linkUnnamed) {
    out = UniqueFd(os().openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (out) {
      if (!fill(out.get(), source, info, edit, made)) {
        return std::nullopt;
      }
      if (!nameUnnamed(out.get(), dir, name, guard)) {
        out.reset();  // no way to name it (no /proc): a named one instead
      }
    }
  }
#endif
  if (!out) {
    out = createNamed(dir, name, guard);
    if (!out || !fill(out.get(), source, info, edit, made)) {
      return std::nullopt;
    }
  }
  // Only the very file we read is replaced.
  struct stat now {};
  if (os().fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  if (!sameFile(now, info)) {
    fail(Reason::kBusy);
    return std::nullopt;
  }
  if (os().renameat(dir, guard.name().c_str(), dir, name.c_str()) != 0) {
    return std::nullopt;
  }
  guard.release();
  return Replaced{std::move(out), made, callerSyncs() || sync(dir)};
}

}  // namespace vbmp3::posix
