#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

#include "common/RuntimeError.h"
#include "platform/Listing.h"
#include "platform/PathEncoding.h"
#include "platform/SystemError.h"

namespace tagkana::platform {
namespace {

[[noreturn]] void unreadable(std::u16string_view folder, int error) {
  throw RuntimeError(u"フォルダを読み取れませんでした。", std::u16string(folder),
                     systemErrorText(static_cast<unsigned long>(error)));
}

FolderEntry::Kind kindOf(int folderFd, const dirent& entry) {
  if (entry.d_type == DT_REG) {
    return FolderEntry::Kind::File;
  }
  if (entry.d_type == DT_DIR) {
    return FolderEntry::Kind::Folder;
  }
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
    return FolderEntry::Kind::Other;
  }
  // Links count as what they point at; a dangling one is neither.
  struct stat st {};
  if (::fstatat(folderFd, entry.d_name, &st, 0) != 0) {
    return FolderEntry::Kind::Other;
  }
  return S_ISREG(st.st_mode)   ? FolderEntry::Kind::File
         : S_ISDIR(st.st_mode) ? FolderEntry::Kind::Folder
                               : FolderEntry::Kind::Other;
}

}  // namespace

std::vector<FolderEntry> readFolder(std::u16string_view folder) {
  if (folder.empty()) {
    unreadable(folder, ENOENT);
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(encodePath(folder).c_str()), ::closedir);
  if (!dir) {
    unreadable(folder, errno);
  }
  std::vector<FolderEntry> entries;
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        unreadable(folder, errno);
      }
      return entries;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    entries.push_back({decodePath(name), kindOf(::dirfd(dir.get()), *entry), name.front() == '.'});
  }
}

}  // namespace tagkana::platform
