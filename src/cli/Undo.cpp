#include "cli/Undo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "cli/Json.h"
#include "common/RuntimeError.h"
#include "platform/PathEncoding.h"
#include "platform/SystemError.h"

namespace tagkana::cli {
namespace {

constexpr std::string_view kHeader = R"({"tagkana_undo":1})";
constexpr std::string_view kSuffix = ".undo";

[[noreturn]] void fail(std::u16string_view what, const std::string& file, int error) {
  throw RuntimeError(std::u16string(what), visibleName(platform::decodePath(file)),
                     platform::systemErrorText(static_cast<unsigned long>(error)));
}

// Each step of `folder` that is missing, made private to the user.
void makeFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at == folder.size() || folder[at] == '/') {
      const std::string step = folder.substr(0, at);
      if (::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
        fail(u"取り消し用のフォルダーを作れません", step, errno);
      }
    }
  }
}

std::string valuesJson(const std::map<std::string, std::u16string>& values) {
  std::string out = "{";
  for (const auto& [field, value] : values) {
    if (out.size() > 1) {
      out += ',';
    }
    out += jsonString(fromUtf8(field)) + ':' + jsonString(value, LoneSurrogates::Keep);
  }
  return out + '}';
}

// Names sort as they were made: UTC time to the microsecond, then the process.
std::string freshName() {
  const auto now = std::chrono::system_clock::now();
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%06lldZ-%ld", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<long long>(micros % 1000000), static_cast<long>(::getpid()));
  return std::string(text) + std::string(kSuffix);
}

}  // namespace

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

std::string undoFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    return std::string(state) + "/tagkana";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    throw RuntimeError(u"取り消し用のフォルダーが決まりません（HOME が設定されていません）");
  }
  return std::string(home) + "/.local/state/tagkana";
}

UndoWriter::~UndoWriter() {
  if (m_file != nullptr) {
    std::fclose(m_file);
  }
}

void UndoWriter::add(const UndoEntry& entry) {
  if (m_file == nullptr) {
    const std::string folder = undoFolder();
    makeFolders(folder);
    m_name = folder + '/' + freshName();
    const int fd = ::open(m_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 || (m_file = ::fdopen(fd, "w")) == nullptr) {
      const int error = errno;
      if (fd >= 0) {
        ::close(fd);
      }
      fail(u"取り消し用のファイルを作れません", m_name, error);
    }
    std::fprintf(m_file, "%s\n", std::string(kHeader).c_str());
  }
  const std::string line = "{\"path\":" + jsonString(entry.path, LoneSurrogates::Keep) +
                           ",\"device\":" + std::to_string(entry.identity.device) +
                           ",\"inode\":" + std::to_string(entry.identity.inode) +
                           ",\"size\":" + std::to_string(entry.identity.size) +
                           ",\"changed\":" + std::to_string(entry.identity.changed) +
                           ",\"old\":" + valuesJson(entry.oldValues) +
                           ",\"new\":" + valuesJson(entry.newValues) + "}\n";
  if (std::fputs(line.c_str(), m_file) < 0) {
    fail(u"取り消し用のファイルに書き込めません", m_name, errno);
  }
}

void UndoWriter::sync() {
  if (m_file != nullptr && (std::fflush(m_file) != 0 || ::fsync(::fileno(m_file)) != 0)) {
    fail(u"取り消し用のファイルに書き込めません", m_name, errno);
  }
}

std::vector<UndoEntry> readUndoFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fail(u"取り消し用のファイルを読めません", path, errno);
  }
  const auto notUndo = [&] {
    return RuntimeError(u"取り消し用のファイルではありません",
                        visibleName(platform::decodePath(path)));
  };
  std::string line;
  if (!std::getline(in, line) || line != kHeader) {
    throw notUndo();
  }
  std::vector<UndoEntry> entries;
  while (std::getline(in, line)) {
    const std::optional<JsonObject> object = parseJsonObject(line);
    if (!object || !object->strings.contains("path") || !object->numbers.contains("device") ||
        !object->numbers.contains("inode") || !object->numbers.contains("size") ||
        !object->numbers.contains("changed") || !object->objects.contains("old") ||
        !object->objects.contains("new")) {
      throw notUndo();
    }
    UndoEntry entry;
    entry.path = object->strings.at("path");
    entry.identity = {static_cast<std::uint64_t>(object->numbers.at("device")),
                      static_cast<std::uint64_t>(object->numbers.at("inode")),
                      object->numbers.at("size"), object->numbers.at("changed")};
    entry.oldValues = object->objects.at("old");
    entry.newValues = object->objects.at("new");
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<std::string> undoFiles() {
  const std::string folder = undoFolder();
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    if (errno == ENOENT) {
      return names;
    }
    fail(u"取り消し用のフォルダーを読めません", folder, errno);
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix)) {
      names.emplace_back(name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), std::greater<>());
  for (std::string& name : names) {
    name = folder + '/' + name;
  }
  return names;
}

}  // namespace tagkana::cli
