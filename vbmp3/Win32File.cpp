// The write path's file handling on Windows, behind the same interface as on
// POSIX. A descriptor here is a file HANDLE: Windows keeps handle values
// within 32 bits so that they can cross between 32- and 64-bit processes.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "FileLayer.h"

namespace vbmp3 {

void (*g_replaceHook)(ReplaceStage) = nullptr;

namespace {

// Another program (or a write of ours) holds a file at most this long before
// we give up on it.
constexpr auto kSharingPatience = std::chrono::seconds(3);

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

UniqueFd adopt(HANDLE handle) {
  const auto value = reinterpret_cast<std::intptr_t>(handle);
  if (handle == INVALID_HANDLE_VALUE || value < 0 || value > INT_MAX) {
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
    }
    return UniqueFd();
  }
  return UniqueFd(static_cast<int>(value));
}

std::wstring widen(std::string_view text, UINT codePage) {
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) {
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n);
  }
  return out;
}

std::string toUtf8(std::wstring_view text) {
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
  }
  return out;
}

struct PathParts {
  std::string folder;
  std::string name;
};

PathParts split(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash == std::string::npos) {
    return {".", path};
  }
  return {path.substr(0, slash), path.substr(slash + 1)};
}

// Opens an existing file, waiting a while for whoever holds it now; false
// with the system's error once the wait is over.
UniqueFd openShared(const std::wstring& path, DWORD access, DWORD share) {
  const auto deadline = std::chrono::steady_clock::now() + kSharingPatience;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    const HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      return adopt(h);
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        std::chrono::steady_clock::now() > deadline) {
      SetLastError(error);
      return UniqueFd();
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

// Writers share nothing, so that a write holds the file alone from its read
// to its last byte (our readers included), and a file another program holds
// open is a failure rather than a torn edit. Readers are as lenient with
// other programs as on POSIX.
DWORD accessFor(bool forWrite) {
  return forWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
}
DWORD shareFor(bool forWrite) {
  return forWrite ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
}

std::optional<struct stat> describe(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION about{};
  if (GetFileType(h) != FILE_TYPE_DISK) {
    SetLastError(ERROR_BAD_FORMAT);
    return std::nullopt;
  }
  if (!GetFileInformationByHandle(h, &about)) {
    return std::nullopt;
  }
  if ((about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(ERROR_DIRECTORY);
    return std::nullopt;
  }
  struct stat info {};
  info.st_mode = static_cast<decltype(info.st_mode)>(
      _S_IFREG | _S_IREAD | ((about.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0 : _S_IWRITE));
  info.st_nlink =
      static_cast<decltype(info.st_nlink)>(std::min<DWORD>(about.nNumberOfLinks, SHRT_MAX));
  info.st_dev = about.dwVolumeSerialNumber;
  info.st_size = static_cast<off_t>((static_cast<std::uint64_t>(about.nFileSizeHigh) << 32) |
                                    about.nFileSizeLow);
  return info;
}

std::string finalPath(HANDLE h) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) {
      return {};
    }
    if (n < path.size()) {
      path.resize(n);
      return toUtf8(path);
    }
    path.resize(n + 1);
  }
}

std::wstring fullPath(const std::wstring& path) {
  std::wstring full(32768, L'\0');
  const DWORD n =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  full.resize(n < full.size() ? n : 0);
  return full;
}

bool flush(int fd) {
  return FlushFileBuffers(handleOf(fd)) != 0;
}

template <typename Buffer, typename Transfer>
Transferred transfer(int fd, Buffer* buffer, std::size_t size, off_t offset, Transfer call) {
  Transferred out;
  std::size_t& done = out.done;
  while (done < size) {
    const auto at = static_cast<std::uint64_t>(offset) + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const auto want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD moved = 0;
    if (!call(handleOf(fd), buffer + done, want, &moved, &where)) {
      out.failed = GetLastError() != ERROR_HANDLE_EOF;
      break;
    }
    if (moved == 0) {
      break;
    }
    done += moved;
  }
  return out;
}

// Deletes a temporary file unless it became the file.
class TempGuard {
 public:
  TempGuard() = default;
  TempGuard(const TempGuard&) = delete;
  TempGuard& operator=(const TempGuard&) = delete;
  ~TempGuard() {
    if (!m_path.empty()) {
      KeepError keep;
      DeleteFileW(m_path.c_str());
    }
  }
  void adopt(std::wstring path) { m_path = std::move(path); }
  void release() { m_path.clear(); }

 private:
  std::wstring m_path;
};

bool copyBytes(int from, off_t fromOffset, int to, off_t toOffset, off_t size) {
  return copyBuffered(from, fromOffset, to, toOffset, size);
}

