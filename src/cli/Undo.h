#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Undo files: one per run that wrote files, a line for each written file.
namespace tagkana::cli {

// Which file a path named when it was written: a file replaced or changed
// since no longer matches.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  // The status change time in nanoseconds: inode numbers are reused, and a
  // write that keeps the size still moves it.
  std::int64_t changed = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Empty, with errno set, when the path names nothing.
std::optional<FileIdentity> identityOf(std::u16string_view path);

struct UndoEntry {
  std::u16string path;  // lone surrogates stand for the name's undecodable bytes
  FileIdentity identity;
  std::map<std::string, std::u16string> oldValues;  // by field name
  std::map<std::string, std::u16string> newValues;
};

// $XDG_STATE_HOME/tagkana, or ~/.local/state/tagkana, in the system's bytes.
std::string undoFolder();

// Writes entries as they come; sync() puts those added so far on stable
// storage, so an interrupted run keeps what it wrote. Opened on the first
// entry. Failures throw RuntimeError naming the file.
class UndoWriter {
 public:
  UndoWriter() = default;
  ~UndoWriter();
  UndoWriter(const UndoWriter&) = delete;
  UndoWriter& operator=(const UndoWriter&) = delete;

  void add(const UndoEntry& entry);
  void sync();
  // The file's path, empty while nothing was added.
  const std::string& name() const { return m_name; }

 private:
  std::FILE* m_file = nullptr;
  std::string m_name;
};

// Throws RuntimeError naming the file when it cannot be read or is not an
// undo file.
std::vector<UndoEntry> readUndoFile(const std::string& path);

// The undo files in undoFolder(), newest first.
std::vector<std::string> undoFiles();

}  // namespace tagkana::cli
