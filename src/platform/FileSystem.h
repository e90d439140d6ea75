#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tagkana::platform {

// Windows file attribute values; on POSIX they are mapped from the mode and
// the name (read-only: the owner may not write; hidden: a dot name).
enum Attribute : std::uint32_t {
  kReadOnly = 1,
  kHidden = 2,
  kSystem = 4,
  kArchive = 32,
};

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The file system as the commands use it. Failures throw RuntimeError naming
// the file.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::uint32_t attributes(std::u16string_view path) = 0;
  // Sets the attributes to archive only: read-only, hidden and system cleared.
  virtual void setArchiveOnly(std::u16string_view path) = 0;
  // The name part when `path` is an existing regular file that is neither
  // hidden nor system; otherwise empty.
  virtual std::u16string normalFileName(std::u16string_view path) = 0;
  // Where the tag library leaves the syncs of a run's writes to the program
  // (Linux: syncfs), the folder of `path` is watched from before the run's
  // first write in it: a descriptor on its file system, opened by then and
  // kept until endRun (one per file system), sees every write-back error
  // there from then on. Empty, or the system's reason (then nothing may be
  // written there). Elsewhere nothing to do.
  virtual std::u16string watchFolder(std::u16string_view path) = 0;
  // Puts what was written to the watched folders of `paths` on stable
  // storage. One reason per path, empty when durable: an error fails every
  // path on that file system.
  virtual std::vector<std::u16string> makeDurable(const std::vector<std::u16string>& paths) = 0;
  // Lets go of the folders watched in the run.
  virtual void endRun() = 0;
  // True when another program holds the file so that the tag library's read
  // (`forWrite` false) or write would have to wait for it now. Asking takes
  // no lock that outlives the call. Anything that cannot be asked (no such
  // file, no locks there) is not busy: the library's own call tells why.
  virtual bool busy(std::u16string_view path, bool forWrite) = 0;
};

// The real one for this OS.
FileSystem& systemFileSystem();

#if defined(__linux__)
// One like the real one whose file system syncs go through `syncFs`.
std::unique_ptr<FileSystem> makeFileSystemSyncingWith(int (*syncFs)(int));
#endif

}  // namespace tagkana::platform
