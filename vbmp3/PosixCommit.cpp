// The commit of an edit on POSIX: in place when each changed range is one
// write within one page, otherwise through a new file.
#include <fcntl.h>

#include <string>
#include <vector>

#include "PosixLayer.h"

namespace vbmp3 {
namespace {

using posix::os;

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

bool noSync(int) {
  return true;
}

}  // namespace

bool commit(LockedFile& file, const Edit& edit, const CommitPlan& how) {
  if (how.kind == CommitKind::kNothing) {
    return true;
  }
  const auto [folder, name] = split(file.m_path);
  const UniqueFd dir = openFolder(folder);
  if (dir) {
    posix::removeLeftovers(dir.get(), name);
  }
  if (how.kind == CommitKind::kInPlace) {
    return writeInPlace(file.fd(), how.ranges, callerSyncs() ? noSync : posix::dataSync);
  }
  // A new file would split the links: the other names would keep the old title.
  if (file.m_info.st_nlink > 1) {
    return fail(Reason::kSeveralNames);
  }
  if (!dir) {
    return false;
  }
  auto replaced = posix::replace(file.fd(), file.m_info, dir.get(), name, edit);
  if (!replaced) {
    return false;
  }
  // Ours takes the old file's place, still locked.
  file.m_fd = std::move(replaced->file);
  file.m_info = replaced->info;
  return replaced->durable || fail(Reason::kNotDurable);
}

}  // namespace vbmp3