// What tells the very file we read from any other, and from itself changed.
struct Identity {
  BY_HANDLE_FILE_INFORMATION about{};
  bool operator==(const Identity& o) const {
    return about.dwVolumeSerialNumber == o.about.dwVolumeSerialNumber &&
           about.nFileIndexHigh == o.about.nFileIndexHigh &&
           about.nFileIndexLow == o.about.nFileIndexLow &&
           about.nFileSizeHigh == o.about.nFileSizeHigh &&
           about.nFileSizeLow == o.about.nFileSizeLow &&
           CompareFileTime(&about.ftLastWriteTime, &o.about.ftLastWriteTime) == 0;
  }
};

std::optional<Identity> identify(int fd) {
  Identity id;
  return GetFileInformationByHandle(handleOf(fd), &id.about) ? std::optional(id) : std::nullopt;
}

// New files of ours that a killed write left beside the file; one another
// writer holds open stays.
void removeLeftovers(const std::string& folder, const std::string& name) {
  KeepError keep;
  const std::wstring pattern = widen(folder + "\\" + tempName(name, "*"), CP_UTF8);
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    const std::string candidate = toUtf8(found.cFileName);
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        isTempName(name, candidate)) {
      DeleteFileW(widen(folder + "\\" + candidate, CP_UTF8).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Holds the file, once we let go of our own handle, so that no other
// program can write it until it is replaced; readers may still open it, and
// it may still be renamed over. Busy when another program has it open for
// writing.
UniqueFd hold(const std::wstring& path) {
  // Only a handle with data access counts in the sharing of a file.
  UniqueFd held = adopt(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held &&
      (GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_LOCK_VIOLATION)) {
    fail(Reason::kBusy);
  }
  return held;
}

// Renames the new file over the held one by its handle, which keeps the name
// at every instant and lets the replaced file stay open. False with
// ERROR_NOT_SUPPORTED where the system or file system cannot (before
// Windows 10, FAT).
bool renameOver(int out, const std::wstring& target) {
  // FILE_RENAME_INFO with its flags, laid out as Windows 10 declares it.
  struct RenameInfo {
    DWORD flags;
    HANDLE root;
    DWORD nameLength;
    WCHAR name[1];
  };
  std::vector<char> buffer(sizeof(RenameInfo) + target.size() * sizeof(WCHAR));
  auto* info = reinterpret_cast<RenameInfo*>(buffer.data());
  constexpr DWORD kReplaceIfExists = 0x1;
  constexpr DWORD kPosixSemantics = 0x2;  // the replaced file may stay open
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  info->flags = kReplaceIfExists | kPosixSemantics;
  info->root = nullptr;
  info->nameLength = static_cast<DWORD>(target.size() * sizeof(WCHAR));
  std::copy(target.begin(), target.end(), info->name);
  if (SetFileInformationByHandle(handleOf(out), kRenameInfoEx, info,
                                 static_cast<DWORD>(buffer.size()))) {
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
      error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED) {
    SetLastError(ERROR_NOT_SUPPORTED);
  } else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    fail(Reason::kBusy);  // another program has the file open
  }
  return false;
}

// A new file of ours beside `path`, which only this handle may use; it may
// be renamed through it.
UniqueFd createBeside(const std::string& path, std::wstring& temp) {
  const auto [folder, name] = split(path);
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = widen(folder + "\\" + tempName(name, randomPart()), CP_UTF8);
    UniqueFd out = adopt(CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (out || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)) {
      return out;
    }
  }
  return UniqueFd();
}

// The edit's new file, whole, flushed and read back.
bool fill(int out, int source, const Edit& edit) {
  const off_t audioBegin = edit.tagAt + edit.oldTagSize();
  const off_t newAudio = edit.tagAt + static_cast<off_t>(edit.tag.size());
  const off_t newBack = newAudio + (edit.backAt - audioBegin);
  if (!copyBytes(source, 0, out, 0, edit.tagAt) ||
      !pwriteExact(out, edit.tag.data(), edit.tag.size(), edit.tagAt) ||
      !copyBytes(source, audioBegin, out, newAudio, edit.backAt - audioBegin) ||
      !pwriteExact(out, edit.back.data(), edit.back.size(), newBack) || !flush(out)) {
    return false;
  }
  // What the new file holds, read afresh, before it can take the name.
  std::string read;
  const auto same = [&](std::string_view wanted, off_t at) {
    read.assign(wanted.size(), '\0');
    return preadExact(out, read.data(), read.size(), at) && read == wanted;
  };
  return (same(edit.tag, edit.tagAt) && same(edit.back, newBack)) || fail(Reason::kBadEdit);
}

