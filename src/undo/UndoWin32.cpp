#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "common/RuntimeError.h"
#include "platform/WideTextWin32.h"
#include "undo/Undo.h"
#include "undo/UndoSystem.h"

namespace tagkana {

std::optional<FileIdentity> identityOf(std::u16string_view path) {
  const HANDLE file = CreateFileW(platform::toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION about{};
  FILE_BASIC_INFO basic{};
  const bool known = GetFileInformationByHandle(file, &about) &&
                     GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!known) {
    SetLastError(error);
    return std::nullopt;
  }
  return FileIdentity{
      about.dwVolumeSerialNumber,
      static_cast<std::uint64_t>(about.nFileIndexHigh) << 32 | about.nFileIndexLow,
      static_cast<std::int64_t>(static_cast<std::uint64_t>(about.nFileSizeHigh) << 32 |
                                about.nFileSizeLow),
      basic.ChangeTime.QuadPart};
}

namespace undo_system {

std::u16string stateFolder() {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value, 32768);
  if (length == 0 || length >= 32768) {
    throw RuntimeError(
        u"取り消し用のフォルダーが決まりません（LOCALAPPDATA が設定されていません）");
  }
  return platform::fromWide(std::wstring_view(value, length)) + u"\\Tagkana";
}

void makeFolders(const std::u16string& folder) {
  // Steps that are no folders to make ("C:", a server's name) fail and are
  // passed over: what counts is the folder at the end.
  for (std::size_t at = 3; at < folder.size(); ++at) {
    if (folder[at] == u'\\' || folder[at] == u'/') {
      CreateDirectoryW(platform::toWide(folder.substr(0, at)).c_str(), nullptr);
    }
  }
  if (!CreateDirectoryW(platform::toWide(folder).c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    fail(u"取り消し用のフォルダーを作れません", folder, GetLastError());
  }
  const DWORD attributes = GetFileAttributesW(platform::toWide(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    fail(u"取り消し用のフォルダーを作れません", folder,
         attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY);
  }
}

unsigned long processId() {
  return GetCurrentProcessId();
}

NewFile::NewFile(const std::u16string& path) : m_path(path) {
  const HANDLE file = CreateFileW(platform::toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fail(u"取り消し用のファイルを作れません", m_path, GetLastError());
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
}

NewFile::~NewFile() {
  CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void NewFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    DWORD done = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(m_handle), bytes.data(), part, &done, nullptr) ||
        done == 0) {
      fail(u"取り消し用のファイルに書き込めません", m_path,
           done == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError());
    }
    bytes.remove_prefix(done);
  }
}

void NewFile::sync() {
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(m_handle))) {
    fail(u"取り消し用のファイルに書き込めません", m_path, GetLastError());
  }
}

FileReader::FileReader(const std::u16string& path) : m_path(path) {
  const HANDLE file =
      CreateFileW(platform::toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fail(u"取り消し用のファイルを読めません", path, GetLastError());
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
}

FileReader::~FileReader() {
  CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

std::size_t FileReader::read(char* into, std::size_t size) {
  DWORD got = 0;
  const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!ReadFile(reinterpret_cast<HANDLE>(m_handle), into, part, &got, nullptr)) {
    fail(u"取り消し用のファイルを読めません", m_path, GetLastError());
  }
  return got;
}

bool mayExist(const std::u16string& folder) {
  return GetFileAttributesW(platform::toWide(folder).c_str()) != INVALID_FILE_ATTRIBUTES ||
         (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND);
}

}  // namespace undo_system
}  // namespace tagkana
