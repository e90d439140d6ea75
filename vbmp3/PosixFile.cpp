#include "PosixFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "Sys.h"
#include "vbmp3.h"

namespace vbmp3 {
namespace {

const sys::Calls& os() {
  return sys::calls();
}

constexpr std::size_t kChunk = 1 << 20;
constexpr std::array<char, 8> kJournalMagic{'V', 'B', 'M', 'P', '3', 'J', 'N', 'L'};
constexpr std::array<char, 8> kJournalEnd{'V', 'B', 'M', 'P', '3', 'E', 'N', 'D'};
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

// Whether the caller makes the file system durable once for its whole run
// of writes before it reports them, as the program does.
bool callerSyncs() {
  const char* value = std::getenv(VBMP3_SYNC_VARIABLE);
  return value != nullptr && std::string_view(value) == VBMP3_SYNC_RUN;
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
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() > deadline) {
      return false;
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

bool exists(const std::string& path) {
  struct stat st {};
  return ::fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool removeName(int dir, const std::string& name) {
  return os().unlinkat(dir, name.c_str(), 0) == 0 || errno == ENOENT;
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

// Owner, mode, inode flags and extended attributes (ACLs among them) of
// `from` onto the new file `to`.
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
  const ssize_t listed = os().flistxattr(from, nullptr, 0);
  if (listed < 0) {
    return errno == ENOTSUP || errno == ENOSYS;
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

// Removes a temporary name unless it was renamed into place.
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

 private:
  int m_dir;
  std::string m_name;
};

// --- the rollback journal ---------------------------------------------------
// magic, device, inode, old length, count, then per range its offset, size and
// old bytes, then a CRC-32 of all that and an end mark. Written and synced
// before the file is touched; a journal without its end is one whose file was
// never touched.

void putU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) {
    out += static_cast<char>(v >> (8 * i));
  }
}

std::uint64_t getU64(const char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) {
    v = (v << 8) | static_cast<unsigned char>(p[i]);
  }
  return v;
}

class JournalWriter {
 public:
  JournalWriter(int fd) : m_fd(fd) {}
  bool put(std::string_view bytes) {
    m_crc = crc32_z(m_crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
    if (!pwriteExact(m_fd, bytes.data(), bytes.size(), m_at)) {
      return false;
    }
    m_at += static_cast<off_t>(bytes.size());
    return true;
  }
  bool putFrom(int file, off_t offset, off_t size) {
    std::vector<char> buffer(static_cast<std::size_t>(std::min<off_t>(size, kChunk)));
    while (size > 0) {
      const auto n = static_cast<std::size_t>(std::min<off_t>(size, kChunk));
      if (!preadExact(file, buffer.data(), n, offset) || !put(std::string_view(buffer.data(), n))) {
        return false;
      }
      offset += static_cast<off_t>(n);
      size -= static_cast<off_t>(n);
    }
    return true;
  }
  bool finish() {
    std::string end;
    putU64(end, m_crc);
    end.append(kJournalEnd.data(), kJournalEnd.size());
    return pwriteExact(m_fd, end.data(), end.size(), m_at);
  }
  off_t at() const { return m_at; }

 private:
  int m_fd;
  off_t m_at = 0;
  uLong m_crc = crc32_z(0, nullptr, 0);
};

struct Saved {
  off_t offset;
  off_t size;
};

// The journal's header size and where the bytes of the first range begin.
constexpr off_t kJournalHeader = 8 + 4 * 8;
constexpr off_t kFirstRangeData = kJournalHeader + 16;

UniqueFd writeJournal(int dir, const std::string& name, int file, const struct stat& info,
                      const std::vector<Saved>& ranges) {
  removeName(dir, name);
  UniqueFd journal(
      os().openat(dir, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (!journal) {
    return journal;
  }
  TempGuard guard(dir);
  guard.adopt(name);
  JournalWriter w(journal.get());
  std::string header(kJournalMagic.data(), kJournalMagic.size());
  putU64(header, static_cast<std::uint64_t>(info.st_dev));
  putU64(header, static_cast<std::uint64_t>(info.st_ino));
  putU64(header, static_cast<std::uint64_t>(info.st_size));
  putU64(header, ranges.size());
  if (!w.put(header)) {
    return UniqueFd();
  }
  for (const Saved& r : ranges) {
    std::string head;
    putU64(head, static_cast<std::uint64_t>(r.offset));
    putU64(head, static_cast<std::uint64_t>(r.size));
    if (!w.put(head) || !w.putFrom(file, r.offset, r.size)) {
      return UniqueFd();
    }
  }
  if (!w.finish() || !sync(journal.get()) || !sync(dir)) {
    return UniqueFd();
  }
  guard.release();
  return journal;
}

// Puts back what a journal saved, when it is complete and for this file.
bool rollBack(int dir, const std::string& name, int file, const struct stat& info) {
  UniqueFd journal(os().openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0));
  struct stat js {};
  if (!journal || ::fstat(journal.get(), &js) != 0) {
    return false;
  }
  const off_t length = js.st_size;
  std::array<char, kJournalHeader> header{};
  bool complete = length >= kJournalHeader + 16 &&
                  preadExact(journal.get(), header.data(), header.size(), 0) &&
                  std::equal(kJournalMagic.begin(), kJournalMagic.end(), header.begin());
  std::array<char, 16> end{};
  complete = complete && preadExact(journal.get(), end.data(), end.size(), length - 16) &&
             std::equal(kJournalEnd.begin(), kJournalEnd.end(), end.begin() + 8);
  if (complete) {
    // The CRC covers everything before the end mark.
    uLong crc = crc32_z(0, nullptr, 0);
    std::vector<char> buffer(kChunk);
    for (off_t at = 0; at < length - 16 && complete;) {
      const auto n = static_cast<std::size_t>(std::min<off_t>(length - 16 - at, kChunk));
      complete = preadExact(journal.get(), buffer.data(), n, at);
      crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), n);
      at += static_cast<off_t>(n);
    }
    complete = complete && crc == getU64(end.data());
  }
  const bool ours = complete &&
                    getU64(header.data() + 8) == static_cast<std::uint64_t>(info.st_dev) &&
                    getU64(header.data() + 16) == static_cast<std::uint64_t>(info.st_ino);
  if (ours) {
    const auto oldLength = static_cast<off_t>(getU64(header.data() + 24));
    const std::uint64_t count = getU64(header.data() + 32);
    off_t at = kJournalHeader;
    for (std::uint64_t i = 0; i < count; ++i) {
      std::array<char, 16> head{};
      if (!preadExact(journal.get(), head.data(), head.size(), at)) {
        return false;
      }
      const auto offset = static_cast<off_t>(getU64(head.data()));
      const auto size = static_cast<off_t>(getU64(head.data() + 8));
      if (size < 0 || at + 16 + size > length - 16 ||
          !copyBytes(journal.get(), at + 16, file, offset, size)) {
        return false;
      }
      at += 16 + size;
    }
    if (os().ftruncate(file, oldLength) != 0 || !sync(file)) {
      return false;
    }
  }
  return removeName(dir, name) && sync(dir);
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
  const int mode = (forWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  for (int attempt = 0; attempt < 8; ++attempt) {
    LockedFile f;
    f.m_path = real.get();
    f.m_fd = UniqueFd(os().openat(AT_FDCWD, f.m_path.c_str(), mode, 0));
    if (!f.m_fd || ::fstat(f.fd(), &f.m_info) != 0 || !S_ISREG(f.m_info.st_mode) ||
        !lockWithin(f.fd(), forWrite ? LOCK_EX : LOCK_SH)) {
      return std::nullopt;
    }
    struct stat now {};
    if (::stat(f.m_path.c_str(), &now) != 0) {
      return std::nullopt;  // gone while we waited
    }
    if (!sameFile(now, f.m_info)) {
      continue;  // replaced while we waited: the new file is the one
    }

    const auto [folder, name] = split(f.m_path);
    const std::string journal = journalName(name);
    const std::string temp = tempName(name);
    const bool hasJournal = exists(folder + "/" + journal);
    if (hasJournal || exists(folder + "/" + temp)) {
      const UniqueFd dir = openFolder(folder);
      if (!dir) {
        return std::nullopt;
      }
      if (!forWrite && !lockWithin(f.fd(), LOCK_EX)) {
        return std::nullopt;
      }
      UniqueFd writable;
      if (hasJournal) {
        writable = UniqueFd(os().openat(AT_FDCWD, f.m_path.c_str(), O_RDWR | O_CLOEXEC, 0));
        if (!writable || !rollBack(dir.get(), journal, writable.get(), f.m_info)) {
          return std::nullopt;
        }
      }
      // A temporary file changes nothing of the file: one that another user's
      // write left where we may not remove it stays for them.
      if (removeName(dir.get(), temp)) {
        sync(dir.get());
      }
      if ((!forWrite && !lockWithin(f.fd(), LOCK_SH)) || ::fstat(f.fd(), &f.m_info) != 0) {
        return std::nullopt;
      }
    }
    return f;
  }
  return std::nullopt;
}

namespace {

// The whole new file beside the old one, synced and renamed over it.
bool replace(const Edit& edit, UniqueFd& replacement, struct stat& replacedInfo,
             const std::string& path, const struct stat& info, int source) {
  const auto [folder, name] = split(path);
  const UniqueFd dir = openFolder(folder);
  if (!dir) {
    return false;
  }
  const std::string temp = tempName(name);
  TempGuard guard(dir.get());
  const auto fill = [&](int out) {
    const off_t audioBegin = edit.tagAt + edit.oldTagSize;
    const off_t newAudio = edit.tagAt + static_cast<off_t>(edit.tag().size());
    const off_t newBack = newAudio + (edit.backAt - audioBegin);
    const off_t newLength = newBack + static_cast<off_t>(edit.back.size());
    return lockWithin(out, LOCK_EX) && copyProperties(source, info, out) &&
           os().ftruncate(out, newLength) == 0 && copyData(source, 0, out, 0, edit.tagAt) &&
           pwriteExact(out, edit.tag().data(), edit.tag().size(), edit.tagAt) &&
           copyData(source, audioBegin, out, newAudio, edit.backAt - audioBegin) &&
           pwriteExact(out, edit.back.data(), edit.back.size(), newBack) && sync(out);
  };
  // Created with the original's permissions where the umask lets them
  // through, so that the usual case needs no chmod. Unnamed where the system
  // allows, and named only once complete: a process killed while copying
  // leaves nothing behind.
  UniqueFd out;
#if defined(O_TMPFILE)
  if (os().linkUnnamed) {
    out =
        UniqueFd(os().openat(dir.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, info.st_mode & 0777));
    if (out) {
      if (!fill(out.get())) {
        return false;
      }
      removeName(dir.get(), temp);
      if (os().linkUnnamed(out.get(), dir.get(), temp.c_str()) == 0) {
        guard.adopt(temp);
      } else {
        out.reset();  // no way to name it (no /proc): a named one instead
      }
    }
  }
#endif
  if (!out) {
    removeName(dir.get(), temp);
    out = UniqueFd(os().openat(dir.get(), temp.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC,
                               info.st_mode & 0777));
    if (!out) {
      return false;
    }
    guard.adopt(temp);
    if (!fill(out.get())) {
      return false;
    }
  }
  // Only the very file we read is replaced.
  struct stat now {};
  if (::fstatat(dir.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(now, info) ||
      os().renameat(dir.get(), temp.c_str(), dir.get(), name.c_str()) != 0) {
    return false;
  }
  guard.release();
  if ((!callerSyncs() && !sync(dir.get())) || ::fstat(out.get(), &replacedInfo) != 0) {
    return false;
  }
  replacement = std::move(out);
  return true;
}

// In place, with the old bytes in a journal until the new ones are on disk.
bool journaled(int fd, const std::string& path, const struct stat& info, const Edit& edit,
               const std::vector<Range>& ranges) {
  const auto [folder, name] = split(path);
  const UniqueFd dir = openFolder(folder);
  if (!dir) {
    return false;
  }
  const std::string journalFile = journalName(name);
  const off_t delta = static_cast<off_t>(edit.tag().size()) - edit.oldTagSize;
  const bool sameShape = edit.keepsShape();
  std::vector<Saved> saved;
  off_t from = info.st_size;
  if (sameShape) {
    for (const Range& r : ranges) {
      saved.push_back({r.at, static_cast<off_t>(r.before.size())});
    }
  } else {
    // Everything from the first change on moves or changes.
    from = edit.tag() != edit.oldTag()
               ? edit.tagAt + static_cast<off_t>(firstDifference(edit.oldTag(), edit.tag()))
               : edit.backAt + static_cast<off_t>(firstDifference(edit.oldBack, edit.back));
    saved.push_back({from, info.st_size - from});
  }
  UniqueFd journal = writeJournal(dir.get(), journalFile, fd, info, saved);
  if (!journal) {
    return false;
  }
  bool ok = true;
  if (sameShape) {
    for (const Range& r : ranges) {
      ok = ok && pwriteExact(fd, r.after.data(), r.after.size(), r.at);
    }
    ok = ok && dataSync(fd);
  } else {
    const off_t audioBegin = edit.tagAt + edit.oldTagSize;
    const off_t newAudio = edit.tagAt + static_cast<off_t>(edit.tag().size());
    const off_t newBack = newAudio + (edit.backAt - audioBegin);
    const off_t newLength = newBack + static_cast<off_t>(edit.back.size());
    const off_t tagFrom = std::max<off_t>(from - edit.tagAt, 0);
    ok = (tagFrom >= static_cast<off_t>(edit.tag().size()) ||
          pwriteExact(fd, edit.tag().data() + tagFrom,
                      edit.tag().size() - static_cast<std::size_t>(tagFrom),
                      edit.tagAt + tagFrom)) &&
         (delta == 0 || copyBytes(journal.get(), kFirstRangeData + (audioBegin - from), fd,
                                  newAudio, edit.backAt - audioBegin)) &&
         pwriteExact(fd, edit.back.data(), edit.back.size(), newBack) &&
         os().ftruncate(fd, newLength) == 0 && sync(fd);
  }
  if (!ok) {
    // Put the old bytes back now rather than at the next open.
    rollBack(dir.get(), journalFile, fd, info);
    return false;
  }
  // Until the folder is synced the journal may come back, and roll the file
  // back to its old self at the next open.
  return removeName(dir.get(), journalFile) && (callerSyncs() || sync(dir.get()));
}

}  // namespace

bool commit(LockedFile& file, const Edit& edit, const std::vector<Range>& ranges) {
  const struct stat& info = file.m_info;
  const int fd = file.fd();
  if (edit.keepsShape()) {
    if (ranges.empty()) {
      return true;
    }
    const auto noSync = [](int) { return true; };
    if (const auto written = writeWithinOnePage(fd, ranges, callerSyncs() ? +noSync : dataSync)) {
      return *written;
    }
    off_t changed = 0;
    for (const Range& r : ranges) {
      changed += static_cast<off_t>(r.after.size());
    }
    // A journal writes the changed bytes twice and syncs twice more; a new
    // file writes every byte once. Measured, the syncs cost no more than the
    // copy of even a small file, and in place the file keeps its inode.
    if (info.st_nlink > 1 || 2 * changed < info.st_size) {
      return journaled(fd, file.m_path, info, edit, ranges);
    }
  } else if (info.st_nlink > 1) {
    // A new file would split the links: the other names keep the old title.
    return journaled(fd, file.m_path, info, edit, ranges);
  }
  UniqueFd replacement;
  struct stat replacedInfo {};
  if (!replace(edit, replacement, replacedInfo, file.m_path, info, fd)) {
    return false;
  }
  // The old file is gone from its name; ours takes its place, still locked.
  file.m_fd = std::move(replacement);
  file.m_info = replacedInfo;
  return true;
}

}  // namespace vbmp3
