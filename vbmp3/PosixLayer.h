#pragma once

// What the POSIX file layer's parts share: the calls in force, syncs,
// locks, copies and the replace through a new file.
#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

#include "FileLayer.h"
#include "Sys.h"

namespace vbmp3::posix {

inline const sys::Calls& os() {
  return sys::calls();
}

// fsync and fdatasync, retried on EINTR.
bool sync(int fd);
bool dataSync(int fd);
// Takes a flock, waiting a while for another writer; busy after that. Goes
// without on file systems that have no locks.
bool lockWithin(int fd, int operation);
bool sameFile(const struct stat& a, const struct stat& b);

// Copies only the data of a sparse file, in the kernel where it can; the
// holes stay holes in a destination already sized to hold them.
bool copyData(int from, off_t fromOffset, int to, off_t toOffset, off_t size);
// The inode flags of `from` onto the new, still empty file `to` (some, such
// as no copy-on-write, take effect only on an empty file).
bool copyFlags(int from, int to);
// Owner, mode and extended attributes (ACLs among them) of `from` onto the
// new file `to`, once it is complete: until then only its maker may open it.
bool copyProperties(int from, const struct stat& info, int to);

// New files of ours that a killed write left beside the file `name` in the
// folder `dir`. Only regular files of the caller's own go.
void removeLeftovers(int dir, const std::string& name);
bool removeName(int dir, const std::string& name);

// The whole new file beside the old one (`source`, described by `info`),
// synced, read back and renamed over `name` in `dir`; then the folder synced
// unless the caller syncs. The new file, still locked, and whether that
// sync succeeded; none, with the reason set, when the old file stays.
struct Replaced {
  UniqueFd file;
  struct stat info;
  bool durable;
};
std::optional<Replaced> replace(int source, const struct stat& info, int dir,
                                const std::string& name, const Edit& edit);

}  // namespace vbmp3::posix
