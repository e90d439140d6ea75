#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
  // Puts what was written to `path` and its folder on stable storage where
  // the tag library leaves that to the run (Linux: the whole file system,
  // with syncfs; elsewhere the library synced each write). One call covers
  // every file of the folder. Empty, or the system's reason.
  virtual std::u16string makeDurable(std::u16string_view path) = 0;
};

// The real one for this OS.
FileSystem& systemFileSystem();

}  // namespace tagkana::platform
