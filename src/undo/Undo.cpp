#include "undo/Undo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "common/RuntimeError.h"
#include "platform/FileSystem.h"
#include "platform/Listing.h"
#include "platform/SystemError.h"
#include "undo/Json.h"
#include "undo/UndoSystem.h"

namespace tagkana {
namespace {

constexpr std::string_view kHeader = R"({"tagkana_undo":1})";
constexpr std::u16string_view kSuffix = u".undo";

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
std::u16string freshName() {
  using namespace std::chrono;
  const auto now = floor<microseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02u%02uT%02d%02d%02d.%06lldZ-%lu",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<long long>(time.subseconds().count()), undo_system::processId());
  return fromUtf8(text) + std::u16string(kSuffix);
}

}  // namespace

namespace undo_system {

void fail(std::u16string_view what, std::u16string_view file, unsigned long error) {
  throw RuntimeError(std::u16string(what), visibleName(file), platform::systemErrorText(error));
}

}  // namespace undo_system

std::u16string undoFolder() {
  return undo_system::stateFolder();
}

UndoWriter::UndoWriter() = default;

UndoWriter::~UndoWriter() {
  try {
    if (m_file && !m_pending.empty()) {
      m_file->write(m_pending);
    }
  } catch (const RuntimeError&) {
    // Only a run that failed ends without its last sync; its error is told.
  }
}

void UndoWriter::add(const UndoEntry& entry) {
  if (!m_file) {
    const std::u16string folder = undoFolder();
    undo_system::makeFolders(folder);
    m_name = folder + platform::kPathSeparator + freshName();
    m_file = std::make_unique<undo_system::NewFile>(m_name);
    m_pending = std::string(kHeader) + '\n';
  }
  m_pending += "{\"path\":" + jsonString(entry.path, LoneSurrogates::Keep) +
               ",\"device\":" + std::to_string(entry.identity.device) +
               ",\"inode\":" + std::to_string(entry.identity.inode) +
               ",\"size\":" + std::to_string(entry.identity.size) +
               ",\"changed\":" + std::to_string(entry.identity.changed) +
               ",\"old\":" + valuesJson(entry.oldValues) +
               ",\"new\":" + valuesJson(entry.newValues) + "}\n";
}

void UndoWriter::sync() {
  if (m_file) {
    m_file->write(m_pending);
    m_pending.clear();
    m_file->sync();
  }
}

UndoReader::UndoReader(const std::u16string& path)
    : m_path(path), m_file(std::make_unique<undo_system::FileReader>(path)) {
  std::string_view header;
  if (!nextLine(header) || header != kHeader) {
    throw RuntimeError(u"取り消し用のファイルではありません", visibleName(m_path));
  }
}

UndoReader::~UndoReader() = default;

// The next line without its end, valid until the next call.
bool UndoReader::nextLine(std::string_view& line) {
  while (true) {
    const std::size_t end = m_buffer.find('\n', m_at);
    if (end != std::string::npos || (m_end && m_at < m_buffer.size())) {
      const std::size_t stop = end == std::string::npos ? m_buffer.size() : end;
      line = std::string_view(m_buffer).substr(m_at, stop - m_at);
      m_at = stop + 1;
      return true;
    }
    if (m_end) {
      return false;
    }
    m_buffer.erase(0, std::min(m_at, m_buffer.size()));
    m_at = 0;
    char chunk[65536];
    const std::size_t got = m_file->read(chunk, sizeof chunk);
    m_buffer.append(chunk, got);
    m_end = got == 0;
  }
}

std::optional<UndoEntry> UndoReader::next() {
  std::string_view line;
  if (!nextLine(line)) {
    return std::nullopt;
  }
  const std::optional<JsonObject> object = parseJsonObject(line);
  if (!object || !object->strings.contains("path") || !object->numbers.contains("device") ||
      !object->numbers.contains("inode") || !object->numbers.contains("size") ||
      !object->numbers.contains("changed") || !object->objects.contains("old") ||
      !object->objects.contains("new")) {
    throw RuntimeError(u"取り消し用のファイルではありません", visibleName(m_path));
  }
  UndoEntry entry;
  entry.path = object->strings.at("path");
  entry.identity = {static_cast<std::uint64_t>(object->numbers.at("device")),
                    static_cast<std::uint64_t>(object->numbers.at("inode")),
                    object->numbers.at("size"), object->numbers.at("changed")};
  entry.oldValues = object->objects.at("old");
  entry.newValues = object->objects.at("new");
  return entry;
}

std::vector<std::u16string> undoFiles() {
  const std::u16string folder = undoFolder();
  std::vector<std::u16string> names;
  if (!undo_system::mayExist(folder)) {
    return names;
  }
  for (platform::FolderEntry& entry : platform::readFolder(folder)) {
    if (entry.name.size() > kSuffix.size() && entry.name.ends_with(kSuffix)) {
      names.push_back(std::move(entry.name));
    }
  }
  std::sort(names.begin(), names.end(), std::greater<>());
  for (std::u16string& name : names) {
    name = folder + platform::kPathSeparator + name;
  }
  return names;
}

}  // namespace tagkana
