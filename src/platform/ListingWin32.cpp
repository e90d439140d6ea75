#include <windows.h>

#include <memory>
#include <type_traits>

#include "common/RuntimeError.h"
#include "platform/Listing.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "platform/WideTextWin32.h"

namespace tagkana::platform {
namespace {

[[noreturn]] void unreadable(std::u16string_view folder, DWORD error) {
  throw RuntimeError(u"フォルダを読み取れませんでした。", std::u16string(folder),
                     systemErrorText(error));
}

struct SearchCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};

}  // namespace

std::vector<FolderEntry> readFolder(std::u16string_view folder) {
  if (folder.empty()) {
    unreadable(folder, ERROR_PATH_NOT_FOUND);
  }
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW(toWide(joinPath(folder, u"*")).c_str(), FindExInfoBasic,
                                        &found, FindExSearchNameMatch, nullptr, 0);
  std::vector<FolderEntry> entries;
  if (first == INVALID_HANDLE_VALUE) {
    // A drive's root has no "." entry, so an empty one finds nothing.
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      return entries;
    }
    unreadable(folder, error);
  }
  const std::unique_ptr<std::remove_pointer_t<HANDLE>, SearchCloser> search(first);
  do {
    const std::u16string name = fromWide(found.cFileName);
    if (name == u"." || name == u"..") {
      continue;
    }
    const DWORD attributes = found.dwFileAttributes;
    entries.push_back({name,
                       (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FolderEntry::Kind::Folder
                                                                    : FolderEntry::Kind::File,
                       (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0});
  } while (FindNextFileW(search.get(), &found));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) {
    unreadable(folder, error);
  }
  return entries;
}

}  // namespace tagkana::platform
