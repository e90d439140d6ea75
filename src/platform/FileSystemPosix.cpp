#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <unordered_map>

#include "common/RuntimeError.h"
#include "platform/FileSystem.h"
#include "platform/PathEncoding.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"

namespace tagkana::platform {
namespace {

bool isDotName(std::u16string_view path) {
  const auto name = namePart(path);
  return !name.empty() && name.front() == u'.';
}

[[noreturn]] void fail(std::u16string_view description, std::u16string_view path) {
  const int error = errno;
  throw RuntimeError(error == ENOENT || error == ENOTDIR ? u"ファイルが見つかりません。"
                                                         : std::u16string(description),
                     std::u16string(path), systemErrorText(static_cast<unsigned long>(error)));
}

struct stat statOrThrow(std::u16string_view path, std::u16string_view description) {
  struct stat st {};
  if (::stat(encodePath(path).c_str(), &st) != 0) {
    fail(description, path);
  }
  return st;
}

// The process's umask without changing it, where the system tells it; the
// set-and-restore fallback leaves a short window other threads could see.
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::uint32_t attributes(std::u16string_view path) override {
    const struct stat st = statOrThrow(path, u"ファイルの属性を読み取れませんでした。");
    std::uint32_t result = 0;
    if ((st.st_mode & S_IWUSR) == 0) {
      result |= kReadOnly;
    }
    if (isDotName(path)) {
      result |= kHidden;
    }
    if (S_ISREG(st.st_mode)) {
      result |= kArchive;
    }
    return result;
  }

  void setArchiveOnly(std::u16string_view path) override {
    const std::u16string_view description = u"ファイルの属性を設定できませんでした。";
    const struct stat st = statOrThrow(path, description);
    const mode_t mask = currentUmask();
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = mode | S_IWUSR;
    // Group and others only get to write what they may read, and only as far
    // as a newly created file would.
    if ((mode & S_IRGRP) != 0 && (mask & S_IWGRP) == 0) {
      wanted |= S_IWGRP;
    }
    if ((mode & S_IROTH) != 0 && (mask & S_IWOTH) == 0) {
      wanted |= S_IWOTH;
    }
    // Nothing to change: leave files we do not own alone instead of failing.
    if (wanted == mode) {
      return;
    }
    if (::chmod(encodePath(path).c_str(), wanted) != 0) {
      fail(description, path);
    }
  }

  std::u16string normalFileName(std::u16string_view path) override {
    struct stat st {};
    if (::stat(encodePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || isDotName(path)) {
      return {};
    }
    return std::u16string(namePart(path));
  }

  std::u16string watchFolder(std::u16string_view path) override {
#if defined(__linux__)
    const std::u16string folder(path.substr(0, path.size() - namePart(path).size()));
    if (m_folders.contains(folder)) {
      return {};
    }
    const int fd = ::open(folder.empty() ? "." : encodePath(folder).c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      const int error = errno;
      if (fd >= 0) {
        ::close(fd);
      }
      return systemErrorText(static_cast<unsigned long>(error));
    }
    m_folders[folder] = st.st_dev;
    // A descriptor per folder would run out on a large collection; the first
    // on each file system sees all of it.
    if (!m_devices.try_emplace(st.st_dev, fd).second) {
      ::close(fd);
    }
#else
    (void)path;  // the tag library synced each write
#endif
    return {};
  }

  std::vector<std::u16string> makeDurable(const std::vector<std::u16string>& paths) override {
    std::vector<std::u16string> reasons(paths.size());
#if defined(__linux__)
    // A file system's errors reach a descriptor from its opening on, and each
    // once: the one opened for its first watched folder, before any of the
    // run's writes there, is the one synced.
    std::map<dev_t, std::u16string> devices;
    for (const auto& path : paths) {
      const auto folder = m_folders.find(path.substr(0, path.size() - namePart(path).size()));
      if (folder != m_folders.end()) {
        devices.try_emplace(folder->second);
      }
    }
    for (auto& [device, reason] : devices) {
      if (m_syncFs(m_devices.at(device)) != 0) {
        reason = systemErrorText(static_cast<unsigned long>(errno));
      }
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const std::u16string_view path = paths[i];
      const auto folder =
          m_folders.find(std::u16string(path.substr(0, path.size() - namePart(path).size())));
      reasons[i] = folder == m_folders.end() ? systemErrorText(static_cast<unsigned long>(EBADF))
                                             : devices[folder->second];
    }
#else
    (void)paths;
#endif
    return reasons;
  }

  void endRun() override {
    for (const auto& [device, fd] : m_devices) {
      (void)device;
      ::close(fd);
    }
    m_folders.clear();
    m_devices.clear();
  }

  // The tag library takes a flock, shared to read and exclusive to write; a
  // lock of our own on our own descriptor tells whether it would wait.
  bool busy(std::u16string_view path, bool forWrite) override {
    const std::string name = encodePath(path);
    struct stat st {};
    // Through symbolic links, as the library goes. Only regular files are
    // opened: a device may act on being opened.
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      return false;
    }
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      return false;
    }
    int rc = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      while ((rc = ::flock(fd, (forWrite ? LOCK_EX : LOCK_SH) | LOCK_NB)) != 0 && errno == EINTR) {
      }
    }
    const bool held = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // and with it our lock
    return held;
  }

  ~PosixFileSystem() override {
    endRun();
  }

  explicit PosixFileSystem(int (*syncFs)(int)) : m_syncFs(syncFs) {}

 private:
  // Each watched folder's file system, and a descriptor open on each.
  std::unordered_map<std::u16string, dev_t> m_folders;
  std::map<dev_t, int> m_devices;
  int (*m_syncFs)(int);
};

#if defined(__linux__)
int systemSyncFs(int fd) {
  return ::syncfs(fd);
}
#else
int systemSyncFs(int) {
  return 0;
}
#endif

}  // namespace

#if defined(__linux__)
std::unique_ptr<FileSystem> makeFileSystemSyncingWith(int (*syncFs)(int)) {
  return std::make_unique<PosixFileSystem>(syncFs);
}
#endif

FileSystem& systemFileSystem() {
  static PosixFileSystem files(systemSyncFs);
  return files;
}

}  // namespace tagkana::platform
