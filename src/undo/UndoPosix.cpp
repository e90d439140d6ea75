#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/RuntimeError.h"
#include "platform/PathEncoding.h"
#include "undo/Undo.h"
#include "undo/UndoSystem.h"

namespace tagkana {

std::optional<FileIdentity> identityOf(std::u16string_view path) {
  struct stat status {};
  if (::stat(platform::encodePath(path).c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{
      static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
      static_cast<std::int64_t>(status.st_size),
      static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

namespace undo_system {

std::u16string stateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    return platform::decodePath(state) + u"/tagkana";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    throw RuntimeError(u"取り消し用のフォルダーが決まりません（HOME が設定されていません）");
  }
  return platform::decodePath(home) + u"/.local/state/tagkana";
}

void makeFolders(const std::u16string& folder) {
  const std::string bytes = platform::encodePath(folder);
  for (std::size_t at = 1; at <= bytes.size(); ++at) {
    if (at == bytes.size() || bytes[at] == '/') {
      const std::string step = bytes.substr(0, at);
      if (::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
        fail(u"取り消し用のフォルダーを作れません", platform::decodePath(step), errno);
      }
    }
  }
}

unsigned long processId() {
  return static_cast<unsigned long>(::getpid());
}

NewFile::NewFile(const std::u16string& path) : m_path(path) {
  m_handle =
      ::open(platform::encodePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (m_handle < 0) {
    fail(u"取り消し用のファイルを作れません", m_path, errno);
  }
}

NewFile::~NewFile() {
  ::close(static_cast<int>(m_handle));
}

void NewFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(static_cast<int>(m_handle), bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) {
      continue;
    }
    if (done <= 0) {
      fail(u"取り消し用のファイルに書き込めません", m_path, done < 0 ? errno : ENOSPC);
    }
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
}

void NewFile::sync() {
  if (::fsync(static_cast<int>(m_handle)) != 0) {
    fail(u"取り消し用のファイルに書き込めません", m_path, errno);
  }
}

FileReader::FileReader(const std::u16string& path) : m_path(path) {
  m_handle = ::open(platform::encodePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (m_handle < 0) {
    fail(u"取り消し用のファイルを読めません", path, errno);
  }
}

FileReader::~FileReader() {
  ::close(static_cast<int>(m_handle));
}

std::size_t FileReader::read(char* into, std::size_t size) {
  while (true) {
    const ssize_t got = ::read(static_cast<int>(m_handle), into, size);
    if (got >= 0) {
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) {
      fail(u"取り消し用のファイルを読めません", m_path, errno);
    }
  }
}

bool mayExist(const std::u16string& folder) {
  struct stat status {};
  return ::stat(platform::encodePath(folder).c_str(), &status) == 0 || errno != ENOENT;
}

}  // namespace undo_system
}  // namespace tagkana
