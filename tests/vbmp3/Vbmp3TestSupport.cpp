#include "Vbmp3TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "vbmp3.h"

namespace vbmp3test {

TempDir::TempDir(const std::string& base) {
  const auto parent =
      base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; m_path.empty(); ++attempt) {
    const auto folder = parent / ("vbmp3-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(folder)) {
      m_path = folder.string();
    } else if (attempt == 100) {
      throw std::runtime_error("no temporary folder");
    }
  }
#else
  std::string pattern = (parent / "vbmp3-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  m_path = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
    out.push_back(entry.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    return {};
  }
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::string slot(const Record& r, std::size_t offset, std::size_t size) {
  const auto* begin = reinterpret_cast<const char*>(r.data() + offset);
  return std::string(begin, strnlen(begin, size));
}

void assignSlot(Record& r, std::size_t offset, std::string_view bytes, std::size_t size) {
  std::memset(r.data() + offset, ' ', size);
  std::memcpy(r.data() + offset, bytes.data(), std::min(size, bytes.size()));
}

std::int32_t genreNumber(const Record& r) {
  std::int32_t v = 0;
  std::memcpy(&v, r.data() + 520, 4);
  return v;
}

std::int32_t trackNumber(const Record& r) {
  std::int32_t v = 0;
  std::memcpy(&v, r.data() + 652, 4);
  return v;
}

bool readRecord(const std::string& path, Record& r) {
  return vbmp3_getFileTagInfoEX(path.c_str(), r.data()) != 0;
}

bool writeTitle(const std::string& path, std::string_view title, std::int32_t version,
                std::int32_t keepV1) {
  Record r{};
  if (!readRecord(path, r)) {
    return false;
  }
  assignSlot(r, kTitle, title);
  return vbmp3_setTagInfoEX(path.c_str(), r.data(), version, keepV1) != 0;
}

#ifdef _WIN32
std::uint64_t fileId(const std::string& path) {
  const HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
  }
  return known ? (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
}
#else
std::uint64_t fileId(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
}

uid_t nobodyUid() {
  const passwd* pw = ::getpwnam("nobody");
  return pw ? pw->pw_uid : 65534;
}

gid_t nobodyGid() {
  const passwd* pw = ::getpwnam("nobody");
  return pw ? pw->pw_gid : 65534;
}

bool runningAsRoot() {
  return ::geteuid() == 0;
}

int inChild(const std::function<int()>& body, bool asNobody) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGid()) != 0 ||
                     ::setuid(nobodyUid()) != 0)) {
      ::_exit(100);
    }
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

#endif

}  // namespace vbmp3test
