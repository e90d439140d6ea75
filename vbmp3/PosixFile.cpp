#include "PosixFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Sys.h"

namespace vbmp3 {
namespace {

const sys::Calls& os() {
  return sys::calls();
}

// Another writer holds a file at most this long before we give up on it.
constexpr auto kLockPatience = std::chrono::seconds(10);
// The inode flags a user may set and a copy should keep (chattr's s, u, c,
// S, d, A, j, t, T, C, P).
#if defined(__linux__)
constexpr unsigned kCopiedFlags = 0x00000001 | 0x00000002 | 0x00000004 | 0x00000008 | 0x00000040 |
                                  0x00000080 | 0x00004000 | 0x00008000 | 0x00020000 | 0x00800000 |
                                  0x20000000;
#endif

// Repeats a positioned transfer until all of it is done, the end of the
// file comes, or it fails; a short transfer and EINTR are no failures.
template <typename Buffer, typename Transfer>
std::size_t transfer(int fd, Buffer* buffer, std::size_t size, off_t offset, Transfer call,
                     bool& failed) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = call(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    failed = n < 0;
    if (n <= 0) {
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool retried(int rc) {
  return rc != 0 && errno == EINTR;
}

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

struct PathParts {
  std::string folder;
  std::string name;
};

PathParts split(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    return {".", path};
  }
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

UniqueFd openFolder(const std::string& folder) {
  return UniqueFd(os().openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
}

bool removeName(int dir, const std::string& name) {
  KeepError keep;
  return os().unlinkat(dir, name.c_str(), 0) == 0;
}

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
  if (::fstat(to, &made) != 0) {
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

}  // namespace

void UniqueFd::reset(int fd) noexcept {
  if (m_fd >= 0) {
    KeepError keep;
    ::close(m_fd);
  }
  m_fd = fd;
}

bool UniqueFd::close() noexcept {
  const int fd = std::exchange(m_fd, -1);
  return fd < 0 || os().close(fd) == 0;
}

std::size_t preadUpTo(int fd, void* buffer, std::size_t size, off_t offset, bool& failed) {
  failed = false;
  return transfer(fd, static_cast<char*>(buffer), size, offset, os().pread, failed);
}

bool preadExact(int fd, void* buffer, std::size_t size, off_t offset) {
  bool failed = false;
  return preadUpTo(fd, buffer, size, offset, failed) == size;
}

bool pwriteExact(int fd, const void* buffer, std::size_t size, off_t offset) {
  bool failed = false;
  return transfer(fd, static_cast<const char*>(buffer), size, offset, os().pwrite, failed) == size;
}

std::optional<LockedFile> LockedFile::open(const char* path, bool forWrite) {
  // Through symbolic links to the file itself, which is what gets replaced.
  const std::unique_ptr<char, decltype(&::free)> real(::realpath(path, nullptr), &::free);
  if (!real) {
    return std::nullopt;
  }
  // Never blocks, even on a FIFO planted under the name.
  const int mode = (forWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  for (int attempt = 0; attempt < 8; ++attempt) {
    LockedFile f;
    f.m_path = real.get();
    f.m_fd = UniqueFd(os().openat(AT_FDCWD, f.m_path.c_str(), mode, 0));
    if (!f.m_fd || ::fstat(f.fd(), &f.m_info) != 0) {
      return std::nullopt;
    }
    if (!S_ISREG(f.m_info.st_mode)) {
      errno = S_ISDIR(f.m_info.st_mode) ? EISDIR : ENOEXEC;
      return std::nullopt;
    }
    // Everything about the file is taken once the lock is held: a writer
    // that waited sees what the one before it left.
    if (!lockWithin(f.fd(), forWrite ? LOCK_EX : LOCK_SH) || ::fstat(f.fd(), &f.m_info) != 0) {
      return std::nullopt;
    }
    struct stat now {};
    if (::stat(f.m_path.c_str(), &now) != 0) {
      return std::nullopt;  // gone while we waited
    }
    if (sameFile(now, f.m_info)) {
      return f;
    }
    // Replaced while we waited: the new file is the one.
  }
  fail(Reason::kBusy);
  return std::nullopt;
}

namespace {

// A folder's names of ours as of one listing, kept while the folder's
// timestamps say no name in it has changed since, so that a run of writes in
// one folder lists it once rather than once a file. A listing counts only when
// it began well after the folder's last change: file system clocks tick
// coarsely (two seconds on FAT), and a name made within the tick of the last
// change would not move the folder's time.
struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec changed {};
  struct timespec modified {};
  std::vector<std::string> ours;
};

constexpr time_t kClockTick = 3;
constexpr std::size_t kListingsKept = 16;

std::mutex g_listingsLock;
std::vector<Listing> g_listings;

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool unchanged(const Listing& l, const struct stat& st) {
  return l.dev == st.st_dev && l.ino == st.st_ino && sameTime(l.changed, st.st_ctim) &&
         sameTime(l.modified, st.st_mtim);
}

bool longBefore(const struct timespec& t, const struct timespec& now) {
  return t.tv_sec + kClockTick <= now.tv_sec;
}

// Every name in the folder that could be one of ours, for any file.
std::optional<std::vector<std::string>> listOurs(int dir) {
  const int listing = os().openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (listing < 0) {
    return std::nullopt;
  }
  const auto closeListing = [](DIR* d) { ::closedir(d); };
  const std::unique_ptr<DIR, decltype(closeListing)> entries(::fdopendir(listing), closeListing);
  if (!entries) {
    ::close(listing);
    return std::nullopt;
  }
  std::vector<std::string> ours;
  while (const dirent* entry = ::readdir(entries.get())) {
    if (std::strstr(entry->d_name, ".vbmp3-") != nullptr) {
      ours.emplace_back(entry->d_name);
    }
  }
  return ours;
}

// The names of ours in the folder, from a listing still good or a new one.
std::optional<std::vector<std::string>> namesOfOurs(int dir) {
  struct stat before {};
  if (::fstat(dir, &before) != 0) {
    return std::nullopt;
  }
  {
    const std::lock_guard<std::mutex> hold(g_listingsLock);
    for (const Listing& l : g_listings) {
      if (unchanged(l, before)) {
        return l.ours;
      }
    }
  }
  struct timespec now {};
  const bool clock = os().clockGettime(CLOCK_REALTIME, &now) == 0;
  auto ours = listOurs(dir);
  struct stat after {};
  if (ours && clock && ::fstat(dir, &after) == 0 && sameFile(before, after) &&
      sameTime(before.st_ctim, after.st_ctim) && sameTime(before.st_mtim, after.st_mtim) &&
      longBefore(before.st_ctim, now) && longBefore(before.st_mtim, now)) {
    const std::lock_guard<std::mutex> hold(g_listingsLock);
    std::erase_if(g_listings, [&](const Listing& l) {
      return l.dev == before.st_dev && l.ino == before.st_ino;
    });
    if (g_listings.size() >= kListingsKept) {
      g_listings.erase(g_listings.begin());
    }
    g_listings.push_back({before.st_dev, before.st_ino, before.st_ctim, before.st_mtim, *ours});
  }
  return ours;
}

// New files of ours that a killed write left beside the file. Only regular
// files of the caller's own go; anything else under such a name stays.
void removeLeftovers(int dir, const std::string& name) {
  KeepError keep;
  const auto ours = namesOfOurs(dir);
  if (!ours) {
    return;
  }
  for (const std::string& candidate : *ours) {
    struct stat st {};
    if (isTempName(name, candidate) &&
        ::fstatat(dir, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == ::geteuid()) {
      os().unlinkat(dir, candidate.c_str(), 0);
    }
  }
}

// Whether the file holds `wanted` at `at`, read a piece at a time: a tag
// with a picture of megabytes needs no second copy of itself.
bool readsAs(int fd, std::string_view wanted, off_t at) {
  constexpr std::size_t kPiece = 64 * 1024;
  std::vector<char> piece(std::min(wanted.size(), kPiece));
  for (std::size_t done = 0; done < wanted.size();) {
    const std::size_t n = std::min(wanted.size() - done, kPiece);
    if (!preadExact(fd, piece.data(), n, at + static_cast<off_t>(done)) ||
        std::memcmp(piece.data(), wanted.data() + done, n) != 0) {
      return false;
    }
    done += n;
  }
  return true;
}

// The edit's new file, whole, in `out`: the inode flags, the bytes, then
// owner, mode and extended attributes; synced, and read back.
bool fill(int out, int source, const struct stat& info, const Edit& edit) {
  const off_t audioBegin = edit.tagAt + edit.oldTagSize;
  const off_t newAudio = edit.tagAt + static_cast<off_t>(edit.tag().size());
  const off_t newBack = newAudio + (edit.backAt - audioBegin);
  const off_t newLength = newBack + static_cast<off_t>(edit.back.size());
  if (!lockWithin(out, LOCK_EX) || !copyFlags(source, out) || os().ftruncate(out, newLength) != 0 ||
      !copyData(source, 0, out, 0, edit.tagAt) ||
      !pwriteExact(out, edit.tag().data(), edit.tag().size(), edit.tagAt) ||
      !copyData(source, audioBegin, out, newAudio, edit.backAt - audioBegin) ||
      !pwriteExact(out, edit.back.data(), edit.back.size(), newBack) ||
      !copyProperties(source, info, out) || !sync(out)) {
    return false;
  }
  // What the file holds now, read afresh, before it can take the name.
  struct stat made {};
  if (::fstat(out, &made) != 0 || made.st_size != newLength ||
      !readsAs(out, edit.tag(), edit.tagAt) || !readsAs(out, edit.back, newBack)) {
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

// The whole new file beside the old one, synced, read back and renamed over
// it; then the folder synced.
bool replace(UniqueFd& file, struct stat& info, int dir, const std::string& name,
             const Edit& edit) {
  const int source = file.get();
  TempGuard guard(dir);
  // Unnamed where the system allows, and named only once complete: a
  // process killed while copying leaves nothing behind.
  UniqueFd out;
#if defined(O_TMPFILE)
  if (os().linkUnnamed) {
    out = UniqueFd(os().openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (out) {
      if (!fill(out.get(), source, info, edit)) {
        return false;
      }
      if (!nameUnnamed(out.get(), dir, name, guard)) {
        out.reset();  // no way to name it (no /proc): a named one instead
      }
    }
  }
#endif
  if (!out) {
    out = createNamed(dir, name, guard);
    if (!out || !fill(out.get(), source, info, edit)) {
      return false;
    }
  }
  // Only the very file we read is replaced.
  struct stat now {};
  if (::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  if (!sameFile(now, info)) {
    return fail(Reason::kBusy);
  }
  if (os().renameat(dir, guard.name().c_str(), dir, name.c_str()) != 0) {
    return false;
  }
  guard.release();
  // Ours takes the old file's place, still locked.
  struct stat made {};
  if (::fstat(out.get(), &made) == 0) {
    info = made;
  }
  file = std::move(out);
  if (!callerSyncs() && !sync(dir)) {
    return fail(Reason::kNotDurable);
  }
  return true;
}

bool noSync(int) {
  return true;
}

}  // namespace

bool commit(LockedFile& file, const Edit& edit, const std::vector<Range>& ranges) {
  if (edit.keepsShape() && ranges.empty()) {
    return true;
  }
  const auto [folder, name] = split(file.m_path);
  const UniqueFd dir = openFolder(folder);
  if (dir) {
    removeLeftovers(dir.get(), name);
  }
  if (edit.keepsShape()) {
    if (const auto written = writeInPlace(file.fd(), ranges, callerSyncs() ? noSync : dataSync)) {
      return *written;
    }
  }
  // A new file would split the links: the other names would keep the old title.
  if (file.m_info.st_nlink > 1) {
    return fail(Reason::kSeveralNames);
  }
  return dir && replace(file.m_fd, file.m_info, dir.get(), name, edit);
}

}  // namespace vbmp3
