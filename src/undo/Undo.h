#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Undo files: one per run that wrote files, a line for each written file.
// Both front ends write them; the command line reads them back.
namespace tagkana {

// Which file a path named when it was written: a file replaced or changed
// since no longer matches.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  // The status change time: file numbers are reused, and a write that keeps
  // the size still moves it.
  std::int64_t changed = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Empty, with the system's error set, when the path names nothing.
std::optional<FileIdentity> identityOf(std::u16string_view path);

struct UndoEntry {
  std::u16string path;  // lone surrogates stand for the name's undecodable bytes
  FileIdentity identity;
  std::map<std::string, std::u16string> oldValues;  // by field name
  std::map<std::string, std::u16string> newValues;
};

// $XDG_STATE_HOME/tagkana or ~/.local/state/tagkana; %LOCALAPPDATA%\Tagkana
// on Windows. Throws RuntimeError when neither can be told.
std::u16string undoFolder();

namespace undo_system {
class NewFile;
}

// Collects entries as they come; sync() puts those added so far on stable
// storage, so an interrupted run keeps what it wrote. The file is made on the
// first entry. Failures throw RuntimeError naming the file.
class UndoWriter {
 public:
  UndoWriter();
  ~UndoWriter();  // writes what sync() has not, without a sync
  UndoWriter(const UndoWriter&) = delete;
  UndoWriter& operator=(const UndoWriter&) = delete;

  void add(const UndoEntry& entry);
  void sync();
  // The file's path, empty while nothing was added.
  const std::u16string& name() const { return m_name; }

 private:
  std::unique_ptr<undo_system::NewFile> m_file;
  std::string m_pending;
  std::u16string m_name;
};

// Throws RuntimeError naming the file when it cannot be read or is not an
// undo file.
std::vector<UndoEntry> readUndoFile(const std::u16string& path);

// The undo files in undoFolder(), newest first.
std::vector<std::u16string> undoFiles();

}  // namespace tagkana