// The new file beside the old one, flushed and read back, then put in the
// old one's place by a replace that keeps the name at every instant (unlike
// ReplaceFileW, which can leave it empty). Our handle on the old file goes
// for the replace; from then on the file is held against other writers and
// checked to be the very file we read, unchanged. Where the system cannot
// rename over a file held open, the hold ends just before a move.
bool replace(UniqueFd& source, const std::string& path, const Edit& edit) {
  const std::wstring target = widen(path, CP_UTF8);
  std::wstring temp;
  // Declared first, so that the name goes once our handle on it is closed.
  TempGuard guard;
  UniqueFd out = target.empty() ? UniqueFd() : createBeside(path, temp);
  if (!out) {
    return false;
  }
  guard.adopt(temp);
  const auto before = identify(source.get());
  if (!before || !fill(out.get(), source.get(), edit)) {
    return false;
  }
  source.reset();
  if (g_replaceHook) {
    g_replaceHook(ReplaceStage::kReleased);
  }
  UniqueFd held = hold(target);
  if (!held) {
    return false;
  }
  const auto now = identify(held.get());
  if (!now || !(*now == *before)) {
    return fail(Reason::kBusy);
  }
  if (g_replaceHook) {
    g_replaceHook(ReplaceStage::kHeld);
  }
  if (renameOver(out.get(), target)) {
    guard.release();
    source = std::move(out);
    return flush(source.get()) || fail(Reason::kNotDurable);
  }
  if (GetLastError() != ERROR_NOT_SUPPORTED) {
    return false;
  }
  held.reset();
  if (!out.close() || !MoveFileExW(temp.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  guard.release();
  return true;
}

}  // namespace

void UniqueFd::reset(int fd) noexcept {
  if (m_fd >= 0) {
    KeepError keep;
    CloseHandle(handleOf(m_fd));
  }
  m_fd = fd;
}

bool UniqueFd::close() noexcept {
  const int fd = std::exchange(m_fd, -1);
  return fd < 0 || CloseHandle(handleOf(fd)) != 0;
}

Transferred preadUpTo(int fd, void* buffer, std::size_t size, off_t offset) {
  const auto read = [](HANDLE h, char* at, DWORD n, DWORD* done, OVERLAPPED* where) {
    return ReadFile(h, at, n, done, where) != 0;
  };
  return transfer(fd, static_cast<char*>(buffer), size, offset, read);
}

bool preadExact(int fd, void* buffer, std::size_t size, off_t offset) {
  return preadUpTo(fd, buffer, size, offset).done == size;
}

bool pwriteExact(int fd, const void* buffer, std::size_t size, off_t offset) {
  const auto write = [](HANDLE h, const char* at, DWORD n, DWORD* done, OVERLAPPED* where) {
    return WriteFile(h, at, n, done, where) != 0;
  };
  return transfer(fd, static_cast<const char*>(buffer), size, offset, write).done == size;
}

std::optional<LockedFile> LockedFile::open(const char* path, bool forWrite) {
  // Paths arrive in the ANSI code page, as the program encodes them.
  const std::wstring given = widen(path, CP_ACP);
  if (given.empty()) {
    fail(Reason::kInvalid);
    return std::nullopt;
  }
  LockedFile f;
  f.m_fd = openShared(given, accessFor(forWrite), shareFor(forWrite));
  const auto info = f.m_fd ? describe(handleOf(f.fd())) : std::nullopt;
  if (!info) {
    return std::nullopt;
  }
  f.m_info = *info;
  // Through links to the file itself, which is what gets replaced; some
  // network file systems cannot say, and then the name given is the file.
  f.m_path = finalPath(handleOf(f.fd()));
  if (f.m_path.empty()) {
    f.m_path = toUtf8(fullPath(given));
  }
  if (f.m_path.empty()) {
    return std::nullopt;
  }
  return f;
}

bool commit(LockedFile& file, const Edit& edit, const CommitPlan& how) {
  if (how.kind == CommitKind::kNothing) {
    return true;
  }
  const auto [folder, name] = split(file.m_path);
  removeLeftovers(folder, name);
  if (how.kind == CommitKind::kInPlace) {
    return writeInPlace(file.fd(), how.ranges, flush);
  }
  // A new file would split the links: the other names would keep the old title.
  if (file.m_info.st_nlink > 1) {
    return fail(Reason::kSeveralNames);
  }
  if (!replace(file.m_fd, file.m_path, edit)) {
    return false;
  }
  // The new file, for whoever asks; the write is done whatever this gives.
  KeepError keep;
  if (!file.m_fd) {
    file.m_fd = openShared(widen(file.m_path, CP_UTF8), accessFor(true), shareFor(true));
  }
  const auto info = file.m_fd ? describe(handleOf(file.fd())) : std::nullopt;
  if (info) {
    file.m_info = *info;
  }
  return true;
}

}  // namespace vbmp3
