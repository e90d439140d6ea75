#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// How much a transfer moved, and whether it stopped on a failure rather
// than at the end of the file.
struct Transferred {
  std::size_t done = 0;
  bool failed = false;
};
// As much as there is up to `size`.
Transferred preadUpTo(int fd, void* buffer, std::size_t size, off_t offset);
// Every byte or false; retries short transfers and EINTR.
bool preadExact(int fd, void* buffer, std::size_t size, off_t offset);
bool pwriteExact(int fd, const void* buffer, std::size_t size, off_t offset);

// What a write changes: the ID3v2 tag at `tagAt` (`oldTag`, possibly none,
// held by whoever planned the edit) becomes `tag`, and everything from
// `backAt` to the end (the APE and ID3v1 tags) becomes `back`. The audio
// between is moved, never changed.
struct Edit {
  off_t tagAt = 0;
  std::string_view oldTag;
  std::string tag;
  // Where the new tag may differ from the old one, when it keeps its size.
  std::size_t tagChangeFrom = 0;
  std::size_t tagChangeTo = static_cast<std::size_t>(-1);
  off_t backAt = 0;
  std::string oldBack;
  std::string back;

  off_t oldTagSize() const { return static_cast<off_t>(oldTag.size()); }
  // Every byte stays where it was; only some change.
  bool keepsShape() const { return tag.size() == oldTag.size() && back.size() == oldBack.size(); }
};

// One stretch where an edit that keeps the file's shape differs from it.
struct Range {
  off_t at;
  std::string_view before;
  std::string_view after;
};

// How an edit reaches the file: not at all (it changes no byte), in place
// (each changed range is one write within one page, where a write is whole
// or not at all) or through a new file.
enum class CommitKind { kNothing, kInPlace, kNewFile };
struct CommitPlan {
  // The changed ranges, when the edit keeps the file's shape; they point
  // into the edit, which must outlive them.
  std::vector<Range> ranges;
  CommitKind kind = CommitKind::kNewFile;
};
CommitPlan commitPlan(const Edit& edit);

// A regular file opened read-only for reading or read-write for writing and
// locked (shared for reading, exclusive for writing) for as long as this
// lives. Its size and identity are taken once the lock is held. Opening
// changes nothing, whatever lies beside the file.
class LockedFile {
 public:
  static std::optional<LockedFile> open(const char* path, bool forWrite);

  int fd() const { return m_fd.get(); }
  // Closes the file, lock and all; false when the close failed (which can
  // mean lost data on network file systems).
  bool close() { return m_fd.close(); }
  const struct stat& info() const { return m_info; }
  const std::string& path() const { return m_path; }

 private:
  friend bool commit(LockedFile& file, const Edit& edit, const CommitPlan& how);
  UniqueFd m_fd;
  struct stat m_info {};
  std::string m_path;
};

// Makes the edit as planned, so that the file is its old or its new self at
// every instant for every reader: in place, or through a new file that is
// filled, synced, read back and renamed over the original (which keeps its
// owner, mode, extended attributes, flags and holes). A file with several
// names takes only the former. After success the file handle is the new
// file's, still locked. On failure the reason is set (see fail) and the file
// is as it was, except when the reason is kNotDurable: then it holds the
// edit, whose durability is unknown.
bool commit(LockedFile& file, const Edit& edit, const CommitPlan& how);

// The first offset where two byte strings differ (the shorter one's size if none).
std::size_t firstDifference(std::string_view a, std::string_view b);

// Writes ranges that each lie within one page in place, reads them back and
// syncs with `sync`; on failure the old bytes go back.
bool writeInPlace(int fd, const std::vector<Range>& ranges, bool (*sync)(int));

#if defined(_WIN32)
// Where a replace stands when it calls the hook: our handle on the old file
// let go, and the file held against other writers just before the replace.
enum class ReplaceStage { kReleased, kHeld };
// For tests: what another program may do at those moments. Null otherwise.
extern void (*g_replaceHook)(ReplaceStage stage);
#endif

// Copies through a buffer in user space.
bool copyBuffered(int from, off_t fromOffset, int to, off_t toOffset, off_t size);

// The name of a new file of ours beside `fileName`, with a random part, and
// whether a name is one of them (a leftover, when no write holds the file).
std::string tempName(std::string_view fileName, std::string_view random);
bool isTempName(std::string_view fileName, std::string_view candidate);
// Letters and digits from the system's random source.
std::string randomPart();

// Why a call failed, beyond the system's own reasons: set as errno (POSIX) or
// the thread's last error (Windows); the values are listed in vbmp3.h.
enum class Reason {
  kBusy,
  kReadOnly,
  kTooBig,
  kSeveralNames,
  kUnencodable,      // the title read holds characters code page 932 cannot carry
  kTitleDoesNotFit,  // the file's title is longer than the record's slot
  kNotMpeg,
  kBadEdit,
  kNotDurable,
  kInvalid,
};
// Sets the reason and returns false.
bool fail(Reason reason);
// The system's error value for a reason.
unsigned long errorOf(Reason reason);

// Clears the error value, and tells whether a failing call has set it since.
void clearError();
bool errorSet();

// Keeps the first cause of a failure across the clean-up after it.
class KeepError {
 public:
  KeepError();
  ~KeepError();
  KeepError(const KeepError&) = delete;
  KeepError& operator=(const KeepError&) = delete;

 private:
  unsigned long m_error;
};

// Whether the caller makes the file system durable for its whole run of
// writes (then each write keeps only the syncs that order it). Learned once,
// when the library starts.
bool callerSyncs();
void setCallerSyncs(bool value);

}  // namespace vbmp3
