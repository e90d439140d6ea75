#include <windows.h>

#include <string>

#include "common/RuntimeError.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "platform/WideTextWin32.h"

namespace tagkana::platform {
namespace {

[[noreturn]] void fail(std::u16string_view description, std::u16string_view path) {
  const DWORD error = GetLastError();
  throw RuntimeError(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                         ? u"ファイルが見つかりません。"
                         : std::u16string(description),
                     std::u16string(path), systemErrorText(error));
}

class Win32FileSystem final : public FileSystem {
 public:
  std::uint32_t attributes(std::u16string_view path) override {
    const DWORD found = GetFileAttributesW(toWide(path).c_str());
    if (found == INVALID_FILE_ATTRIBUTES) {
      fail(u"ファイルの属性を読み取れませんでした。", path);
    }
    return found;
  }

  void setArchiveOnly(std::u16string_view path) override {
    if (!SetFileAttributesW(toWide(path).c_str(), FILE_ATTRIBUTE_ARCHIVE)) {
      fail(u"ファイルの属性を設定できませんでした。", path);
    }
  }

  std::u16string normalFileName(std::u16string_view path) override {
    // FindFirstFileW would take these as wildcards and find some other file.
    if (path.find_first_of(u"*?") != std::u16string_view::npos) {
      return {};
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(toWide(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      return {};
    }
    FindClose(search);
    // FindFirstFileW finds hidden and system files too; a lookup as a normal
    // file must not.
    constexpr DWORD notNormal =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    if ((found.dwFileAttributes & notNormal) != 0) {
      return {};
    }
    return fromWide(found.cFileName);
  }

  // The tag library flushes each write itself here.
  std::u16string watchFolder(std::u16string_view) override { return {}; }
  std::vector<std::u16string> makeDurable(const std::vector<std::u16string>& paths) override {
    return std::vector<std::u16string>(paths.size());
  }
  void endRun() override {}

  // The tag library opens a file to write sharing nothing, and to read
  // sharing reading and writing; an open of our own asked the same way tells
  // whether its open would wait.
  bool busy(std::u16string_view path, bool forWrite) override {
    const HANDLE h =
        CreateFileW(toWide(path).c_str(), forWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                    forWrite ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  }
};

}  // namespace

FileSystem& systemFileSystem() {
  static Win32FileSystem fileSystem;
  return fileSystem;
}

}  // namespace tagkana::platform
