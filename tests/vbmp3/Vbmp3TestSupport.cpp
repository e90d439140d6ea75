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
#include <cstdio>
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

std::optional<ForeignRead> readWithMutagen(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return std::nullopt;
#else
  // The system's python, where apt installs mutagen; the path goes through
  // the environment, never through the shell's parsing.
  static const char* const kScript =
      "import os, sys\n"
      "try:\n"
      "    from mutagen.id3 import ID3, ID3NoHeaderError\n"
      "except ImportError:\n"
      "    sys.exit(3)\n"
      "try:\n"
      "    t = ID3(os.environ['VBMP3_TEST_FILE'])\n"
      "except ID3NoHeaderError:\n"
      "    print('none\\nnone\\nnone'); sys.exit(0)\n"
      "for k in ('TIT2', 'TPE1', 'TALB'):\n"
      "    print('|'.join(str(x) for f in t.getall(k) for x in f.text))\n";
  ::setenv("VBMP3_TEST_FILE", path.c_str(), 1);
  ::setenv("PYTHONIOENCODING", "utf-8", 1);
  const std::string python =
      ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  const std::string command = python + " -c \"$VBMP3_TEST_SCRIPT\" 2>/dev/null";
  ::setenv("VBMP3_TEST_SCRIPT", kScript, 1);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return std::nullopt;
  }
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    out.append(buffer, n);
  }
  const int status = ::pclose(pipe);
  if (WIFEXITED(status) && (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 127)) {
    return std::nullopt;  // no mutagen, no python
  }
  ForeignRead read{"unreadable", "unreadable", "unreadable"};
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return read;
  }
  std::string* fields[] = {&read.title, &read.artist, &read.album};
  std::size_t from = 0;
  for (std::string* field : fields) {
    const std::size_t end = out.find('\n', from);
    if (end == std::string::npos) {
      return ForeignRead{"unreadable", "unreadable", "unreadable"};
    }
    *field = out.substr(from, end - from);
    from = end + 1;
  }
  return read;
#endif
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
